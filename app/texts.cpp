#include "app/texts.h"

namespace vornex::texts {

namespace {

bool Disguises(char16_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

Text Shown(const Text& name) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    Text out;
    for (char16_t c : name) {
        if (!Disguises(c)) {
            out.push_back(c);
            continue;
        }
        out += u"\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
    }
    return out;
}

}  // namespace

Text UnreadNotice(const std::vector<Text>& names) {
    Text text = u"以下IFEO子项无法读取，其中可能隐藏着重定向：";
    for (std::size_t i = 0; i < names.size() && i < kUnreadNamed; ++i) text += u"\r\n" + Shown(names[i]);
    if (names.size() > kUnreadNamed) {
        text += u"\r\n……另有 " + DecimalText(static_cast<unsigned long>(names.size() - kUnreadNamed)) + u" 项无法读取。";
    }
    return text;
}

Text CountCaption(unsigned long n) {
    if (n == 0) return u"被重定向的应用程序 0 个。";
    return u"被重定向的应用程序 " + DecimalText(n) + u" 个，点击文件名查看重定向数据。";
}

Text DetailHeading(const Text& name) {
    return u"下面是 " + name + u" 的重定向情况及处理建议，请谨慎选择操作方式！";
}

Text DetailAdvice(const Text& name, const Text& command) {
    return name + u"被重定向到" + command + u"，如没有安装" + name +
           u"，请点击“手工删除”。如果安装了" + name + u"并确认被劫持，请点击“手工修复”。";
}

Text CutCommand(const Text& command, std::size_t shown, std::size_t wholeLength) {
    std::size_t kept = command.size() < shown ? command.size() : shown;
    if (kept > 0 && kept < command.size() && command[kept - 1] >= 0xD800 && command[kept - 1] <= 0xDBFF) --kept;
    return command.substr(0, kept) + u"……（命令过长，共 " + DecimalText(wholeLength) + u" 个字符，这里只显示前 " +
           DecimalText(kept) + u" 个）";
}

}  // namespace vornex::texts
