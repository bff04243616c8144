#pragma once
#include <vector>

#include "core/undo_record.h"

namespace vornex {

// A place the file could not go, and why.
struct UndoFolderRefusal {
    Text folder;
    RegResult code;
};

// The undo file of one action, as its front end sees it: where it went (or
// would go), what it could not carry, and where it could not be written.
class UndoTarget : public UndoKeeper {
public:
    // The file written; empty before that, or when none could be.
    virtual const Text& path() const = 0;
    virtual const std::vector<Text>& notRestorable() const = 0;
    virtual const std::vector<UndoFolderRefusal>& refusals() const = 0;
    // Where the file would go, writing nothing.
    virtual Text Planned() const = 0;
};

}  // namespace vornex
