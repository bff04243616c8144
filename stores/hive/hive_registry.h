#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/registry.h"
#include "stores/hive/hive_changes.h"
#include "stores/hive/hive_file.h"
#include "stores/hive/log_replay.h"
#include "stores/hive/regf_image.h"

namespace vornex {

// An offline registry hive file (a SOFTWARE hive: its root stands for
// HKEY_LOCAL_MACHINE\SOFTWARE) with the same contracts as the live registry.
//
// It reads what Windows would load: the transaction logs beside the file are
// replayed in memory first, and names and values are read exactly as stored
// (raw UTF-16 or Latin-1, lone surrogates and all), compared as the registry
// compares them. Damage makes a read fail like any registry failure. A link
// key is followed where its target lies in this hive.
//
// Changes (hive::HiveChanges) are made to the state read (for a dirty hive,
// its logs replayed) and stay in memory until Commit, which writes that state
// plus the changes as a clean primary file. A dirty hive with no usable log
// is not written.
class HiveRegistry : public Registry {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    enum class Mode { kReadOnly, kWrite };

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
    static std::unique_ptr<HiveRegistry> Open(const std::string& path, Mode mode, std::string* error,
                                              RegResult* code = nullptr);
    HiveRegistry(Passkey, std::string path, Mode mode, hive::LoadedHive loaded, hive::RegfImage image);
    ~HiveRegistry() override;
    HiveRegistry(const HiveRegistry&) = delete;
    HiveRegistry& operator=(const HiveRegistry&) = delete;

    RegResult OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                      KeyHandle* key) override;
    // The subkey of exactly this name: a name may hold a backslash.
    RegResult OpenSubkey(KeyHandle parent, const Text& name, std::uint32_t access, KeyHandle* key) override;
    RegResult QueryInfoKey(KeyHandle key, std::uint32_t* subkeyCount,
                           std::uint32_t* maxSubkeyNameLength) override;
    RegResult EnumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                      std::uint32_t* nameLength) override;
    RegResult EnumValue(KeyHandle key, std::uint32_t index, char16_t* name,
                        std::uint32_t* nameLength, std::uint32_t* type, unsigned char* data,
                        std::uint32_t* dataSize) override;
    RegResult QueryValue(KeyHandle key, const Text& valueName, std::uint32_t* type,
                         unsigned char* data, std::uint32_t* dataSize) override;
    RegResult CloseKey(KeyHandle key) override;
    RegResult DeleteValue(KeyHandle key, const Text& valueName) override;
    // The subkey of exactly this name: a name may hold a backslash.
    RegResult DeleteKey(KeyHandle key, const Text& subkeyName) override;
    RegResult WouldDeleteValue(KeyHandle key, const Text& valueName) override;
    RegResult WouldDeleteKey(KeyHandle key, const Text& subkeyName) override;
    RegResult QueryLink(KeyHandle root, const Text& path, bool* isLink, Text* target) override;
    RegResult WouldDeleteLink(KeyHandle root, const Text& path) override;
    RegResult DeleteLink(KeyHandle root, const Text& path) override;

    const std::string& path() const { return path_; }
    // Changed in memory since it was opened or committed.
    bool dirty() const { return pending_; }
    // How the file was brought to the state read: clean, or its logs replayed.
    hive::Recovery recovery() const { return recovery_; }
    const std::vector<std::string>& logsApplied() const { return logsApplied_; }
    const std::string& recoveryNote() const { return recoveryNote_; }
    // One line for each log beside the hive that was not read for what it is
    // (a link, a folder, a device, too large): the hive is read as without it.
    const std::vector<hive::LoadedHive::RefusedLog>& logsRefused() const { return logsRefused_; }
    std::size_t OpenHandleCount() const { return handles_.size(); }

    // Copies the file and the logs its reading used, as they are, beside it
    // (before the first change is written); *backupPath names the copy.
    RegResult Backup(std::string* backupPath, std::string* error);
    // Writes the changes to the file: to a temporary file beside it that then
    // replaces it, so that a failure leaves the old file whole.
    RegResult Commit(std::string* error);

private:
    struct OpenNode {
        hive::KeyRef ref;
        bool deleted = false;
    };

    const hive::RegfImage& Image() const { return changes_.Image(); }
    RegResult Resolve(KeyHandle key, OpenNode** out);
    RegResult DeletableValue(KeyHandle key, const Text& valueName, hive::KeyRef* owner, hive::ValueInfo* out);
    RegResult DeletableSubkey(KeyHandle key, const Text& subkeyName, hive::KeyRef* parent, hive::KeyRef* out);
    RegResult DeletableLink(KeyHandle root, const Text& path, hive::KeyRef* parent, hive::KeyRef* key);
    // The key at `path` (split at every backslash) below `from`.
    // *parent: the key the last name was found in.
    RegResult Walk(hive::KeyRef from, const Text& path, bool openLink, int hops, hive::KeyRef* out,
                   hive::KeyRef* parent = nullptr);
    RegResult WalkNames(hive::KeyRef from, const std::vector<Text>& names, bool openLink, int hops,
                        hive::KeyRef* out, hive::KeyRef* parent = nullptr);
    KeyHandle AddHandle(hive::KeyRef ref);
    RegResult FromMachine(const Text& path, bool openLink, hive::KeyRef* out, hive::KeyRef* parent = nullptr);
    // Where a link key leads in this hive.
    RegResult FollowLink(hive::KeyRef link, int hops, hive::KeyRef* out);
    RegResult IsLink(hive::KeyRef key, bool* link, Text* target);
    const std::vector<hive::KeyRef>* Subkeys(hive::KeyRef key);
    const std::vector<hive::ValueInfo>* Values(hive::KeyRef key);
    // After a change: cached lists are stale, handles to a removed key dead.
    RegResult Changed(RegResult result, const hive::KeyRef* removed);

    std::string path_;
    Mode mode_;
    hive::Recovery recovery_;
    std::vector<std::string> logsApplied_;
    std::string recoveryNote_;
    std::vector<std::string> logsRead_;  // the logs the backup copies
    std::vector<hive::LoadedHive::RefusedLog> logsRefused_;
    hive::HiveChanges changes_;
    // Holds the hive, locked, while it may be changed.
    std::unique_ptr<hive::HiveFileLayer> files_;
    std::map<KeyHandle, OpenNode> handles_;
    KeyHandle nextHandle_ = 0x1000;
    std::map<std::uint32_t, std::vector<hive::KeyRef>> subkeyCache_;
    std::map<std::uint32_t, std::vector<hive::ValueInfo>> valueCache_;
    bool pending_ = false;  // changed since opened or committed
};

}  // namespace vornex
