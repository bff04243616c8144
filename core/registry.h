#pragma once
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "core/reg_result.h"
#include "core/text.h"

namespace vornex {

// An opaque key handle; a predefined root or one that OpenKey returned.
using KeyHandle = std::uintptr_t;
constexpr KeyHandle kLocalMachine = 0x80000002u;
constexpr std::uint32_t kKeyAllAccess = 0x2003F;
// Reading only: query values, enumerate subkeys, notify, read the security.
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kRegSz = 1;
// A link key's SymbolicLinkValue: the absolute name of the key it points at.
constexpr std::uint32_t kRegLink = 6;

// Which key a path ending in a registry link names: the key it points at
// (what every plain open reaches) or the link key itself.
enum class LinkMode { kFollow, kLinkItself };

// A key name with a backslash inside: a path would split it, so it names no
// key through a path (the loader, which looks an image's name up, never meets one).
inline bool HoldsSeparator(const Text& name) { return name.find(u'\\') != Text::npos; }

// The registry operations the program uses, with the Win32 contracts:
// names come back NUL-terminated in buffers of a given capacity (characters,
// NUL included), lengths come back without the NUL, data sizes are bytes, and
// enumeration runs by index from 0 until the first failure.
class Registry {
public:
    virtual ~Registry() = default;

    virtual RegResult OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                              KeyHandle* key) = 0;
    // Opens root\path for reading with backup intent: past a DACL that
    // refuses reading, where the platform grants that to a backup program.
    // The key opened may only be read; nothing changes. Stores without key
    // security answer kRegNotSupported.
    virtual RegResult OpenKeyForBackup(KeyHandle root, const Text& path, KeyHandle* key);
    // Opens the subkey of exactly this name below an open key, walking no
    // path. Only an offline hive can hold a name with a backslash inside; the
    // live registry splits every path at each one, so by default such a name
    // is kRegBadPathname. A store that can hold one opens that very key, and
    // refuses it (kRegCantResolveFilename) when it is a link.
    virtual RegResult OpenSubkey(KeyHandle parent, const Text& name, std::uint32_t access, KeyHandle* key);
    // Either receiver may be null.
    virtual RegResult QueryInfoKey(KeyHandle key, std::uint32_t* subkeyCount,
                                   std::uint32_t* maxSubkeyNameLength) = 0;
    // nameLength: in, the buffer's capacity; out, the name's length.
    virtual RegResult EnumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                              std::uint32_t* nameLength) = 0;
    // nameLength as for EnumKey. data may be null to ask for the size only;
    // dataSize: in, the data buffer's capacity in bytes; out, the data's size.
    virtual RegResult EnumValue(KeyHandle key, std::uint32_t index, char16_t* name,
                                std::uint32_t* nameLength, std::uint32_t* type,
                                unsigned char* data, std::uint32_t* dataSize) = 0;
    // Reads the value of this name (compared without case), like
    // RegQueryValueEx: data may be null to ask for the size only. The default
    // finds it by enumeration; stores that can look a name up override it.
    virtual RegResult QueryValue(KeyHandle key, const Text& valueName, std::uint32_t* type,
                                 unsigned char* data, std::uint32_t* dataSize);
    // The key's class name, as RegQueryInfoKey gives it; empty for none.
    // Stores without class names answer an empty one.
    virtual RegResult QueryKeyClass(KeyHandle key, Text* className);
    virtual RegResult CloseKey(KeyHandle key) = 0;
    virtual RegResult DeleteValue(KeyHandle key, const Text& valueName) = 0;
    // Deletes the subkey of exactly this name, when it has no subkeys of its
    // own. Like RegDeleteKeyEx, a subkey that is a link is followed: the key
    // it points at goes. A name no path can reach (HoldsSeparator) is refused
    // with kRegBadPathname by stores that cannot name it as one key.
    virtual RegResult DeleteKey(KeyHandle key, const Text& subkeyName) = 0;

    // What DeleteValue / DeleteKey would answer, changing nothing: for a dry
    // run that must promise only what the real run does. The defaults check
    // what every store checks (the value or key exists, the key has no
    // subkeys and may be deleted); a store with limits of its own adds them.
    virtual RegResult WouldDeleteValue(KeyHandle key, const Text& valueName);
    virtual RegResult WouldDeleteKey(KeyHandle key, const Text& subkeyName);
    // What DeleteLink would answer: by default, whether root\path is a link.
    virtual RegResult WouldDeleteLink(KeyHandle root, const Text& path);

    // Registry links (REG_OPTION_CREATE_LINK keys, target in SymbolicLinkValue).
    // Whether root\path is itself a link, not following it; *target gets the
    // link's target as stored. Stores without links answer "not a link".
    virtual RegResult QueryLink(KeyHandle root, const Text& path, bool* isLink, Text* target);
    // Deletes the link key root\path itself; the key it points at stays.
    virtual RegResult DeleteLink(KeyHandle root, const Text& path);

    // Key security primitives, for a change that the key's own security
    // refuses; the core's takeover (core/key_takeover.h) is their one user.
    // The descriptor is self-relative, as GetKeySecurity gives it, and
    // SetKeySecurity writes it back; whether it reads back equal is the
    // caller's to check. Stores without security answer kRegCallNotImplemented.
    virtual RegResult GetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                                     std::vector<unsigned char>* descriptor);
    virtual RegResult SetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                                     const std::vector<unsigned char>& descriptor);
    // Gives the administrators full control of this one key, taking its
    // ownership first where that is needed. Nothing else's security changes,
    // and nothing is put back: a failure may leave the owner changed.
    virtual RegResult TakeOverKey(KeyHandle root, const Text& path, LinkMode mode);
};

