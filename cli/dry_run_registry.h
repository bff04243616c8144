#pragma once
#include "cli/forwarding_registry.h"

namespace vornex::cli {

// Passes every read through and makes no deletion: each one is checked the
// way the registry would check it (the value or key exists; a key has no
// subkeys) and answered as the registry would answer.
class DryRunRegistry : public ForwardingRegistry {
public:
    using ForwardingRegistry::ForwardingRegistry;

    RegResult DeleteValue(KeyHandle key, const Text& valueName) override;
    RegResult DeleteKey(KeyHandle key, const Text& subkeyName) override;
};

}  // namespace vornex::cli
