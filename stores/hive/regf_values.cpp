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
        std::vector<unsigned char> data;
        if (Failure failure = CopyBigData(dataCell, length, &data)) return R::From(std::move(failure));
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

// Every segment is checked before anything is allocated: the length then
// cannot exceed what distinct cells hold.
Failure RegfImage::CopyBigData(std::uint32_t cell, std::uint32_t length, std::vector<unsigned char>* out) const {
    Span header;
    if (Failure failure = Cell(cell, "big data", &header)) return failure;
    if (header.size < kBigHeaderSize || !Signature(header.data, "db")) {
        return {ReadError::kBadSignature, "big data " + Hex(cell) + " has no db signature"};
    }
    const std::uint32_t needed = (length + kBigSegmentSize - 1) / kBigSegmentSize;
    const std::uint32_t count = U16(header.data + kBigSegmentCount);
    if (count < needed) {
        return {ReadError::kTooLarge, "big data " + Hex(cell) + " claims " + std::to_string(length) + " bytes in " +
                                          std::to_string(count) + " segments"};
    }
    const std::uint32_t listCell = U32(header.data + kBigSegmentList);
    Span list;
    if (Failure failure = Cell(listCell, "big data segment list", &list)) return failure;
    if (list.size / 4 < needed) {
        return {ReadError::kBadList, "big data segment list " + Hex(listCell) + " holds fewer than " +
                                         std::to_string(needed) + " segments"};
    }
    std::vector<std::uint32_t> segments(needed);
    std::vector<Span> spans(needed);
    for (std::uint32_t i = 0; i < needed; ++i) {
        segments[i] = U32(list.data + 4 * i);
        if (Failure failure = Cell(segments[i], "big data segment", &spans[i])) return failure;
        const std::uint32_t part = std::min(kBigSegmentSize, length - i * kBigSegmentSize);
        if (spans[i].size < part) {
            return {ReadError::kTooLarge, "big data segment " + Hex(segments[i]) + " holds " +
                                              std::to_string(spans[i].size) + " bytes, not " + std::to_string(part)};
        }
    }
    if (const std::uint32_t repeat = FirstDuplicate(segments); repeat != kNoCell) {
        return {ReadError::kDuplicate, "big data " + Hex(cell) + " lists segment " + Hex(repeat) + " twice"};
    }
    out->reserve(length);
    for (std::uint32_t i = 0; i < needed; ++i) {
        const std::uint32_t part = std::min(kBigSegmentSize, length - i * kBigSegmentSize);
        out->insert(out->end(), spans[i].data, spans[i].data + part);
    }
    return {};
}

}  // namespace vornex::hive
