#pragma once
#include <functional>
#include <memory>
#include <string>

#include "app/registry_session.h"

namespace vornex {

// What the window's session needs of an opened hive file.
class HiveDocument {
public:
    virtual ~HiveDocument() = default;
    virtual Registry& registry() = 0;
    // kRegOk when it may be written; else why not: kRegBadDatabase for a
    // dirty hive with no usable log (its newest state is unknown), or what
    // refused writing (a read-only medium, a lock, the file's security).
    virtual RegResult Writable() const = 0;
    // Changed in memory since it was opened or written.
    virtual bool Changed() const = 0;
    // The logs beside it that were not read for what they are (a link, a
    // folder, a device, too large), by name.
    virtual std::vector<std::string> LogsRefused() const = 0;
    // Copies the file, as it is, beside it.
    virtual RegResult Backup(std::string* backupPath, std::string* error) = 0;
    // Writes the changes to the file.
    virtual RegResult Commit(std::string* error) = 0;
};

// Opens the hive; null with the registry's code in *code when it cannot.
using HiveOpener = std::function<std::unique_ptr<HiveDocument>(RegResult* code, std::string* error)>;

// The window on a hive file: the copy of the hive is made once, before the
// first change; each change is written at once. A write that fails drops
// what was changed in memory: the hive is read again from the file, so that
// what the window shows next is what the file holds.
class HiveSession : public RegistrySession {
public:
    // `path` is the hive's full path, as the user is shown it.
    HiveSession(Text path, HiveOpener opener);
    ~HiveSession() override;

    RegResult Open(Text* message) override;
    Registry& registry() override;
    Text Caption() const override;
    Text Warning() const override;
    bool Current() const override;
    RegResult BeforeChange(Text* message) override;
    RegResult AfterChange(Text* message) override;


private:
    // Called where no handler holds a key of the hive.
    void ReloadIfFailed();

    Text path_;
    HiveOpener opener_;
    std::unique_ptr<HiveDocument> document_;
    std::unique_ptr<Registry> closed_;  // answers while no document is open
    bool backedUp_ = false;
    // A write failed: read the file again before the hive is used next, once
    // no handler holds a key of the old one.
    bool reload_ = false;
};

}  // namespace vornex
