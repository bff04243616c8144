#pragma once
#include <cstddef>
#include <vector>

#include "core/text.h"

namespace vornex::texts {

// frmMain's caption.
inline const Text kWindowTitle = u"IFEO检测修复工具 By Qelmor";
// The caption on a hive file: the title and the hive's path (control and
// direction characters shown as \uXXXX, so that no path forges the caption).
Text HiveCaption(const Text& path);

// Message boxes.
inline const Text kUsage = u"用法：Vornex.exe 检查当前系统；Vornex.exe 文件 或 Vornex.exe --hive 文件 检查一个SOFTWARE注册表配置单元文件。";
inline const Text kNoticeTitle = u"提示";
inline const Text kWarningTitle = u"警告";
inline const Text kNothingFound = u"没有发现IFEO重定向！谢谢使用本工具！";
inline const Text kRepaired = u"已成功修复！";
inline const Text kDeleted = u"已成功删除！";
inline const Text kAllDeleted = u"已成功删除所有被重定向的项！";
inline const Text kConfirmFix =
    u"不建议使用自动修复功能！\r\n使用自动修复可能会删除有用项，确定要自动修复吗？";

// The notice after a scan that could not read some IFEO subkeys, naming them
// (the first `kUnreadNamed`, then how many more); control and direction
// characters in a name are shown as \uXXXX, so no name can forge a line.
constexpr std::size_t kUnreadNamed = 10;
Text UnreadNotice(const std::vector<Text>& names);

// A hive file that could not be opened, by the registry's code: missing, no
// hive or damaged, in use by the running Windows (its own registry), or else.
Text HiveOpenFailure(const Text& path, long code);
// Said after the first scan of a hive that cannot be written: kRegBadDatabase
// for a dirty hive with no usable log (the list may not be the newest state).
Text HiveReadOnlyWarning(const Text& path, long code);
// A repair refused before it changed anything, and why.
Text HiveChangeRefused(long code);
Text HiveNotOpen(const Text& path);
Text HiveBackupFailed(long code);
// A repair made in memory that could not be written to the file.
Text HiveWriteFailed(long code);

// lblCount for n recorded entries.
Text CountCaption(unsigned long n);
// lblDetail heading for a selected name.
Text DetailHeading(const Text& name);
// txtDetail advice for a selected name and its command.
Text DetailAdvice(const Text& name, const Text& command);
// The start of a command too long to show whole (at most `shown` characters,
// never half a surrogate pair), followed by a visible mark of the cut and the
// command's whole length.
Text CutCommand(const Text& command, std::size_t shown, std::size_t wholeLength);

}  // namespace vornex::texts
