#include "stores/hive/hive_session.h"

#include <optional>
#include <utility>

#include "stores/hive/hive_commit.h"
#include "stores/hive/hive_load.h"

namespace vornex::hive {

namespace {

// A file that is missing, in use by Windows, not a file, or that could not be
// read at all: refused for a change, it is not read either.
bool Unreadable(RegResult code) {
    return code == kRegFileNotFound || code == kRegSharingViolation || code == kRegInvalidParameter ||
           code == kRegReadFault || code == kRegNotEnoughMemory;
}

}  // namespace

HiveFileSession::HiveFileSession(Passkey, std::string path, LoadedHive loaded, std::unique_ptr<HiveFileLayer> held,
                                 RegResult writable, std::string why)
    : path_(std::move(path)),
      recovery_(loaded.recovery),
      logsApplied_(std::move(loaded.logsApplied)),
      recoveryNote_(std::move(loaded.note)),
      logsRead_(std::move(loaded.logsRead)),
      logsRefused_(std::move(loaded.logsRefused)),
      files_(std::move(held)),
      writable_(writable),
      whyNotWritable_(std::move(why)) {}

std::unique_ptr<HiveFileSession> HiveFileSession::Open(const std::string& path, Mode mode, std::string* error,
                                                       RegResult* code) {
    RegResult ignored = kRegOk;
    if (!code) code = &ignored;
    // For a change: refused at once on a read-only medium, and while another
    // program holds the hive: before it is read, so that what is changed is
    // what was read.
    std::unique_ptr<HiveFileLayer> files = SystemFileLayer();
    RegResult writable = kRegAccessDenied;
    std::string why = path + ": opened read-only";
    if (mode != Mode::kReadOnly) {
        if (const FileFailure held = files->Hold(path)) {
            if (mode == Mode::kWrite || Unreadable(held.code)) {
                *error = held.message;
                *code = held.code;
                return nullptr;
            }
            writable = held.code;
            why = held.message;
        } else {
            writable = kRegOk;
            why.clear();
        }
    }
    LoadedHive loaded;
    if (const FileFailure failed = LoadHive(*files, path, &loaded)) {
        *error = failed.message;
        *code = failed.code;
        return nullptr;
    }
    std::string damage;
    std::optional<RegfImage> image = RegfImage::Parse(std::move(loaded.image), &damage);
    if (!image) {
        *error = path + ": damaged registry hive (" + damage + ")";
        *code = kRegBadDatabase;
        return nullptr;
    }
    // A change is made to what was read: for a dirty hive, the state its
    // logs hold, so that the file written holds that state plus the change.
    if (loaded.recovery == Recovery::kDirtyNoUsableLog && mode != Mode::kReadOnly) {
        writable = kRegBadDatabase;
        why = path + ": the hive is dirty and no transaction log could be applied (" + loaded.note +
              "): its newest state is unknown, so it is not written";
        if (mode == Mode::kWrite) {
            *error = why;
            *code = writable;
            return nullptr;
        }
    }
    if (writable != kRegOk) files.reset();
    const bool changeable = writable == kRegOk;
    auto opened = std::make_unique<HiveFileSession>(Passkey(), path, std::move(loaded), std::move(files), writable,
                                                    std::move(why));
    opened->registry_ = std::make_unique<HiveRegistry>(std::move(*image), changeable);
    *code = kRegOk;
    return opened;
}

RegResult HiveFileSession::Writable(std::string* why) const {
    if (why) *why = whyNotWritable_;
    return writable_;
}

RegResult HiveFileSession::Backup(std::string* backupPath, std::string* error) {
    if (!files_) {
        *error = path_ + ": opened read-only";
        return kRegAccessDenied;
    }
    const FileFailure failed = WriteHiveBackup(*files_, path_, logsRead_, backupPath);
    *error = failed.message;
    return failed.code;
}

RegResult HiveFileSession::Commit(std::string* error) {
    if (!registry_->changed()) return kRegOk;
    if (!files_) {
        *error = path_ + ": opened read-only";
        return kRegAccessDenied;
    }
    const FileFailure failed = ReplaceHiveFile(*files_, path_, registry_->CommitBytes());
    *error = failed.message;
    if (failed) return failed.code;
    registry_->Written();
    // The file held is the one replaced: the new one is held for a later
    // commit. If another program took it meanwhile, this one is done and
    // said to be; a later change is refused as on a hive opened read-only.
    files_ = SystemFileLayer();
    if (const FileFailure held = files_->Hold(path_)) {
        files_.reset();
        *error = path_ + ": written, but no longer held for a later change: " + held.message;
    }
    return kRegOk;
}

}  // namespace vornex::hive
