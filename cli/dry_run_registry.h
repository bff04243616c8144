#pragma once
#include <map>
#include <vector>

#include "cli/forwarding_registry.h"

namespace vornex::cli {

// Passes every read through and changes nothing: each deletion is checked
// the way the registry would check it (the value or key exists, the key may
// be deleted, it has no subkeys) and answered as the registry would answer;
// a takeover of a key's security is assumed to succeed, so that what follows
// it is checked as the real run would make it.
class DryRunRegistry : public ForwardingRegistry {
public:
    using ForwardingRegistry::ForwardingRegistry;

    RegResult OpenKey(KeyHandle root, const Text& path, std::uint32_t access, KeyHandle* key) override;
    RegResult CloseKey(KeyHandle key) override;
    RegResult DeleteValue(KeyHandle key, const Text& valueName) override;
    RegResult DeleteKey(KeyHandle key, const Text& subkeyName) override;
    RegResult DeleteLink(KeyHandle root, const Text& path) override;
    RegResult SetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                             const std::vector<unsigned char>& descriptor) override;
    RegResult TakeOverKey(KeyHandle root, const Text& path, LinkMode mode) override;

private:
    bool TakenOver(const Text& path) const;
    // root\path as a path below HKEY_LOCAL_MACHINE; empty when root is unknown.
    Text FullPath(KeyHandle root, const Text& path) const;

    std::vector<Text> takenOver_;        // below HKEY_LOCAL_MACHINE
    std::map<KeyHandle, Text> opened_;   // the paths of the keys open now
};

}  // namespace vornex::cli
