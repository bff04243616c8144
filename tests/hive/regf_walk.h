#pragma once
#include <cstddef>
#include <functional>
#include <string>

#include "stores/hive/regf_image.h"

namespace vornex::hive {

// What a whole-tree walk meets. Any callback may be empty.
struct WalkEvents {
    // Each key reachable from the root, once, parents before children.
    std::function<void(KeyRef key, std::size_t depth)> onKey;
    // A key reached again through another list: a cycle, or a subtree that
    // two parents share. It is not walked a second time.
    std::function<void(KeyRef parent, KeyRef again)> onRepeat;
    // A key whose subkeys could not be listed.
    std::function<void(KeyRef key, ReadError error, const std::string& where)> onDamage;
};

struct WalkCounts {
    std::size_t keys = 0;
    std::size_t repeats = 0;
    std::size_t damaged = 0;
};

// Depth-first from the root, without recursion; every key is listed at most
// once, so a hive of any shape is walked in time linear in its keys.
WalkCounts WalkKeys(const RegfImage& image, const WalkEvents& events);

}  // namespace vornex::hive
