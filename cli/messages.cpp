#include "cli/messages.h"

namespace vornex::cli {

namespace {

Language current = Language::kEnglish;

struct CatalogEntry {
    Msg id;
    const char* english;
    const char* chinese;
};

constexpr CatalogEntry kCatalog[] = {
    {Msg::kUsage,
     "usage: vornex-cli [--hive FILE] [--all] [--json | --csv] scan\n"
     "       vornex-cli [--hive FILE] [UNDO] [--dry-run] [--json] repair NAME\n"
     "       vornex-cli [--hive FILE] [UNDO] [--dry-run] [--json] delete NAME\n"
     "       vornex-cli [--hive FILE] [UNDO] [--dry-run] [--json] --yes delete-all\n"
     "\n"
     "Lists and removes Image File Execution Options redirections, with the same\n"
     "rules as the Vornex window.\n"
     "\n"
     "  scan        list every redirected executable and its command\n"
     "  repair      remove the Debugger value of the listed NAME\n"
     "  delete      remove the whole IFEO subkey of the listed NAME\n"
     "  delete-all  remove the subkeys of every listed entry (needs --yes)\n"
     "\n"
     "  --hive FILE  an offline SOFTWARE hive instead of the live registry (on\n"
     "               Windows, e.g. D:\\Windows\\System32\\config\\SOFTWARE); a backup\n"
     "               FILE.vornex-backup-YYYYmmdd-HHMMSS is written before the\n"
     "               first change\n"
     "  --undo-dir DIR  live registry: write the undo file (.reg) of the change\n"
     "               into DIR instead of the undo folder beside the program\n"
     "  --no-undo    live registry: write no undo file\n"
     "  --all        also list what the window does not look at: filter\n"
     "               subkeys, silent-exit monitors, verifier DLLs, the 32-bit view\n"
     "  --json       one JSON document (see cli/scan.schema.json)\n"
     "  --csv        comma-separated values with a header line\n"
     "  --dry-run    show what would change, change nothing\n"
     "  --yes        confirm delete-all\n"
     "  --help, --version\n"
     "\n"
     "Exit codes: 0 nothing found, 1 redirections found (after a repair: still\n"
     "there), 2 bad usage, an unreadable source or output that could not be\n"
     "written, 3 a repair failed, 4 the scan could not read everything under the\n"
     "IFEO key, or the hive is dirty with no usable log (what it lists may not be\n"
     "all, or not the newest).\n",
     "用法：vornex-cli [--hive 文件] [--all] [--json | --csv] scan\n"
     "      vornex-cli [--hive 文件] [撤销] [--dry-run] [--json] repair 名称\n"
     "      vornex-cli [--hive 文件] [撤销] [--dry-run] [--json] delete 名称\n"
     "      vornex-cli [--hive 文件] [撤销] [--dry-run] [--json] --yes delete-all\n"
     "\n"
     "列出并删除IFEO（映像劫持）重定向，规则与Vornex窗口相同。\n"
     "\n"
     "  scan        列出每个被重定向的应用程序及其重定向命令\n"
     "  repair      手工修复：删除所列名称的Debugger值\n"
     "  delete      手工删除：删除所列名称的整个IFEO子项\n"
     "  delete-all  自动修复：删除所有列出项的子项（需要 --yes）\n"
     "\n"
     "  --hive 文件  检查一个离线的SOFTWARE注册表配置单元文件，而不是当前系统的注册表\n"
     "               （在Windows上例如 D:\\Windows\\System32\\config\\SOFTWARE）；\n"
     "               第一次修改之前，会在它旁边写入备份\n"
     "               文件.vornex-backup-YYYYmmdd-HHMMSS\n"
     "  --undo-dir 文件夹  当前系统的注册表：把这次修改的撤销文件（.reg）写入该文件夹，\n"
     "               而不是程序旁边的撤销文件夹（undo）\n"
     "  --no-undo    当前系统的注册表：不写撤销文件\n"
     "  --all        同时列出窗口不检查的位置：filter子项、静默退出监视程序\n"
     "               （SilentProcessExit）、验证程序DLL（VerifierDlls）、32位视图\n"
     "  --json       输出一个JSON文档（见 cli/scan.schema.json）\n"
     "  --csv        输出带标题行的逗号分隔值\n"
     "  --dry-run    只显示将要做的修改，不做任何修改\n"
     "  --yes        确认自动修复（delete-all）\n"
     "  --help, --version\n"
     "\n"
     "退出代码：0 没有发现重定向；1 发现重定向（修复之后：仍然存在）；\n"
     "2 用法错误、无法读取来源或无法写出输出；3 修复失败；\n"
     "4 无法读取IFEO项下的全部内容，或者配置单元上次没有正常关闭且没有可用的\n"
     "事务日志（列出的可能不全，或者不是最新状态）。\n"},
    {Msg::kHiveNeedsFile, "--hive needs a file", "--hive 后面需要一个文件"},
    {Msg::kHiveTwice, "--hive is given twice", "--hive 给出了两次"},
    {Msg::kJsonCsvExclusive, "--json and --csv exclude each other", "--json 和 --csv 不能同时使用"},
    {Msg::kUndoDirNeedsFolder, "--undo-dir needs a folder", "--undo-dir 后面需要一个文件夹"},
    {Msg::kUnknownOption, "unknown option {1}", "未知选项 {1}"},
    {Msg::kNoCommand, "no command given (scan, repair, delete, delete-all)",
     "没有给出命令（scan、repair、delete、delete-all）"},
    {Msg::kUnknownCommand, "unknown command {1}", "未知命令 {1}"},
    {Msg::kNeedsOneName, "{1} needs exactly one NAME", "{1} 需要且只需要一个名称"},
    {Msg::kTakesNoName, "{1} takes no NAME", "{1} 不接受名称"},
    {Msg::kNameEmpty, "NAME is empty", "名称为空"},
    {Msg::kDryRunForRepairs, "--dry-run is for repair, delete and delete-all",
     "--dry-run 只用于 repair、delete 和 delete-all"},
    {Msg::kAllCsvForScan, "--all and --csv are for scan", "--all 和 --csv 只用于 scan"},
    {Msg::kUndoForRepairs, "--undo-dir and --no-undo are for repair, delete and delete-all",
     "--undo-dir 和 --no-undo 只用于 repair、delete 和 delete-all"},
    {Msg::kUndoDirLiveOnly, "--undo-dir is for the live registry: a hive's backup copy is its undo",
     "--undo-dir 只用于当前系统的注册表：配置单元的备份就是它的撤销"},
    {Msg::kUndoExclusive, "--undo-dir and --no-undo exclude each other", "--undo-dir 和 --no-undo 不能同时使用"},
    {Msg::kDeleteAllNeedsYes, "delete-all removes every listed subkey: add --yes to confirm (or --dry-run)",
     "delete-all（自动修复）会删除所有列出的子项：加上 --yes 确认（或者用 --dry-run）"},
    {Msg::kSeeHelp, "{1} (vornex-cli --help)", "{1}（vornex-cli --help）"},
    {Msg::kNoLiveRegistry, "there is no live registry here: give an offline hive with --hive FILE",
     "这里没有正在运行的注册表：请用 --hive 文件 给出一个离线的配置单元"},
    {Msg::kHiveInUse, "; vornex-cli without --hive works on the running Windows' registry",
     "；不带 --hive 的vornex-cli检查当前运行的Windows的注册表"},
    {Msg::kWithHint, " ({1})", "（{1}）"},
    {Msg::kElevatedPrompt, "run it from an elevated prompt", "请在以管理员身份运行的命令提示符中运行"},
    {Msg::kSudo, "run it with sudo", "请用sudo运行"},
    {Msg::kSoftwareHiveHint, "is this a SOFTWARE hive?", "这是SOFTWARE配置单元吗？"},
    {Msg::kLogNotRead, "transaction log not read, the hive is read as without it: {1}",
     "没有读取事务日志，配置单元按没有它的情况读取：{1}"},
    {Msg::kOutputNotWritten, "the output could not be written (a full disk or a closed pipe?)",
     "无法写出输出（磁盘已满，或者管道已关闭？）"},
    {Msg::kCannotGoOn, "cannot go on: {1}", "无法继续：{1}"},
    {Msg::kCannotOpenIfeo, "cannot open {1} (error {2}{3})", "无法打开 {1}（错误代码 {2}{3}）"},
    {Msg::kNotListed, "no listed entry is named exactly \"{1}\" (see vornex-cli scan)",
     "没有名称恰好是“{1}”的重定向项（见 vornex-cli scan）"},
    {Msg::kUndoRefused, "no undo file could be written, so nothing was changed: {1} (--undo-dir DIR names another folder)",
     "无法写入撤销文件，所以没有做任何修改：{1}（可用 --undo-dir 文件夹 指定另一个文件夹）"},
    {Msg::kFolderError, "{1} (error {2})", "{1}（错误代码 {2}）"},
    {Msg::kChangesNotWritten, "the changes could not be written: {1}", "修改未能写入：{1}"},
    {Msg::kUndoCannotRestore, "the undo file cannot restore: {1}", "撤销文件无法恢复：{1}"},
    {Msg::kCouldNotDo, "could not {1}{2}: {3} (error {4})", "无法{1}{2}：{3}（错误代码 {4}）"},
    {Msg::kReasonAccessDenied, "access denied", "拒绝访问"},
    {Msg::kReasonHasSubkeys,
     "it has subkeys of its own, and only a key without subkeys is deleted (vornex-cli repair {1} removes its "
     "Debugger value only)",
     "它有自己的子项，而只有没有子项的项才会被删除（vornex-cli repair {1} 只删除它的Debugger值，即手工修复）"},
    {Msg::kReasonDamaged, "the hive is damaged there", "配置单元在那里已经损坏"},
    {Msg::kReasonGone, "it is no longer there", "它已经不存在"},
    {Msg::kReasonDeletedMeanwhile, "it was deleted meanwhile", "它在此期间已被删除"},
    {Msg::kReasonBadLink, "a registry link that cannot be followed", "一个无法跟随的注册表链接"},
    {Msg::kReasonBackslash, "its name holds a backslash, which no path of this registry can name",
     "它的名称含有反斜杠，这个注册表的任何路径都无法指向它"},
    {Msg::kReasonReadOnly, "the medium is read-only", "介质是只读的"},
    {Msg::kReasonDiskFull, "the disk is full", "磁盘已满"},
    {Msg::kReasonSecurityMismatch, "its security did not read back as written", "它的安全设置读回来与写入的不一样"},
    {Msg::kReasonRefused, "the registry refused", "注册表拒绝了"},
    {Msg::kCouldNotDelete, "delete ", "删除 "},
    {Msg::kCouldNotTakeOver, "take over ", "接管 "},
    {Msg::kCouldNotRestore, "restore ", "恢复 "},
    {Msg::kWouldDelete, "would delete ", "将删除 "},
    {Msg::kDeleted, "deleted ", "已删除 "},
    {Msg::kWouldTakeOver, "would take over ", "将接管 "},
    {Msg::kTookOver, "took over ", "已接管 "},
    {Msg::kWouldRestore, "would restore ", "将恢复 "},
    {Msg::kRestored, "restored ", "已恢复 "},
    {Msg::kChangeValue, "value {1} of {2}", "{2} 的值 {1}"},
    {Msg::kChangeKey, "key {1}", "项 {1}"},
    {Msg::kChangeLink, "link key {1} (not what it points at)", "链接项 {1}（不是它指向的项）"},
    {Msg::kChangeTakeOver, "the security of {1} (administrators: full control)", "{1} 的安全设置（管理员：完全控制）"},
    {Msg::kChangeRestore, "the security of {1} as it was", "{1} 原来的安全设置"},
    {Msg::kThroughLink, "{1}  (through a registry link to {2})", "{1}  （通过指向 {2} 的注册表链接）"},
    {Msg::kUnreadLine, "incomplete: could not read {1} ({2}, error {3})", "不完整：无法读取 {1}（{2}，错误代码 {3}）"},
    {Msg::kHiveStale,
     "stale: the hive is dirty and no transaction log could bring it up to date ({1}); what is listed may be out of "
     "date",
     "可能过时：配置单元上次没有正常关闭，而且没有事务日志能把它更新到最新状态（{1}）；列出的可能不是最新状态"},
    {Msg::kHiveLogsApplied, "hive: transaction logs applied ({1}): listed as Windows would load it",
     "配置单元：已应用事务日志（{1}）：按Windows加载它的样子列出"},
    {Msg::kStaleLine, "the hive is dirty and no transaction log could be applied: what is listed may be out of date",
     "配置单元上次没有正常关闭，而且没有可用的事务日志：列出的可能不是最新状态"},
    {Msg::kIncompleteOne, "the scan is incomplete: {1} place could not be read, so what is listed may not be all",
     "检查不完整：有 {1} 处无法读取，其中可能隐藏着重定向，列出的可能不全"},
    {Msg::kIncompleteMany, "the scan is incomplete: {1} places could not be read, so what is listed may not be all",
     "检查不完整：有 {1} 处无法读取，其中可能隐藏着重定向，列出的可能不全"},
    {Msg::kHiveBackup, "backup of the hive: {1}", "配置单元的备份：{1}"},
    {Msg::kUndoFileWouldBe, "undo file would be: {1}", "撤销文件将是：{1}"},
    {Msg::kUndoFile, "undo file: {1}", "撤销文件：{1}"},
    {Msg::kRedirectionsLeftOne, "{1} redirection left", "还剩 {1} 个重定向"},
    {Msg::kRedirectionsLeftMany, "{1} redirections left", "还剩 {1} 个重定向"},
};

constexpr bool InOrder() {
    for (std::size_t i = 0; i < std::size(kCatalog); ++i) {
        if (static_cast<std::size_t>(kCatalog[i].id) != i) return false;
    }
    return std::size(kCatalog) == static_cast<std::size_t>(Msg::kCount);
}
static_assert(InOrder(), "one catalog entry for each message, in Msg order");

// {1}, {2}, ... replaced by args as they are: a name or path comes escaped already.
template <typename String>
String Filled(const String& words, std::initializer_list<String> args) {
    String out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::size_t n = i + 2 < words.size() && words[i] == '{' && words[i + 2] == '}'
                                  ? static_cast<std::size_t>(words[i + 1] - '1')
                                  : args.size();
        if (n < args.size()) {
            out += *(args.begin() + static_cast<std::ptrdiff_t>(n));
            i += 2;
        } else {
            out += words[i];
        }
    }
    return out;
}

}  // namespace

void SetLanguage(Language language) { current = language; }

const char* Words(Msg id) {
    const CatalogEntry& entry = kCatalog[static_cast<std::size_t>(id)];
    return current == Language::kChinese ? entry.chinese : entry.english;
}

std::string Say(Msg id, std::initializer_list<std::string> args) { return Filled(std::string(Words(id)), args); }

Text SayText(Msg id, std::initializer_list<Text> args) { return Filled(FromUtf8(Words(id)), args); }

}  // namespace vornex::cli
