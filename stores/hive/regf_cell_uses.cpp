// The reference count of every cell, walked once from the root, and the
// cells a value's data and a key's subkey list occupy.
#include <memory>
#include <utility>

#include "stores/hive/regf_edit.h"

namespace vornex::hive {

using namespace layout;

Failure ValueDataCells(const RegfImage& image, std::uint32_t valueCell, std::vector<std::uint32_t>* out) {
    out->clear();
    RegfEdit::ValueNode value;
    if (Failure failure = RegfEdit::ReadValue(image, valueCell, &value)) return failure;
    const std::uint32_t length = value.dataSize & ~kDataInline;
    const std::uint32_t dataCell = U32(value.dataOffsetField);
    if ((value.dataSize & kDataInline) != 0 || dataCell == kNoCell) return {};
    // Empty data may still name a cell; it is this value's only when allocated.
    if (length == 0) {
        if (RegfEdit::IsCellStart(image, dataCell)) out->push_back(dataCell);
        return {};
    }
    RegfEdit::Span cell;
    if (Failure failure = RegfEdit::Cell(image, dataCell, "value data", &cell)) return failure;
    out->push_back(dataCell);
    if (!IsBigData(length, image.Header().minorVersion)) return {};
    if (cell.size < kBigHeaderSize || !Signature(cell.data, "db")) {
        return {ReadError::kBadSignature, "big data " + Hex(dataCell) + " has no db signature"};
    }
    const std::uint32_t count = U16(cell.data + kBigSegmentCount);
    if (count < (length + kBigSegmentSize - 1) / kBigSegmentSize) {
        return {ReadError::kTooLarge, "big data " + Hex(dataCell) + " has too few segments"};
    }
    const std::uint32_t listCell = U32(cell.data + kBigSegmentList);
    RegfEdit::Span list;
    if (Failure failure = RegfEdit::Cell(image, listCell, "big data segment list", &list)) return failure;
    if (list.size / 4 < count) {
        return {ReadError::kBadList, "big data segment list " + Hex(listCell) + " holds fewer than " +
                                         std::to_string(count) + " segments"};
    }
    out->push_back(listCell);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t segment = U32(list.data + 4 * i);
        RegfEdit::Span ignored;
        if (Failure failure = RegfEdit::Cell(image, segment, "big data segment", &ignored)) return failure;
        out->push_back(segment);
    }
    return {};
}

Failure SubkeyListCells(const RegfImage& image, const RegfEdit::KeyNode& node, std::vector<std::uint32_t>* out) {
    out->clear();
    if (node.subkeyCount == 0) return {};
    RegfEdit::Span list;
    if (Failure failure = RegfEdit::Cell(image, node.subkeyList, "subkey list", &list)) return failure;
    out->push_back(node.subkeyList);
    if (list.size < kListEntries || !Signature(list.data, "ri")) return {};
    const std::size_t count = U16(list.data + kListCount);
    if (count > (list.size - kListEntries) / 4) {
        return {ReadError::kBadList, "index root " + Hex(node.subkeyList) + " claims more lists than its cell holds"};
    }
    for (std::size_t i = 0; i < count; ++i) out->push_back(U32(list.data + kListEntries + 4 * i));
    return {};
}

namespace {

// What the walk cannot read stays uncounted: a change that needs one of
// those cells finds it reached by nothing and is refused (SoleUse).
void CountKey(const RegfImage& image, KeyRef key, RegfEdit::CellUses& uses, std::vector<KeyRef>& pending) {
    RegfEdit::KeyNode node;
    if (RegfEdit::ReadKey(image, key, &node)) return;
    if (node.security != kNoCell) uses.Add(node.security);
    if (node.classLength > 0) uses.Add(node.classCell);
    std::vector<std::uint32_t> cells;
    SubkeyListCells(image, node, &cells);
    for (const std::uint32_t cell : cells) uses.Add(cell);
    std::vector<KeyRef> subkeys;
    RegfEdit::Subkeys(image, key, node, &subkeys);
    for (const KeyRef subkey : subkeys) {
        if (uses.Add(subkey.cell)) pending.push_back(subkey);
    }
    if (node.valueCount != 0) uses.Add(node.valueList);
    RegfEdit::ValueList(image, key, node, &cells);
    std::vector<std::uint32_t> data;
    for (const std::uint32_t value : cells) {
        if (!uses.Add(value)) continue;
        ValueDataCells(image, value, &data);
        for (const std::uint32_t cell : data) uses.Add(cell);
    }
}

}  // namespace

RegfEdit::CellUses& RegfEdit::Uses(RegfImage& image) {
    if (image.uses_) return *image.uses_;
    auto uses = std::make_unique<CellUses>();
    uses->refs.assign(image.Header().binsSize / kCellAlignment + 1, 0);
    std::vector<KeyRef> pending{image.Root()};
    uses->Add(image.Root().cell);
    while (!pending.empty()) {
        const KeyRef key = pending.back();
        pending.pop_back();
        CountKey(image, key, *uses, pending);
    }
    image.uses_ = std::move(uses);
    return *image.uses_;
}

}  // namespace vornex::hive
