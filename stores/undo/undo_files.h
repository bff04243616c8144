#pragma once
#include <vector>

#include "stores/undo/reg_file.h"
#include "stores/undo/undo_target.h"

namespace vornex {

// Where undo files go, best first: a folder beside the program (it stays
// with the tool on a USB stick), then the user's local application data,
// then the temporary folder.
std::vector<Text> DefaultUndoFolders();

// The local time as YYYYmmdd-HHMMSS, for file names.
Text LocalStamp();

// Keeps each record of one action as a new .reg file in the first of
// `folders` that takes it: a real folder (a link or junction is not written
// through), a file created new (nothing is overwritten), written whole and
// flushed. A partial file is removed and the next folder tried.
class UndoFiles : public UndoTarget {
public:
    UndoFiles(std::vector<Text> folders, Text fileName);

    RegResult Keep(const UndoRecord& record) override;

    const Text& path() const override { return path_; }
    const std::vector<Text>& notRestorable() const override { return notRestorable_; }
    const std::vector<UndoFolderRefusal>& refusals() const override { return refusals_; }
    // The first folder that is a real one or not there yet; writes nothing.
    Text Planned() const override;

private:
    RegResult WriteIn(const Text& folder, const std::vector<unsigned char>& bytes);

    std::vector<Text> folders_;
    Text fileName_;
    Text path_;
    std::vector<Text> notRestorable_;
    std::vector<UndoFolderRefusal> refusals_;
};

}  // namespace vornex
