#include "app/texts.h"

namespace vornex::texts {

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
