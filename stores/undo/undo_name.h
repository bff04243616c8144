#pragma once
#include "core/text.h"

namespace vornex {

// The name of one action's undo file: "STAMP ACTION ENTRY.reg", with every
// character no Windows file name may hold replaced by '_', and a long entry
// cut.
Text UndoFileName(const Text& stamp, const Text& action, const Text& entry);

// The same name made unique by a number: "... (2).reg" for n = 2.
Text NumberedName(const Text& name, unsigned n);

}  // namespace vornex
