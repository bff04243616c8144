#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "core/registry.h"
#include "stores/hive/regf_image.h"
#include "stores/hive/regf_writer.h"

namespace vornex {

namespace testing {
struct HiveRegistryProbe;
}

// The registry adapter of a SOFTWARE hive image (its root stands for
// HKEY_LOCAL_MACHINE\SOFTWARE), with the same contracts as the live registry.
// The file it was read from, and whether it may be written, are the hive
// session's (hive_session.h).
//
// Names and values are read exactly as stored (raw UTF-16 or Latin-1, lone
// surrogates and all), compared as the registry compares them. Damage makes a
// read fail like any registry failure. Key paths and links are resolved as
// hive_key_paths.h says.
//
// Changes, where it was made changeable, are made in place on the image it
// owns (reads see them at once) and stay in memory until the session writes
// CommitBytes(); on an unchangeable one every change is refused as on a key
// opened without the right to change it.
class HiveRegistry : public Registry {
public:
    HiveRegistry(hive::RegfImage image, bool changeable);
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

    // Changed in memory since it was opened or last written.
    bool changed() const { return changed_; }
    // The hive with every change, as a clean primary file to write (its
    // sequence number past the one read, and so past its logs); once it is
    // written, Written().
    const std::vector<unsigned char>& CommitBytes();
    void Written() { changed_ = false; }

private:
    // The tests count the handles left open (tests/cli/hive_registry_probe.h).
    friend struct testing::HiveRegistryProbe;

    struct OpenNode {
        hive::KeyRef ref;
        bool deleted = false;
    };

    const hive::RegfImage& Image() const { return image_; }
    RegResult Resolve(KeyHandle key, OpenNode** out);
    // The subkey of exactly this name (it may hold a backslash), and whether it is a link.
    RegResult ChildNamed(KeyHandle parent, const Text& name, hive::KeyRef* from, hive::KeyRef* child, bool* link);
    RegResult DeletableValue(KeyHandle key, const Text& valueName, hive::KeyRef* owner, hive::ValueInfo* out);
    RegResult DeletableSubkey(KeyHandle key, const Text& subkeyName, hive::KeyRef* parent, hive::KeyRef* out);
    RegResult DeletableLink(KeyHandle root, const Text& path, hive::KeyRef* parent, hive::KeyRef* key);
    KeyHandle AddHandle(hive::KeyRef ref);
    const std::vector<hive::KeyRef>* Subkeys(hive::KeyRef key);
    const std::vector<hive::ValueInfo>* Values(hive::KeyRef key);
    // The dry run's answer (dryRun), else the change made.
    RegResult RemoveValue(KeyHandle key, const Text& valueName, bool dryRun);
    RegResult RemoveSubkey(KeyHandle key, const Text& subkeyName, bool dryRun);
    RegResult RemoveLink(KeyHandle root, const Text& path, bool dryRun);
    RegResult RemoveKey(RegResult found, hive::KeyRef parent, hive::KeyRef key, bool dryRun);
    // After a change: cached lists are stale, handles to a removed key dead.
    RegResult Changed(RegResult result, const hive::KeyRef* removed);

    bool changeable_;
    hive::RegfImage image_;
    hive::RegfWriter writer_{image_};
    std::map<KeyHandle, OpenNode> handles_;
    KeyHandle nextHandle_ = 0x1000;
    std::map<std::uint32_t, std::vector<hive::KeyRef>> subkeyCache_;
    std::map<std::uint32_t, std::vector<hive::ValueInfo>> valueCache_;
    bool changed_ = false;
};

}  // namespace vornex
