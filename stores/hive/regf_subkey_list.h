#pragma once
// Subkey lists: a leaf (li: cell offsets; lf, lh: offsets and name hashes)
// or an index root (ri: the offsets of leaves).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "stores/hive/regf_key_node.h"

namespace vornex::hive {

struct SubkeyList {
    std::uint32_t cell = 0;
    const unsigned char* data = nullptr;  // the payload
    bool indexRoot = false;
    std::uint32_t count = 0;
    std::uint32_t stride = 4;  // bytes per entry

    std::uint32_t Entry(std::size_t i) const { return U32(data + 4 + i * stride); }
    // The index of `target` among the entries, or `count`.
    std::uint32_t Find(std::uint32_t target) const;
    // The write: entry `index` gone, the entries after it moved down.
    void RemoveEntry(ChangePlan* plan, std::uint32_t index) const;
};

// The list at `cell`: a list signature, and a count its cell holds.
Failure ReadSubkeyList(const RegfImage& image, std::uint32_t cell, SubkeyList* out);

// A key's subkeys in stored order, through an index root if there is one:
// the lists' counts add up to the key's, and no subkey is listed twice or is
// the key itself.
Failure ReadSubkeys(const RegfImage& image, const KeyNode& key, std::vector<KeyRef>* out);
// The cells of a key's subkey list: the list, and the leaves of an index root.
Failure SubkeyListCells(const RegfImage& image, const KeyNode& key, std::vector<std::uint32_t>* out);

}  // namespace vornex::hive
