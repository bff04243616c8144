#pragma once
// A key node ("nk"): counts and cells of its subkeys and values, its
// security descriptor and class name, then its name.
#include <cstdint>

#include "stores/hive/regf_change_plan.h"
#include "stores/hive/regf_name.h"

namespace vornex::hive {

struct KeyNode {
    static constexpr std::uint16_t kSymbolicLink = 0x0010;

    KeyRef key;
    std::uint16_t flags = 0;
    std::uint32_t subkeyCount = 0;
    std::uint32_t subkeyList = 0;
    std::uint32_t valueCount = 0;
    std::uint32_t valueList = 0;
    std::uint32_t security = 0;
    std::uint32_t classCell = 0;
    std::uint16_t classLength = 0;
    NameView name;

    // The writes a change makes to a key. An emptied list also clears the
    // longest-name fields that go with it, as Windows does.
    void SetSubkeys(ChangePlan* plan, std::uint32_t list, std::uint32_t count) const;
    void SetValues(ChangePlan* plan, std::uint32_t list, std::uint32_t count) const;
    void SetLastWrite(ChangePlan* plan, std::uint64_t filetime) const;
};

// The key node at key.cell: an allocated cell with the "nk" signature, large
// enough for its fixed part and its name.
Failure ReadKeyNode(const RegfImage& image, KeyRef key, KeyNode* out);

}  // namespace vornex::hive
