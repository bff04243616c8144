#pragma once
#include "core/text.h"

namespace vornex {

// Upper-cases one UTF-16 unit the way the registry compares names: ASCII,
// Latin-1, Latin Extended-A, Greek, Cyrillic and the full-width Latin letters.
char16_t RegistryUpcase(char16_t unit);

// Registry name equality: case-insensitive, otherwise exact.
bool RegistryNamesEqual(const Text& a, const Text& b);

}  // namespace vornex
