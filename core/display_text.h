#pragma once
#include "core/text.h"

namespace vornex {

// Text as both front ends show it: control and format characters (zero-width,
// direction and tag characters among them) and lone surrogates written as
// \uXXXX, one escape per UTF-16 unit, so that no name, command or path can
// hide, move or reorder what follows it. Everything else, non-ASCII
// included, is kept as it is.
Text DisplayEscaped(const Text& text);
// The \uXXXX escape of one UTF-16 unit.
Text UnitEscape(char16_t unit);

}  // namespace vornex
