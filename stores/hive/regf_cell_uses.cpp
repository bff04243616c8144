// The reference count of every cell, walked once from the root, and the
// cells a value's data and a key's subkey list occupy.
#include <memory>
#include <utility>

#include "stores/hive/regf_edit.h"

namespace vornex::hive {

using namespace layout;

namespace {

// A cell listed twice is counted twice: a change that would free it is then
// refused as shared, like any cell two things use.
bool Counted(const Failure& failure) { return !failure || failure.error == ReadError::kDuplicate; }

}  // namespace

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
    RegfEdit::BigData big;
    if (Failure failure = RegfEdit::ReadBigData(image, dataCell, length, &big); !Counted(failure)) return failure;
    out->push_back(big.list);
    out->insert(out->end(), big.segments.begin(), big.segments.end());
    return {};
}

Failure SubkeyListCells(const RegfImage& image, const RegfEdit::KeyNode& node, std::vector<std::uint32_t>* out) {
    out->clear();
    if (node.subkeyCount == 0) return {};
    RegfEdit::Span list;
    if (Failure failure = RegfEdit::Cell(image, node.subkeyList, "subkey list", &list)) return failure;
    out->push_back(node.subkeyList);
    if (list.size < kListEntries || !Signature(list.data, "ri")) return {};
    std::vector<std::uint32_t> leaves;
    if (Failure failure = RegfEdit::ReadIndexRoot(image, node.subkeyList, list, &leaves); !Counted(failure)) {
        return failure;
    }
    out->insert(out->end(), leaves.begin(), leaves.end());
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
