#pragma once
#include "cli/forwarding_registry.h"

namespace vornex::cli {

// A registry in which opens of one key path (and the paths below it) from
// HKEY_LOCAL_MACHINE reach another key: the window's scan, unchanged, run
// over the 32-bit view's IFEO key.
class RemappedRegistry : public ForwardingRegistry {
public:
    RemappedRegistry(Registry& inner, Text from, Text to)
        : ForwardingRegistry(inner), from_(std::move(from)), to_(std::move(to)) {}

    RegResult OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                      KeyHandle* key) override;
    // Reads only: the 32-bit view is reported, not repaired.
    RegResult DeleteValue(KeyHandle, const Text&) override { return 5; }
    RegResult DeleteKey(KeyHandle, const Text&) override { return 5; }

private:
    Text from_;
    Text to_;
};

}  // namespace vornex::cli
