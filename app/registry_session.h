#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "core/registry.h"
#include "core/text.h"
#include "core/undo_record.h"

namespace vornex {

// The registry the window works on, and what a change to it takes: nothing
// more for the live registry; for a hive file, a copy of it before the first
// change and the file written after each.
class RegistrySession {
public:
    virtual ~RegistrySession() = default;

    // Opens what the window shows; kRegOk, or why not and *message for the
    // user. Nothing else is asked of a session that did not open.
    virtual RegResult Open(Text* message) = 0;
    virtual Registry& registry() = 0;
    // The window's caption: the title, and which registry it shows.
    virtual Text Caption() const = 0;
    // What the user must know of the registry shown before trusting its list
    // (empty for nothing): said once, after the first scan.
    virtual Text Warning() const = 0;
    // Whether an empty list may be told as "nothing found": not when what was
    // read may not be the newest state.
    virtual bool Current() const = 0;
    // Before a repair changes anything: kRegOk, or why no change may be made.
    virtual RegResult BeforeChange(Text* message) = 0;
    // After a repair changed something (all it meant to, or part): makes it
    // lasting. kRegOk, or why not: then nothing it did may be taken as done.
    virtual RegResult AfterChange(Text* message) = 0;
    // The keeper of what one repair (its button's name, the entries it acts
    // on) will remove; null where the session keeps its own copy.
    virtual std::unique_ptr<UndoKeeper> UndoFor(const Text&, const std::vector<Text>&) { return nullptr; }
};

// Makes the keeper of one repair's undo file.
using UndoFactory = std::function<std::unique_ptr<UndoKeeper>(const Text& action, const std::vector<Text>& names)>;

// The running system's own registry: changes are made in place, each after
// its undo file is written.
class LiveSession : public RegistrySession {
public:
    LiveSession(Registry& registry, Text caption, UndoFactory undo = {})
        : registry_(registry), caption_(std::move(caption)), undo_(std::move(undo)) {}

    RegResult Open(Text*) override { return kRegOk; }
    Registry& registry() override { return registry_; }
    Text Caption() const override { return caption_; }
    Text Warning() const override { return Text(); }
    bool Current() const override { return true; }
    RegResult BeforeChange(Text*) override { return kRegOk; }
    RegResult AfterChange(Text*) override { return kRegOk; }
    std::unique_ptr<UndoKeeper> UndoFor(const Text& action, const std::vector<Text>& names) override {
        return undo_ ? undo_(action, names) : nullptr;
    }

private:
    Registry& registry_;
    Text caption_;
    UndoFactory undo_;
};

}  // namespace vornex
