#pragma once
#include <cstddef>
#include <string>

// Registry name comparison as Windows does it: each UTF-16 code unit is
// upper-cased on its own through the system's upcase table (what
// RtlUpcaseUnicodeChar uses), and names are equal when they have the same
// length and the same upper-cased units. There is no normalisation and no
// locale: U+0131 and U+0130 stay distinct from i/I and from each other,
// U+00DF stays ß, surrogates are unchanged.
namespace vornex {

char16_t RegistryUpcase(char16_t unit);

bool RegistryNamesEqual(const std::u16string& a, const std::u16string& b);

// Orders names by their upper-cased units, shorter first on a common prefix;
// 0 exactly when RegistryNamesEqual. Lets callers sort and search names.
int RegistryNamesCompare(const char16_t* a, std::size_t aLength, const char16_t* b,
                         std::size_t bLength);
inline int RegistryNamesCompare(const std::u16string& a, const std::u16string& b) {
    return RegistryNamesCompare(a.data(), a.size(), b.data(), b.size());
}

}  // namespace vornex
