#include "app/texts.h"

#include "core/display_text.h"
#include "core/reg_result.h"

namespace vornex::texts {

namespace {

// Built by appending: GCC 12 at -O3 takes `literal + Text` for an overlapping copy.
Text Quoted(const Text& path) {
    Text quoted(u"“");
    quoted += DisplayEscaped(path);
    quoted += u"”";
    return quoted;
}

Text CodeNote(long code) {
    Text note(u"（错误代码 ");
    note += DecimalText(static_cast<unsigned long>(code));
    note += u"）";
    return note;
}

}  // namespace

// The hive first: the caption of a window this narrow cuts its end.
Text HiveCaption(const Text& path) {
    Text caption = DisplayEscaped(path);
    caption += u" － ";
    caption += kWindowTitle;
    return caption;
}

Text RunningSystemCaption() {
    Text caption(u"当前运行的系统（自称救援系统） － ");
    caption += kWindowTitle;
    return caption;
}

Text InstalledWindowsLine(const InstalledWindows& found) {
    // A hive's own words, as long as a line may be: no name in it forges another line.
    constexpr std::size_t kMostShown = 60;
    const auto part = [](const Text& text) {
        Text shown = DisplayEscaped(text);
        if (shown.size() > kMostShown) {
            // Escaped text holds surrogates only in pairs: the cut keeps them so.
            const bool splitsPair = shown[kMostShown - 1] >= 0xD800 && shown[kMostShown - 1] <= 0xDBFF;
            shown.resize(splitsPair ? kMostShown - 1 : kMostShown);
            shown += u"……";
        }
        return shown;
    };
    Text line = DisplayEscaped(found.windowsFolder);
    line += u"　";
    if (!found.versionRead) {
        line += u"（无法读取它的版本信息）";
        return line;
    }
    line += found.version.product.empty() ? Text(u"（未知版本）") : part(found.version.product);
    if (!found.version.displayVersion.empty()) {
        line += u" ";
        line += part(found.version.displayVersion);
    }
    if (!found.version.build.empty()) {
        line += u"（内部版本 ";
        line += part(found.version.build);
        line += u"）";
    }
    return line;
}

Text HiveOpenFailure(const Text& path, long code) {
    switch (code) {
        case kRegFileNotFound:
            return u"找不到文件" + Quoted(path) + u"。请检查路径，然后重新启动本工具。";
        case kRegBadDatabase:
            return u"文件" + Quoted(path) +
                   u"无法作为注册表配置单元读取：它不是配置单元，或者已经损坏。没有读取到任何重定向。";
        case kRegSharingViolation:
            return u"文件" + Quoted(path) +
                   u"正被运行中的Windows使用，它是当前系统自己的注册表。要检查当前系统，请不带路径启动本工具。";
    }
    return u"无法打开文件" + Quoted(path) + CodeNote(code) + u"。没有读取到任何重定向。";
}

Text HiveReadOnlyWarning(const Text& path, long code) {
    if (code == kRegBadDatabase) {
        return u"配置单元" + Quoted(path) +
               u"上次没有正常关闭，而且没有可用的事务日志：这里显示的可能不是它的最新状态。为安全起见，不能修改它。";
    }
    return u"配置单元" + Quoted(path) + u"无法写入" + CodeNote(code) + u"：只能查看，不能修改。";
}

Text LogsNotRead(const std::vector<Text>& names) {
    Text text = u"配置单元旁边的以下事务日志是链接、文件夹或设备，或者大得不像真正的日志，没有读取，也不会被复制；配置单元按没有它们的情况读取：";
    for (const Text& name : names) {
        text.push_back(u'\n');
        text += Quoted(name);
    }
    return text;
}

Text HiveChangeRefused(long code) {
    if (code == kRegBadDatabase) {
        return u"这个配置单元可能不是最新状态，不能修改。请先让Windows正常启动并关闭一次，再重试。";
    }
    return u"这个配置单元无法写入" + CodeNote(code) + u"，没有做任何修改。";
}

Text HiveNotOpen(const Text& path) {
    return u"配置单元" + Quoted(path) + u"已无法打开，没有做任何修改。请重新启动本工具。";
}

Text HiveBackupFailed(long code) {
    return u"无法在配置单元旁边写入它的备份" + CodeNote(code) + u"，所以没有做任何修改。";
}

Text HiveWriteFailed(long code) {
    return u"修改未能写入配置单元文件" + CodeNote(code) + u"，这次修复没有完成。列表保持不变。";
}

Text UnreadNotice(const std::vector<Text>& names) {
    Text text = u"以下IFEO子项无法读取，其中可能隐藏着重定向：";
    for (std::size_t i = 0; i < names.size() && i < kUnreadNamed; ++i) {
        text += u"\r\n";
        text += DisplayEscaped(names[i]);
    }
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
