#pragma once
#include <cstddef>
#include <vector>

#include "core/text.h"

namespace vornex::texts {

// Message boxes.
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
