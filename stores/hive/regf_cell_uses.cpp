// The reference count of every cell, walked once from the root, and the
// cells a value's data occupies.
#include "stores/hive/regf_big_data.h"
#include "stores/hive/regf_edit.h"
#include "stores/hive/regf_subkey_list.h"
#include "stores/hive/regf_value_node.h"

namespace vornex::hive {

Failure ValueDataCells(const RegfImage& image, std::uint32_t valueCell, std::vector<std::uint32_t>* out) {
    out->clear();
    ValueNode value;
    if (Failure failure = ReadValueNode(image, valueCell, &value)) return failure;
    if (value.inlineData || value.DataCell() == kNoCell) return {};
    // Empty data may still name a cell; it is this value's only when allocated.
    if (value.length == 0) {
        if (image.IsCellStart(value.DataCell())) out->push_back(value.DataCell());
        return {};
    }
    CellSpan cell;
    if (Failure failure = image.Cell(value.DataCell(), "value data", &cell)) return failure;
    out->push_back(value.DataCell());
    if (!IsBigData(value.length, image.Base().minor)) return {};
    BigData big;
    // A segment listed twice is counted twice: a change that would free it
    // is then refused as shared, like any cell two things use.
    const Failure failure = ReadBigData(image, value.DataCell(), value.length, &big);
    if (failure && failure.error != ReadError::kDuplicate) return failure;
    out->push_back(big.list);
    out->insert(out->end(), big.segments.begin(), big.segments.end());
    return {};
}

namespace {

void CountKey(const RegfImage& image, KeyRef key, CellUses& uses, std::vector<KeyRef>& pending) {
    KeyNode node;
    if (ReadKeyNode(image, key, &node)) return;
    if (node.security != kNoCell) uses.Add(node.security);
    if (node.classLength > 0) uses.Add(node.classCell);
    std::vector<std::uint32_t> cells;
    SubkeyListCells(image, node, &cells);
    for (const std::uint32_t cell : cells) uses.Add(cell);
    std::vector<KeyRef> subkeys;
    ReadSubkeys(image, node, &subkeys);
    for (const KeyRef subkey : subkeys) {
        if (uses.Add(subkey.cell)) pending.push_back(subkey);
    }
    if (node.valueCount != 0) uses.Add(node.valueList);
    ReadValueList(image, node, &cells);
    std::vector<std::uint32_t> data;
    for (const std::uint32_t value : cells) {
        if (!uses.Add(value)) continue;
        ValueDataCells(image, value, &data);
        for (const std::uint32_t cell : data) uses.Add(cell);
    }
}

}  // namespace

CellUses CellUses::Count(const RegfImage& image) {
    CellUses uses;
    uses.refs.assign(image.Base().hiveBinsSize / kCellAlignment + 1, 0);
    std::vector<KeyRef> pending{image.Root()};
    uses.Add(image.Root().cell);
    while (!pending.empty()) {
        const KeyRef key = pending.back();
        pending.pop_back();
        CountKey(image, key, uses, pending);
    }
    return uses;
}

void CellUses::Update(const ChangePlan& plan) {
    for (const ChangePlan::Allocation& allocation : plan.allocations) {
        Add(allocation.cell);
        for (const std::uint32_t entry : allocation.entries) Add(entry);
    }
    for (const std::uint32_t cell : plan.drops) Drop(cell);
    for (const std::uint32_t cell : plan.frees) refs[cell / kCellAlignment] = 0;
    if (plan.releasedSecurity != kNoCell) Drop(plan.releasedSecurity);
}

}  // namespace vornex::hive
