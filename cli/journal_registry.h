#pragma once
#include <map>
#include <vector>

#include "cli/forwarding_registry.h"

namespace vornex::cli {

// Passes every call through to a registry and keeps a journal of the
// deletions made. In dry-run mode a deletion is not made: it is checked the
// way the registry would check it (the value or key exists; a key has no
// subkeys), answered as the registry would answer, and journaled.
class JournalRegistry : public ForwardingRegistry {
public:
    struct Change {
        bool deleteKey;  // else a value
        Text key;        // the key deleted, or the key holding the value
        Text value;
        RegResult result;
    };

    JournalRegistry(Registry& inner, bool dryRun) : ForwardingRegistry(inner), dryRun_(dryRun) {}

    // Deletions that succeeded (or, in dry-run mode, would succeed).
    std::vector<Change> Done() const;
    // The first deletion that failed, if any.
    const Change* FirstFailure() const;

    RegResult OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                      KeyHandle* key) override;
    RegResult CloseKey(KeyHandle key) override;
    RegResult DeleteValue(KeyHandle key, const Text& valueName) override;
    RegResult DeleteKey(KeyHandle key, const Text& subkeyName) override;

private:
    Text PathOf(KeyHandle key) const;
    RegResult WouldDeleteValue(KeyHandle key, const Text& valueName);
    RegResult WouldDeleteKey(KeyHandle key, const Text& subkeyName);

    bool dryRun_;
    std::map<KeyHandle, Text> paths_;
    std::vector<Change> journal_;
};

}  // namespace vornex::cli
