#pragma once
#include <cstddef>
#include <cstdint>

#include "core/text.h"

namespace vornex {

// The longest string the loader's string descriptor holds (0xFFFC bytes):
// characters past it are never looked at.
constexpr std::size_t kLoaderStringMaxLength = 0x7FFE;

// The number the loader takes from a string value where it wants a DWORD,
// read as ntdll's RtlUnicodeStringToInteger reads it with base 0: the text up
// to its first NUL; leading characters up to U+0020 skipped; one '+' or '-'
// (minus negates); "0x", "0o" or "0b" in lower case picks base 16, 8 or 2,
// else base 10; then digits of that base (letters of either case) up to the
// first character that is not one, wrapping at 32 bits. Text that holds no
// number reads as 0, as it does for the loader.
std::uint32_t LoaderStringInteger(const Text& text);

}  // namespace vornex
