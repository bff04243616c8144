#pragma once
// A value ("vk") and a key's value list (the offsets of its vk cells).
#include <cstdint>
#include <vector>

#include "stores/hive/regf_key_node.h"

namespace vornex::hive {

struct ValueNode {
    std::uint32_t cell = 0;
    NameView name;
    std::uint32_t type = 0;
    std::uint32_t length = 0;   // bytes of data claimed, the inline flag cleared
    bool inlineData = false;    // the data (at most 4 bytes) lies in `dataField` itself
    const unsigned char* dataField = nullptr;

    std::uint32_t DataCell() const { return U32(dataField); }
};

// The value at `cell`: an allocated cell with the "vk" signature, large
// enough for its fixed part and its name.
Failure ReadValueNode(const RegfImage& image, std::uint32_t cell, ValueNode* out);

// The key's value list as its count says, checked to fit the list's cell.
Failure ReadValueList(const RegfImage& image, const KeyNode& key, std::vector<std::uint32_t>* out);
// The write: entry `index` gone from a list of `count`, the rest moved down.
void CutValueListEntry(ChangePlan* plan, std::uint32_t list, std::uint32_t index, std::uint32_t count);

}  // namespace vornex::hive
