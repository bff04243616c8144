#pragma once
// An undo target that keeps records in memory, or refuses them; it notes
// what the registry held at the moment it was asked to keep one.
#include <functional>
#include <string>

#include "stores/undo/undo_target.h"

namespace vornex {

class RecordingUndo : public UndoTarget {
public:
    RegResult Keep(const UndoRecord& record) override {
        ++keeps;
        if (atKeep) registryAtKeep = atKeep();
        if (refuse != kRegOk) {
            refusals_.push_back({u"refused-folder", refuse});
            return refuse;
        }
        kept = record;
        path_ = u"undo-file.reg";
        return kRegOk;
    }
    const Text& path() const override { return path_; }
    const std::vector<Text>& notRestorable() const override { return notRestorable_; }
    const std::vector<UndoFolderRefusal>& refusals() const override { return refusals_; }
    Text Planned() const override { return u"planned.reg"; }

    RegResult refuse = kRegOk;
    std::function<std::string()> atKeep;  // e.g. the store's dump
    std::string registryAtKeep;
    UndoRecord kept;
    int keeps = 0;

private:
    Text path_;
    std::vector<Text> notRestorable_;
    std::vector<UndoFolderRefusal> refusals_;
};

}  // namespace vornex
