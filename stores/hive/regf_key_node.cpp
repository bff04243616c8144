#include "stores/hive/regf_key_node.h"

namespace vornex::hive {

namespace {

// Offsets in the payload.
constexpr std::uint32_t kFlags = 2;
constexpr std::uint32_t kLastWrite = 4;  // FILETIME
constexpr std::uint32_t kSubkeyCount = 20;
constexpr std::uint32_t kSubkeyList = 28;
constexpr std::uint32_t kValueCount = 36;
constexpr std::uint32_t kValueList = 40;
constexpr std::uint32_t kSecurity = 44;
constexpr std::uint32_t kClass = 48;
constexpr std::uint32_t kMaxNameLength = 52;  // low 16 bits; flags above them
constexpr std::uint32_t kMaxClassLength = 56;
constexpr std::uint32_t kMaxValueNameLength = 60;
constexpr std::uint32_t kMaxValueDataLength = 64;
constexpr std::uint32_t kNameLength = 72;
constexpr std::uint32_t kClassLength = 74;
constexpr std::uint32_t kName = 76;
constexpr std::uint16_t kCompressedName = 0x0020;

}  // namespace

Failure ReadKeyNode(const RegfImage& image, KeyRef key, KeyNode* out) {
    CellSpan cell;
    if (Failure failure = image.Cell(key.cell, "key", &cell)) return failure;
    if (cell.size < kName || !Signature(cell.data, "nk")) {
        return {ReadError::kBadSignature, "key " + Hex(key.cell) + " is not a key node"};
    }
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

void KeyNode::SetSubkeys(ChangePlan* plan, std::uint32_t list, std::uint32_t count) const {
    plan->puts.push_back({key.cell, kSubkeyList, 4, list});
    plan->puts.push_back({key.cell, kSubkeyCount, 4, count});
    if (count != 0) return;
    plan->puts.push_back({key.cell, kMaxNameLength, 2, 0});
    plan->puts.push_back({key.cell, kMaxClassLength, 4, 0});
}

void KeyNode::SetValues(ChangePlan* plan, std::uint32_t list, std::uint32_t count) const {
    plan->puts.push_back({key.cell, kValueList, 4, list});
    plan->puts.push_back({key.cell, kValueCount, 4, count});
    if (count != 0) return;
    plan->puts.push_back({key.cell, kMaxValueNameLength, 4, 0});
    plan->puts.push_back({key.cell, kMaxValueDataLength, 4, 0});
}

void KeyNode::SetLastWrite(ChangePlan* plan, std::uint64_t filetime) const {
    plan->puts.push_back({key.cell, kLastWrite, 8, filetime});
}

}  // namespace vornex::hive
