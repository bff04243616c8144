#pragma once
#include <string>
#include <string_view>

#include "core/text.h"

namespace vornex::win32 {

// Text holds UTF-16, as wchar_t does on Windows: the units carry over one for one.
inline std::wstring Wide(const Text& text) { return std::wstring(text.begin(), text.end()); }
inline Text FromWide(std::wstring_view text) { return Text(text.begin(), text.end()); }

// The hive store keeps file paths as UTF-8, portably; the system takes them as UTF-16.
inline std::wstring WideFromUtf8(const std::string& utf8) { return Wide(FromUtf8(utf8)); }
inline std::string Utf8FromWide(std::wstring_view wide) { return ToUtf8(FromWide(wide)); }

}  // namespace vornex::win32
