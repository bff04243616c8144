// Value lists, lookup by name and value data (inline, one cell, big data).
#include <algorithm>
#include <utility>

#include "core/registry_upcase.h"
#include "stores/hive/regf_image.h"
#include "stores/hive/regf_layout.h"

namespace vornex::hive {

using namespace layout;

bool RegfImage::NamesEqual(const NameView& a, const std::u16string& b) {
    if (a.Units() != b.size()) return false;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (RegistryUpcase(a.Unit(i)) != RegistryUpcase(b[i])) return false;
    }
    return true;
}

Failure RegfImage::ValueList(const KeyNode& node, KeyRef key, std::vector<std::uint32_t>* out) const {
    out->clear();
    if (node.valueCount == 0) return {};
    Span list;
    if (Failure failure = Cell(node.valueList, "value list", &list)) return failure;
    if (node.valueCount > list.size / 4) {
        return {ReadError::kBadList, "key " + Hex(key.cell) + " counts " + std::to_string(node.valueCount) +
                                         " values, its list " + Hex(node.valueList) + " holds " +
                                         std::to_string(list.size / 4)};
    }
    out->resize(node.valueCount);
    for (std::size_t i = 0; i < out->size(); ++i) (*out)[i] = U32(list.data + 4 * i);
    return {};
}

Result<std::vector<ValueInfo>> RegfImage::Values(KeyRef key) const {
    using R = Result<std::vector<ValueInfo>>;
    KeyNode node;
    if (Failure failure = ReadKey(key, &node)) return R::From(std::move(failure));
    std::vector<std::uint32_t> cells;
    if (Failure failure = ValueList(node, key, &cells)) return R::From(std::move(failure));
    // A repeated cell would repeat its name: refused before any is copied.
    if (const std::uint32_t repeat = FirstDuplicate(cells); repeat != kNoCell) {
        return R::From({ReadError::kDuplicate, "key " + Hex(key.cell) + " lists value " + Hex(repeat) + " twice"});
    }
    std::vector<ValueInfo> values;
    values.reserve(cells.size());
    for (const std::uint32_t cell : cells) {
        ValueNode value;
        if (Failure failure = ReadValue(cell, &value)) return R::From(std::move(failure));
        values.push_back({value.name.Decode(), value.type, value.dataSize & ~kDataInline, cell});
    }
    return R::Of(std::move(values));
}

Result<std::optional<ValueInfo>> RegfImage::FindValue(KeyRef key, const std::u16string& name) const {
    using R = Result<std::optional<ValueInfo>>;
    KeyNode node;
    if (Failure failure = ReadKey(key, &node)) return R::From(std::move(failure));
    std::vector<std::uint32_t> cells;
    if (Failure failure = ValueList(node, key, &cells)) return R::From(std::move(failure));
    Failure firstUnreadable;
    std::size_t unreadable = 0;
    // Stored order, first match: how the registry itself looks a value up.
    for (const std::uint32_t cell : cells) {
        ValueNode value;
        if (Failure failure = ReadValue(cell, &value)) {
            if (unreadable++ == 0) firstUnreadable = std::move(failure);
            continue;
        }
        if (NamesEqual(value.name, name)) {
            return R::Of(ValueInfo{value.name.Decode(), value.type, value.dataSize & ~kDataInline, cell});
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
    if (Failure failure = ReadValue(info.cell, &value)) return R::From(std::move(failure));
    const std::uint32_t length = value.dataSize & ~kDataInline;
    if ((value.dataSize & kDataInline) != 0) {
        if (length > 4) {
            return R::From({ReadError::kTooLarge, "value " + Hex(info.cell) + " claims " + std::to_string(length) +
                                                      " inline bytes, the field holds 4"});
        }
        return R::Of(std::vector<unsigned char>(value.dataOffsetField, value.dataOffsetField + length));
    }
    if (length == 0) return R::Of({});
    const std::uint32_t dataCell = U32(value.dataOffsetField);
    if (IsBigData(length, header_.minorVersion)) {
        BigData big;
        if (Failure failure = ReadBigData(dataCell, length, &big)) return R::From(std::move(failure));
        std::vector<unsigned char> data;
        data.reserve(length);
        std::uint32_t left = length;
        for (const Span& segment : big.spans) {
            const std::uint32_t part = std::min(kBigSegmentSize, left);
            data.insert(data.end(), segment.data, segment.data + part);
            left -= part;
        }
        return R::Of(std::move(data));
    }
    Span cell;
    if (Failure failure = Cell(dataCell, "value data", &cell)) return R::From(std::move(failure));
    if (length > cell.size) {
        return R::From({ReadError::kTooLarge, "value " + Hex(info.cell) + " claims " + std::to_string(length) +
                                                  " bytes, its data cell " + Hex(dataCell) + " holds " +
                                                  std::to_string(cell.size)});
    }
    return R::Of(std::vector<unsigned char>(cell.data, cell.data + length));
}

}  // namespace vornex::hive
