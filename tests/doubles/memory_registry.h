#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/registry.h"

namespace vornex {

// An in-memory registry with the Win32 contracts, for tests. Names compare
// without regard to case and keep the case they were created with; subkeys
// and values enumerate in the order they were created (the real registry's
// order is its own, so nothing may rely on one). Failures can be injected.
class MemoryRegistry : public Registry {
public:
    MemoryRegistry();
    ~MemoryRegistry() override;

    // Seeding, relative to HKEY_LOCAL_MACHINE; missing parents are created.
    void CreateKey(const Text& path);
    void SetValue(const Text& keyPath, const Text& name, std::uint32_t type,
                  std::vector<unsigned char> data);
    // A string value with its terminating NUL, as RegSetValueEx stores it.
    void SetString(const Text& keyPath, const Text& name, const Text& text,
                   std::uint32_t type = kRegSz);
    // Removes a key with everything below it (a link key itself, not its
    // target); false if there was none.
    bool RemoveTree(const Text& path);
    bool KeyExists(const Text& path) const;

    // Key security: everyone may read this key, nobody may change it (until
    // its security is taken over).
    void ProtectKey(const Text& path);
    // Key security that denies the administrators everything and lets
    // everyone else read (D:P(D;;KA;;;BA)(A;;KR;;;WD)): an elevated program's
    // plain opens are refused; a backup-intent open may read it, and a
    // takeover (an ACE for the administrators before the deny) lets it change.
    void DenyAdministrators(const Text& path);
    // Backup-intent opens fail everywhere, as under Wine.
    void RefuseBackupIntent() { backupIntentRefused_ = true; }
    // A link key at `path` (missing parents are created) pointing at
    // `targetPath`, both below HKEY_LOCAL_MACHINE; opens follow it.
    void CreateLink(const Text& path, const Text& targetPath);

    // Failure injection.
    void DenyOpen(const Text& path);            // opens of this key fail, backup intent too
    void RefuseTakeover(const Text& path);      // taking over its security fails
    // The takeover makes the administrators the owner, then fails (the DACL
    // write refused), leaving the owner changed.
    void FailTakeoverHalfWay(const Text& path);
    void RefuseDeletion(const Text& keyPath);   // deleting this key, or a value in it, fails
    void FailCall(std::uint64_t callNumber);    // the n-th call from now on fails (1 = next)
    // The n-th call from now on of one operation ("QueryInfoKey", "EnumKey",
    // ...) fails with `code` (1 = the next such call).
    void FailOperation(const std::string& operation, std::uint64_t nth, RegResult code = kRegGenFailure);

    // Observation.
    std::size_t OpenHandleCount() const { return handles_.size(); }
    std::uint64_t CallCount() const { return calls_; }
    const std::vector<std::string>& CallLog() const { return log_; }
    void ClearCallLog() { log_.clear(); }
    // Every key and value below HKEY_LOCAL_MACHINE, one per line, in a fixed
    // order: two stores with the same contents dump the same text.
    std::string Dump() const;

    RegResult OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                      KeyHandle* key) override;
    RegResult OpenKeyForBackup(KeyHandle root, const Text& path, KeyHandle* key) override;
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
    RegResult DeleteKey(KeyHandle key, const Text& subkeyName) override;
    RegResult QueryLink(KeyHandle root, const Text& path, bool* isLink, Text* target) override;
    RegResult DeleteLink(KeyHandle root, const Text& path) override;
    RegResult WouldDeleteLink(KeyHandle root, const Text& path) override;
    RegResult GetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                             std::vector<unsigned char>* descriptor) override;
    RegResult SetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                             const std::vector<unsigned char>& descriptor) override;
    RegResult TakeOverKey(KeyHandle root, const Text& path, LinkMode mode) override;

private:
    struct Node;
    using NodePtr = std::shared_ptr<Node>;

    struct Handle {
        NodePtr node;
        std::uint32_t access;
    };

    NodePtr Find(const Text& path) const;
    // Follows links on the way, and at the end unless `openLink`.
    NodePtr FindFrom(NodePtr from, const Text& path, bool openLink = false) const;
    NodePtr FollowLink(NodePtr node) const;
    static bool MayChange(const Node& node);
    static bool MayOpen(const Node& node);
    RegResult Open(const char* operation, KeyHandle root, const Text& path, std::uint32_t access, bool backupIntent,
                   KeyHandle* key);
    NodePtr CreatePath(const Text& path);
    NodePtr Resolve(KeyHandle key) const;
    RegResult Begin(const char* operation, const std::string& detail);
    static Text PathOf(const Node& node);

    NodePtr root_;
    std::map<KeyHandle, Handle> handles_;
    KeyHandle nextHandle_ = 0x1000;
    std::vector<Text> deniedOpens_;
    std::vector<Text> refusedDeletions_;
    std::vector<Text> refusedTakeovers_;
    std::vector<Text> halfTakeovers_;
    std::set<std::uint64_t> failingCalls_;
    struct OperationFailure {
        std::string operation;
        std::uint64_t remaining;  // calls of it until the failing one
        RegResult code;
    };
    std::vector<OperationFailure> failingOperations_;
    std::uint64_t calls_ = 0;
    bool backupIntentRefused_ = false;
    std::vector<std::string> log_;
};

}  // namespace vornex
