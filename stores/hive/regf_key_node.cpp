#include "stores/hive/regf_key_node.h"

namespace vornex::hive {

namespace {

// Offsets in the payload (of the longest subkey name's field, the low 16 bits: flags above them).
enum : std::uint32_t {
    kFlags = 2, kLastWrite = 4, kSubkeyCount = 20, kSubkeyList = 28, kValueCount = 36, kValueList = 40, kSecurity = 44,
    kClass = 48, kMaxNameLength = 52, kMaxClassLength = 56, kMaxValueNameLength = 60, kMaxValueDataLength = 64,
    kNameLength = 72, kClassLength = 74, kName = 76
};
constexpr std::uint16_t kCompressedName = 0x0020;

}  // namespace

Failure ReadKeyNode(const RegfImage& image, KeyRef key, KeyNode* out) {
    CellSpan cell;
    if (Failure failure = image.SignedCell(key.cell, "key", "nk", kName, &cell)) return failure;
    out->key = key;
    out->flags = U16(cell.data + kFlags);
    out->subkeyCount = U32(cell.data + kSubkeyCount);
    out->subkeyList = U32(cell.data + kSubkeyList);
    out->valueCount = U32(cell.data + kValueCount);
    out->valueList = U32(cell.data + kValueList);
    out->security = U32(cell.data + kSecurity);
    out->classCell = U32(cell.data + kClass);
    out->classLength = U16(cell.data + kClassLength);
    return ReadName(cell.data, cell.size, kName, U16(cell.data + kNameLength), (out->flags & kCompressedName) != 0,
                    "key " + Hex(key.cell), &out->name);
}

namespace {

// A list and its count; an emptied list also clears the two longest-length
// fields that go with it (the first of them `width` bytes wide).
void SetList(const KeyNode& key, ChangePlan* plan, const std::uint32_t (&fields)[4], std::uint32_t width,
             std::uint32_t list, std::uint32_t count) {
    plan->puts.push_back({key.key.cell, fields[0], 4, list});
    plan->puts.push_back({key.key.cell, fields[1], 4, count});
    if (count != 0) return;
    plan->puts.push_back({key.key.cell, fields[2], width, 0});
    plan->puts.push_back({key.key.cell, fields[3], 4, 0});
}

}  // namespace

void KeyNode::SetSubkeys(ChangePlan* plan, std::uint32_t list, std::uint32_t count) const {
    SetList(*this, plan, {kSubkeyList, kSubkeyCount, kMaxNameLength, kMaxClassLength}, 2, list, count);
}

void KeyNode::SetValues(ChangePlan* plan, std::uint32_t list, std::uint32_t count) const {
    SetList(*this, plan, {kValueList, kValueCount, kMaxValueNameLength, kMaxValueDataLength}, 4, list, count);
}

void KeyNode::SetLastWrite(ChangePlan* plan, std::uint64_t filetime) const {
    plan->puts.push_back({key.cell, kLastWrite, 8, filetime});
}

}  // namespace vornex::hive
