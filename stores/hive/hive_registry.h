#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/registry.h"
#include "stores/hive/log_replay.h"
#include "stores/hive/regf_image.h"

struct hive_h;

namespace vornex {

class UniqueFd;

// An offline registry hive file (a SOFTWARE hive: its root stands for
// HKEY_LOCAL_MACHINE\SOFTWARE) with the same contracts as the live registry.
//
// It reads what Windows would load: the transaction logs beside the file are
// replayed in memory first, and names and values are read exactly as stored
// (raw UTF-16 or Latin-1, lone surrogates and all), compared as the registry
// compares them. Damage makes a read fail like any registry failure. A link
// key is followed where its target lies in this hive.
//
// Changes go through hivex to the state read (for a dirty hive, its logs
// replayed), stay in memory until Commit, which writes that state plus the
// changes as a clean primary file. A dirty hive with no usable log is not written.
class HiveRegistry : public Registry {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    enum class Mode { kReadOnly, kWrite };

    // Null, with a one-line reason in *error, when the file is missing, is not
    // a hive or is damaged beyond opening, or (kWrite) cannot be written.
    static std::unique_ptr<HiveRegistry> Open(const std::string& path, Mode mode,
                                              std::string* error);
    HiveRegistry(Passkey, std::string path, Mode mode, hive::LoadedHive loaded, hive::RegfImage image);
    ~HiveRegistry() override;
    HiveRegistry(const HiveRegistry&) = delete;
    HiveRegistry& operator=(const HiveRegistry&) = delete;

    RegResult OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                      KeyHandle* key) override;
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
    RegResult DeleteLink(KeyHandle root, const Text& path) override;

    // Seeding, for fixtures: paths below HKEY_LOCAL_MACHINE, starting with
    // SOFTWARE; missing parents are created. False on failure.
    bool CreateKey(const Text& path);
    bool SetValue(const Text& keyPath, const Text& name, std::uint32_t type,
                  const std::vector<unsigned char>& data);
    // Removes a key with everything below it.
    bool RemoveTree(const Text& path);
    // A subkey of parentPath named exactly `name`, which may hold a backslash.
    bool CreateSubkeyNamed(const Text& parentPath, const Text& name);

    const std::string& path() const { return path_; }
    // Changed in memory since it was opened or committed.
    bool dirty() const { return changed_; }
    // How the file was brought to the state read: clean, or its logs replayed.
    hive::Recovery recovery() const { return recovery_; }
    const std::vector<std::string>& logsApplied() const { return logsApplied_; }
    const std::string& recoveryNote() const { return recoveryNote_; }
    std::size_t OpenHandleCount() const { return handles_.size(); }

    // Writes the changes to the file: to a temporary file beside it that then
    // replaces it, so that a failure leaves the old file whole.
    bool Commit(std::string* error);

private:
    struct HiveCloser {
        void operator()(hive_h* hive) const;
    };
    struct OpenNode {
        hive::KeyRef ref;
        bool deleted = false;
    };

    // The values of a key that stay when one goes, as hivex must write them back.
    struct KeptValues {
        std::size_t node = 0;
        std::vector<std::string> names;
        std::vector<std::vector<char>> datas;
        std::vector<std::uint32_t> types;
    };

    RegResult Resolve(KeyHandle key, OpenNode** out);
    RegResult ValuesKept(KeyHandle key, const Text& valueName, KeptValues* kept);
    RegResult DeletableSubkey(KeyHandle key, const Text& subkeyName, hive::KeyRef* out);
    // The key at `path` (names separated by backslashes) below `from`.
    RegResult Walk(hive::KeyRef from, const Text& path, bool openLink, int hops, hive::KeyRef* out);
    RegResult FromMachine(const Text& path, bool openLink, hive::KeyRef* out);
    // Where a link key leads in this hive.
    RegResult FollowLink(hive::KeyRef link, int hops, hive::KeyRef* out);
    RegResult IsLink(hive::KeyRef key, bool* link, Text* target);
    const std::vector<hive::KeyRef>* Subkeys(hive::KeyRef key);
    const std::vector<hive::ValueInfo>* Values(hive::KeyRef key);
    // After a change through hivex: read its bytes back, so that reads see it.
    bool Reload();
    RegResult Changed();
    hive_h* Writer();
    bool OpenWriter();
    static std::string RealPath(const std::string& path);
    std::size_t HivexNode(hive::KeyRef key) const;

    std::string path_;
    Mode mode_;
    hive::Recovery recovery_;
    std::vector<std::string> logsApplied_;
    std::string recoveryNote_;
    std::optional<hive::RegfImage> image_;
    std::unique_ptr<hive_h, HiveCloser> writer_;
    // The hive held open and locked while it may be changed.
    std::unique_ptr<UniqueFd> lock_;
    std::map<KeyHandle, OpenNode> handles_;
    KeyHandle nextHandle_ = 0x1000;
    std::map<std::uint32_t, std::vector<hive::KeyRef>> subkeyCache_;
    std::map<std::uint32_t, std::vector<hive::ValueInfo>> valueCache_;
    bool changed_ = false;
    bool unreadable_ = false;  // a change could not be read back
};

}  // namespace vornex
