// Value lists, lookup by name and value data (inline, one cell, big data).
#include <algorithm>
#include <utility>

#include "stores/hive/regf_big_data.h"
#include "stores/hive/regf_value_node.h"

namespace vornex::hive {

Result<std::vector<ValueInfo>> RegfImage::Values(KeyRef key) const {
    using R = Result<std::vector<ValueInfo>>;
    KeyNode node;
    if (Failure failure = ReadKeyNode(*this, key, &node)) return R::From(std::move(failure));
    std::vector<std::uint32_t> cells;
    if (Failure failure = ReadValueList(*this, node, &cells)) return R::From(std::move(failure));
    // A repeated cell would repeat its name: refused before any is copied.
    if (const std::uint32_t repeat = FirstDuplicate(cells); repeat != kNoCell) {
        return R::From({ReadError::kDuplicate, "key " + Hex(key.cell) + " lists value " + Hex(repeat) + " twice"});
    }
    std::vector<ValueInfo> values;
    values.reserve(cells.size());
    for (const std::uint32_t cell : cells) {
        ValueNode value;
        if (Failure failure = ReadValueNode(*this, cell, &value)) return R::From(std::move(failure));
        values.push_back({value.name.Decode(), value.type, value.length, cell});
    }
    return R::Of(std::move(values));
}

Result<std::optional<ValueInfo>> RegfImage::FindValue(KeyRef key, const std::u16string& name) const {
    using R = Result<std::optional<ValueInfo>>;
    KeyNode node;
    if (Failure failure = ReadKeyNode(*this, key, &node)) return R::From(std::move(failure));
    std::vector<std::uint32_t> cells;
    if (Failure failure = ReadValueList(*this, node, &cells)) return R::From(std::move(failure));
    Failure firstUnreadable;
    std::size_t unreadable = 0;
    // Stored order, first match: how the registry itself looks a value up.
    for (const std::uint32_t cell : cells) {
        ValueNode value;
        if (Failure failure = ReadValueNode(*this, cell, &value)) {
            if (unreadable++ == 0) firstUnreadable = std::move(failure);
            continue;
        }
        if (value.name.Equals(name)) {
            return R::Of(ValueInfo{value.name.Decode(), value.type, value.length, cell});
        }
    }
    if (unreadable != 0) {
        firstUnreadable.where = "no readable value of that name, and " + std::to_string(unreadable) +
                                " unreadable: " + firstUnreadable.where;
        return R::From(std::move(firstUnreadable));
    }
    return R::Of(std::nullopt);
}

Result<std::vector<unsigned char>> RegfImage::ValueData(const ValueInfo& info) const {
    using R = Result<std::vector<unsigned char>>;
    ValueNode value;
    if (Failure failure = ReadValueNode(*this, info.cell, &value)) return R::From(std::move(failure));
    const std::uint32_t length = value.length;
    if (value.inlineData) {
        if (length > 4) {
            return R::From({ReadError::kTooLarge, "value " + Hex(info.cell) + " claims " + std::to_string(length) +
                                                      " inline bytes, the field holds 4"});
        }
        return R::Of(std::vector<unsigned char>(value.dataField, value.dataField + length));
    }
    if (length == 0) return R::Of({});
    if (IsBigData(length, base_.minor)) {
        BigData big;
        if (Failure failure = ReadBigData(*this, value.DataCell(), length, &big)) return R::From(std::move(failure));
        return R::Of(BigDataBytes(big, length));
    }
    CellSpan cell;
    if (Failure failure = Cell(value.DataCell(), "value data", &cell)) return R::From(std::move(failure));
    if (length > cell.size) {
        return R::From({ReadError::kTooLarge, "value " + Hex(info.cell) + " claims " + std::to_string(length) +
                                                  " bytes, its data cell " + Hex(value.DataCell()) + " holds " +
                                                  std::to_string(cell.size)});
    }
    return R::Of(std::vector<unsigned char>(cell.data, cell.data + length));
}

}  // namespace vornex::hive
