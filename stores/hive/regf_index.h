#pragma once
// The lookup index behind FindSubkey: one per subkey list, sorted by the
// registry's name order. Internal to the regf reader.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "stores/hive/regf_image.h"

namespace vornex::hive {

struct RegfImage::SubkeyIndex {
    struct Entry {
        std::uint32_t cell;
        NameView name;  // points into the image
    };
    std::vector<Entry> byName;  // sorted by name, stored order among equals
    std::size_t unreadable = 0;
    Failure firstUnreadable;
};

// Indexes by parent key cell. The entries held are capped in proportion to
// the image, so that a hive built to make many keys share one long list
// cannot grow the cache beyond that: past the cap the cache starts over.
struct RegfImage::IndexCache {
    std::unordered_map<std::uint32_t, std::shared_ptr<const SubkeyIndex>> byParent;
    std::size_t entries = 0;
    std::size_t capacity = 0;
};

}  // namespace vornex::hive
