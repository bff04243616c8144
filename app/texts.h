#pragma once
#include <cstddef>
#include <vector>

#include "app/windows_finder.h"
#include "core/text.h"

namespace vornex::texts {

// frmMain's caption.
inline const Text kWindowTitle = u"IFEO检测修复工具 By Qelmor";
// The caption on a hive file: the hive's full path, then the title (shown
// through DisplayEscaped, so that no path forges it).
Text HiveCaption(const Text& path);

// Message boxes.
inline const Text kUsage = u"用法：Vornex.exe 检查当前系统；Vornex.exe 文件 或 Vornex.exe --hive 文件 检查一个SOFTWARE注册表配置单元文件。";
inline const Text kNoticeTitle = u"提示";
inline const Text kWarningTitle = u"警告";
inline const Text kNothingFound = u"没有发现IFEO重定向！谢谢使用本工具！";
inline const Text kRepaired = u"已成功修复！";
inline const Text kDeleted = u"已成功删除！";
// The repairs by their buttons' names, as their undo files are named.
inline const Text kManualRepairAction = u"手工修复";
inline const Text kManualDeleteAction = u"手工删除";
inline const Text kAutoFixAction = u"自动修复";
inline const Text kAllDeleted = u"已成功删除所有被重定向的项！";
// An unexpected failure in the window's code: what it was doing did not finish.
inline const Text kUnexpectedFailure = u"发生意外错误，刚才的操作没有完成：显示的内容可能不完整或不是最新的。";
inline const Text kConfirmFix =
    u"不建议使用自动修复功能！\r\n使用自动修复可能会删除有用项，确定要自动修复吗？";

// The notice after a scan that could not read some IFEO subkeys, naming them
// (the first `kUnreadNamed`, then how many more); each name shown through
// DisplayEscaped, as vornex-cli shows it, so no name can forge a line.
constexpr std::size_t kUnreadNamed = 10;
Text UnreadNotice(const std::vector<Text>& names);

// A hive file that could not be opened, by the registry's code: missing, no
// hive or damaged, in use by the running Windows (its own registry), or else.
Text HiveOpenFailure(const Text& path, long code);
// Said after the first scan of a hive that cannot be written: kRegBadDatabase
// for a dirty hive with no usable log (the list may not be the newest state).
Text HiveReadOnlyWarning(const Text& path, long code);
// Logs beside a hive that were not read (links, folders, devices, or too large).
Text LogsNotRead(const std::vector<Text>& names);
// A repair refused before it changed anything, and why.
Text HiveChangeRefused(long code);
Text HiveNotOpen(const Text& path);
Text HiveBackupFailed(long code);
// A repair made in memory that could not be written to the file.
Text HiveWriteFailed(long code);

// In a rescue system (Windows PE).
inline const Text kChooserTitle = u"选择要检查的Windows";
inline const Text kChooserPrompt =
    u"这是一个救援系统（Windows PE），它自己的注册表不是这台电脑的。在下列驱动器上找到了已安装的Windows，请选择要检查的一个：";
inline const Text kChooserOk = u"检查(&O)";
inline const Text kChooserCancel = u"退出(&Q)";
// No installed Windows found: how to give a hive's path, and (OK) the running
// system's own registry, for a MiniNT key planted on a normal Windows.
inline const Text kNoWindowsFound =
    u"这是一个救援系统（Windows PE），它自己的注册表不是这台电脑的。在其他驱动器上没有找到已安装的Windows"
    u"（\\Windows\\System32\\config\\SOFTWARE）。\r\n\r\n"
    u"请给出要检查的SOFTWARE文件的路径：用“Vornex.exe 文件”或“Vornex.exe --hive 文件”启动本工具，"
    u"或者把该文件拖到本工具的图标上。\r\n\r\n"
    u"如果这台电脑运行的其实是正常的Windows（MiniNT项也可能是恶意程序创建的），请点击“确定”检查当前运行系统的注册表；"
    u"点击“取消”退出。";
// The caption over the running system's registry when the system says it is a rescue system.
Text RunningSystemCaption();
// One line of the chooser: drive, Windows folder, product and version as
// the hive holds them (shown safely, cut to a line).
Text InstalledWindowsLine(const InstalledWindows& found);

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
