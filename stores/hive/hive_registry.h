#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/registry.h"

struct hive_h;

namespace vornex {

// An offline registry hive file (a SOFTWARE hive: its root stands for
// HKEY_LOCAL_MACHINE\SOFTWARE), read and changed through hivex with the same
// contracts as the live registry. Changes stay in memory until Commit.
//
// Damage met while reading (bad cell offsets, unreadable lists) makes the
// call fail like any registry failure, and is also remembered, so that a
// caller can tell "nothing there" from "could not read it".
class HiveRegistry : public Registry {
public:
    enum class Mode { kReadOnly, kWrite };

    // Win32 codes the store answers with, as the real registry would.
    static constexpr RegResult kFileNotFound = 2;
    static constexpr RegResult kAccessDenied = 5;
    static constexpr RegResult kInvalidHandle = 6;
    static constexpr RegResult kWriteProtect = 19;
    static constexpr RegResult kInvalidParameter = 87;
    static constexpr RegResult kMoreData = 234;
    static constexpr RegResult kNoMoreItems = 259;
    static constexpr RegResult kBadDatabase = 1009;
    static constexpr RegResult kKeyDeleted = 1018;

    // Null, with a one-line reason in *error, when the file is missing, is not
    // a hive or is damaged beyond opening.
    static std::unique_ptr<HiveRegistry> Open(const std::string& path, Mode mode,
                                              std::string* error);
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
    RegResult CloseKey(KeyHandle key) override;
    RegResult DeleteValue(KeyHandle key, const Text& valueName) override;
    RegResult DeleteKey(KeyHandle key, const Text& subkeyName) override;

    // Seeding, for fixtures: paths below HKEY_LOCAL_MACHINE, starting with
    // SOFTWARE; missing parents are created. False on failure.
    bool CreateKey(const Text& path);
    bool SetValue(const Text& keyPath, const Text& name, std::uint32_t type,
                  const std::vector<unsigned char>& data);
    // Removes a key with everything below it.
    bool RemoveTree(const Text& path);

    const std::string& path() const { return path_; }
    bool dirty() const { return dirty_; }
    // The first damage met, empty while none was.
    const std::string& damage() const { return damage_; }
    std::size_t OpenHandleCount() const { return handles_.size(); }

    // Writes the changes to the file: to a temporary file beside it that then
    // replaces it, so that a failure leaves the old file whole.
    bool Commit(std::string* error);

private:
    struct HiveCloser {
        void operator()(hive_h* hive) const;
    };
    struct Child {
        std::size_t node;
        Text name;
        bool readable;
    };
    struct ValueEntry {
        std::size_t value;
        Text name;
        bool readable;
    };
    struct OpenNode {
        std::size_t node;
        bool deleted = false;
    };

    HiveRegistry(std::unique_ptr<hive_h, HiveCloser> hive, std::string path, Mode mode);

    RegResult Resolve(KeyHandle key, OpenNode** out);
    // The node at a path of key names below `from`, or 0.
    std::size_t Walk(std::size_t from, const Text& path, RegResult* result);
    std::size_t FindChild(std::size_t parent, const Text& name, RegResult* result);
    // Lists of a node, read once and kept until the hive changes; null when
    // the node cannot be read (damage, noted).
    const std::vector<Child>* Children(std::size_t node);
    const std::vector<ValueEntry>* Values(std::size_t node);
    bool IsWithin(std::size_t node, std::size_t ancestor);
    std::size_t SoftwarePath(const Text& path, bool create);
    void NoteDamage(const std::string& what);
    void Changed();

    std::unique_ptr<hive_h, HiveCloser> hive_;
    std::string path_;
    Mode mode_;
    std::size_t root_;
    std::map<KeyHandle, OpenNode> handles_;
    KeyHandle nextHandle_ = 0x1000;
    std::map<std::size_t, std::vector<Child>> childCache_;
    std::map<std::size_t, std::vector<ValueEntry>> valueCache_;
    bool dirty_ = false;
    std::string damage_;
};

}  // namespace vornex
