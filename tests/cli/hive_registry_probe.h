#pragma once
#include <cstddef>

#include "stores/hive/hive_registry.h"

namespace vornex::testing {

// What the tests see of a hive registry beyond its interface: the handles
// still open, so that a test can tell a key left open.
struct HiveRegistryProbe {
    static std::size_t OpenHandleCount(const HiveRegistry& registry) { return registry.handles_.size(); }
};

}  // namespace vornex::testing
