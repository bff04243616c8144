#pragma once
#include <cstddef>
#include <string>
#include <vector>


namespace vornex {

// UTF-16 throughout, as the registry and the window keep text. char16_t keeps
// the portable core and its tests identical on Linux, where wchar_t is 32-bit.
using Text = std::u16string;

// Decimal digits of a count, without sign or leading zeros.
Text DecimalText(unsigned long value);

// A registry REG_SZ payload as text: the characters before the first NUL; a
// payload without one is taken whole, an odd trailing byte is dropped.
Text TextFromRegistryData(const unsigned char* data, std::size_t bytes);
// The same, keeping at most `maxLength` characters (never half of a surrogate
// pair); *fullLength gets the length the whole text has.
Text TextFromRegistryData(const unsigned char* data, std::size_t bytes, std::size_t maxLength,
                          std::size_t* fullLength);

}  // namespace vornex

namespace vornex {
// The digit a character stands for in bases up to 36; -1 for any other.
int DigitValue(char16_t c);
// The names of a key path, split at every backslash as the registry's path
// parser splits it: repeated, leading and trailing separators name nothing.
std::vector<Text> SplitKeyPath(const Text& path);
// UTF-8 for logs and test messages; unpaired surrogates become U+FFFD.
std::string ToUtf8(const Text& text);
// Plain ASCII or UTF-8 source text to UTF-16.
Text FromUtf8(const std::string& utf8);
}  // namespace vornex
