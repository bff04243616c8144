#include "stores/hive/regf_value_node.h"

namespace vornex::hive {

namespace {

enum : std::uint32_t { kNameLength = 2, kDataSize = 4, kDataOffset = 8, kType = 12, kFlags = 16, kName = 20 };
constexpr std::uint16_t kCompressedName = 0x0001;
constexpr std::uint32_t kDataInline = 0x80000000u;

}  // namespace

Failure ReadValueNode(const RegfImage& image, std::uint32_t cellOffset, ValueNode* out) {
    CellSpan cell;
    if (Failure failure = image.SignedCell(cellOffset, "value", "vk", kName, &cell)) return failure;
    const std::uint32_t dataSize = U32(cell.data + kDataSize);
    out->cell = cellOffset;
    out->type = U32(cell.data + kType);
    out->length = dataSize & ~kDataInline;
    out->inlineData = (dataSize & kDataInline) != 0;
    out->dataField = cell.data + kDataOffset;
    return ReadName(cell.data, cell.size, kName, U16(cell.data + kNameLength),
                    (U16(cell.data + kFlags) & kCompressedName) != 0, "value " + Hex(cellOffset), &out->name);
}

Failure ReadValueList(const RegfImage& image, const KeyNode& key, std::vector<std::uint32_t>* out) {
    out->clear();
    if (key.valueCount == 0) return {};
    CellSpan list;
    if (Failure failure = image.Cell(key.valueList, "value list", &list)) return failure;
    if (key.valueCount > list.size / 4) {
        return {ReadError::kBadList, "key " + Hex(key.key.cell) + " counts " + std::to_string(key.valueCount) +
                                         " values, its list " + Hex(key.valueList) + " holds " +
                                         std::to_string(list.size / 4)};
    }
    out->resize(key.valueCount);
    for (std::size_t i = 0; i < out->size(); ++i) (*out)[i] = U32(list.data + 4 * i);
    return {};
}

void CutValueListEntry(ChangePlan* plan, std::uint32_t list, std::uint32_t index, std::uint32_t count) {
    plan->cuts.push_back({list, 4 * index, 4, 4 * (count - 1 - index)});
}

}  // namespace vornex::hive
