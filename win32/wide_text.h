#pragma once
#include <string>
#include <string_view>

#include "core/text.h"

namespace vornex::win32 {

// Text holds UTF-16, as wchar_t does on Windows: the units carry over one for one.
inline std::wstring Wide(const Text& text) { return std::wstring(text.begin(), text.end()); }
inline Text FromWide(std::wstring_view text) { return Text(text.begin(), text.end()); }

}  // namespace vornex::win32
