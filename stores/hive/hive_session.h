#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/reg_result.h"
#include "stores/hive/hive_file.h"
#include "stores/hive/hive_registry.h"
#include "stores/hive/log_replay.h"

namespace vornex::hive {

// An offline hive file, for both front ends: opened with its policy, held
// while it may be changed, backed up, written, and held again; and the one
// answer to "may this hive be changed, and if not, why".
//
// It reads what Windows would load: the transaction logs beside a dirty
// file are replayed in memory first (hive_load.h). A change is made to that
// state, and a commit writes that state plus the change as a clean primary
// file. A dirty hive with no usable log is never written: its newest state
// is unknown.
class HiveFileSession {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    enum class Mode {
        kReadOnly,
        // Held for change, or not opened at all.
        kWrite,
        // Held for change where it may be; else read only, Writable() saying
        // why. Not opened where it cannot be read at all.
        kWriteIfAllowed,
    };

    // Null, with a one-line reason in *error and the registry's code in
    // *code (kRegOk on success), when the file cannot be opened:
    //   kRegFileNotFound      no such file or folder
    //   kRegSharingViolation  held open by another program without sharing,
    //                         as Windows holds each hive it has loaded
    //                         (reading fails too; Windows only)
    //   kRegLockViolation     (kWrite) another program holds its lock
    //   kRegAccessDenied      the file's permissions or security refuse it
    //   kRegWriteProtect      (kWrite) the medium is read-only
    //   kRegInvalidParameter  a folder, a device or a pipe, not a file
    //   kRegBadDatabase       not a hive, damaged beyond opening, or (kWrite)
    //                         dirty with no usable log
    //   kRegReadFault, kRegNotEnoughMemory  reading it failed
    static std::unique_ptr<HiveFileSession> Open(const std::string& path, Mode mode, std::string* error,
                                                 RegResult* code = nullptr);
    HiveFileSession(Passkey, std::string path, LoadedHive loaded, std::unique_ptr<HiveFileLayer> held,
                    RegResult writable, std::string why);
    HiveFileSession(const HiveFileSession&) = delete;
    HiveFileSession& operator=(const HiveFileSession&) = delete;

    HiveRegistry& registry() { return *registry_; }

    // kRegOk when it may be changed; else why not (*why, one line):
    // kRegBadDatabase for a dirty hive with no usable log (Stale()), or what
    // refused holding it (a read-only medium, a lock, the file's security),
    // or kRegAccessDenied for a hive opened read only.
    RegResult Writable(std::string* why = nullptr) const;
    // Dirty, and no log brought it up to date: what was read may be stale.
    bool Stale() const { return recovery_ == Recovery::kDirtyNoUsableLog; }
    // Changed in memory since it was opened or written.
    bool Changed() const { return registry_->changed(); }

    // How the file was brought to the state read: clean, or its logs replayed.
    Recovery recovery() const { return recovery_; }
    const std::vector<std::string>& logsApplied() const { return logsApplied_; }
    const std::string& recoveryNote() const { return recoveryNote_; }
    // One line for each log beside the hive that was not read for what it is
    // (a link, a folder, a device, too large): the hive is read as without it.
    const std::vector<LoadedHive::RefusedLog>& logsRefused() const { return logsRefused_; }

    // Copies the file and the logs its reading used, as they are, beside it
    // (before the first change is written); *backupPath names the copy.
    RegResult Backup(std::string* backupPath, std::string* error);
    // Writes the changes to the file: to a temporary file beside it that then
    // replaces it, so that a failure leaves the old file whole. The new file
    // is held for a later commit; if another program took it meanwhile, this
    // one is done and said to be, and a later commit is refused.
    RegResult Commit(std::string* error);

private:
    std::string path_;
    Recovery recovery_;
    std::vector<std::string> logsApplied_;
    std::string recoveryNote_;
    std::vector<std::string> logsRead_;  // the logs the backup copies
    std::vector<LoadedHive::RefusedLog> logsRefused_;
    // Holds the hive, locked, while it may be changed.
    std::unique_ptr<HiveFileLayer> files_;
    RegResult writable_;
    std::string whyNotWritable_;
    std::unique_ptr<HiveRegistry> registry_;
};

}  // namespace vornex::hive