// Owns one opened key and closes it when it goes out of scope.
class UniqueKey {
public:
    explicit UniqueKey(Registry& registry) : registry_(&registry) {}
    UniqueKey(UniqueKey&& other) noexcept
        : registry_(other.registry_), key_(std::exchange(other.key_, 0)) {}
    UniqueKey& operator=(UniqueKey&& other) noexcept {
        if (this != &other) {
            Reset();
            registry_ = other.registry_;
            key_ = std::exchange(other.key_, 0);
        }
        return *this;
    }
    UniqueKey(const UniqueKey&) = delete;
    UniqueKey& operator=(const UniqueKey&) = delete;
    ~UniqueKey() { Reset(); }

    // Opens root\path; the registry's result code.
    RegResult TryOpen(KeyHandle root, const Text& path, std::uint32_t access) {
        Reset();
        KeyHandle opened = 0;
        const RegResult result = registry_->OpenKey(root, path, access, &opened);
        if (result == kRegOk) key_ = opened;
        return result;
    }
    bool Open(KeyHandle root, const Text& path, std::uint32_t access) {
        return TryOpen(root, path, access) == kRegOk;
    }
    // Opens the subkey of exactly this name below parent: by its one-name
    // path where it has no backslash (backup intent too, for reading), else
    // through the store's exact lookup, which no path can shortcut.
    RegResult TryOpenChild(KeyHandle parent, const Text& name, std::uint32_t access) {
        if (!HoldsSeparator(name)) return access == kKeyRead ? TryOpenToRead(parent, name) : TryOpen(parent, name, access);
        Reset();
        KeyHandle opened = 0;
        const RegResult result = registry_->OpenSubkey(parent, name, access, &opened);
        if (result == kRegOk) key_ = opened;
        return result;
    }
    // Opens root\path for reading; where its security refuses that, once more
    // with backup intent. A key that still refuses gives the first refusal.
    RegResult TryOpenToRead(KeyHandle root, const Text& path) {
        const RegResult plain = TryOpen(root, path, kKeyRead);
        if (plain != kRegAccessDenied) return plain;
        KeyHandle opened = 0;
        if (registry_->OpenKeyForBackup(root, path, &opened) != kRegOk) return plain;
        key_ = opened;
        return kRegOk;
    }
    void Reset() {
        if (key_ != 0) registry_->CloseKey(key_);
        key_ = 0;
    }
    KeyHandle get() const { return key_; }
    explicit operator bool() const { return key_ != 0; }

private:
    Registry* registry_;
    KeyHandle key_ = 0;
};

// How many subkeys parent\name has, when it opens for reading and says:
// the registry refuses to delete a key with subkeys, whatever its security.
std::optional<std::uint32_t> SubkeyCount(Registry& registry, KeyHandle parent, const Text& name);

}  // namespace vornex
