#pragma once
// The lookup index behind FindSubkey: one per parent key, its subkeys'
// names upper-cased once and sorted, so that each lookup is a binary search
// of plain unit comparisons. Internal to the regf reader.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "stores/hive/regf_image.h"

namespace vornex::hive {

struct RegfImage::SubkeyIndex {
    struct Entry {
        std::uint32_t cell;
        std::uint32_t at;      // the upper-cased name in `names`
        std::uint32_t length;
    };
    std::u16string names;       // every upper-cased name, one after another
    std::vector<Entry> byName;  // sorted by name, stored order among equals
    std::size_t unreadable = 0;
    Failure firstUnreadable;

    std::u16string_view Name(const Entry& entry) const { return {names.data() + entry.at, entry.length}; }
    std::size_t Bytes() const { return names.size() * sizeof(char16_t) + byName.size() * sizeof(Entry); }
};

// Indexes by parent key cell, holding at most about twice the image in
// bytes: a hive built to make many keys share one long list cannot grow the
// cache past that; beyond it the cache starts over.
struct RegfImage::IndexCache {
    std::unordered_map<std::uint32_t, std::shared_ptr<const SubkeyIndex>> byParent;
    std::size_t bytes = 0;
    std::size_t capacity = 0;
};

}  // namespace vornex::hive
