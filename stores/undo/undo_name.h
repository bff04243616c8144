#pragma once
#include <vector>

#include "core/text.h"

namespace vornex {

// The name of one action's undo file: "STAMP ACTION ENTRY.reg", with every
// character no Windows file name may hold replaced by '_', and a long entry
// cut.
Text UndoFileName(const Text& stamp, const Text& action, const Text& entry);

// The entry a file is named after: the one, or the first and how many more.
Text UndoEntryName(const std::vector<Text>& names);

// The same name made unique by a number: "... (2).reg" for n = 2.
Text NumberedName(const Text& name, unsigned n);

}  // namespace vornex
