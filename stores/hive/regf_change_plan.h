#pragma once
// A change to the hive bins, planned in full before any byte of it is
// written: writes into cells that stay (made by the structures' setters),
// cells freed, cells another key still uses, new cells. RegfImage::Check
// refuses a plan that writes outside its cells or frees a cell twice.
#include <cstdint>
#include <vector>

#include "stores/hive/regf_image.h"
#include "stores/hive/regf_layout.h"

namespace vornex::hive {

struct ChangePlan {
    struct Put {
        std::uint32_t cell;    // the cell written into
        std::uint32_t offset;  // from the cell's payload
        std::uint32_t width;   // 2, 4 or 8 bytes
        std::uint64_t value;
    };
    // Removes `removed` bytes at `offset` by moving the `tail` bytes after
    // them down; the bytes vacated at the end are zeroed.
    struct Cut {
        std::uint32_t cell;
        std::uint32_t offset;
        std::uint32_t removed;
        std::uint32_t tail;
    };
    // A new cell taken from free room in the bins (planned: `cell` is free
    // and at least `size` bytes), written with these 4-byte entries.
    struct Allocation {
        std::uint32_t cell;
        std::uint32_t size;  // the cell's size, header included
        std::vector<std::uint32_t> entries;
    };
    std::vector<Put> puts;
    std::vector<Cut> cuts;
    std::vector<std::uint32_t> frees;
    // Cells that lose one reference and stay: another key still uses them.
    std::vector<std::uint32_t> drops;
    std::vector<Allocation> allocations;
    std::uint32_t releasedSecurity = kNoCell;  // an sk that loses one user and stays
    KeyRef parent{kNoCell};                    // a subkey gone from this parent's list...
    KeyRef removedKey{kNoCell};                // ...this one
};

}  // namespace vornex::hive
