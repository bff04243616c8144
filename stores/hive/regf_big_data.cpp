// Big data ("db"): data longer than one segment, in segments named by a list.
#include <algorithm>

#include "stores/hive/regf_image.h"
#include "stores/hive/regf_layout.h"

namespace vornex::hive {

using namespace layout;

// Every segment is checked before anything is allocated: the length then
// cannot exceed what distinct cells hold.
Failure RegfImage::ReadBigData(std::uint32_t cell, std::uint32_t length, BigData* out) const {
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
    out->list = U32(header.data + kBigSegmentList);
    Span list;
    if (Failure failure = Cell(out->list, "big data segment list", &list)) return failure;
    if (list.size / 4 < needed) {
        return {ReadError::kBadList, "big data segment list " + Hex(out->list) + " holds fewer than " +
                                         std::to_string(needed) + " segments"};
    }
    out->segments.assign(needed, 0);
    out->spans.assign(needed, Span{});
    for (std::uint32_t i = 0; i < needed; ++i) {
        out->segments[i] = U32(list.data + 4 * i);
        if (Failure failure = Cell(out->segments[i], "big data segment", &out->spans[i])) return failure;
        const std::uint32_t part = std::min(kBigSegmentSize, length - i * kBigSegmentSize);
        if (out->spans[i].size < part) {
            return {ReadError::kTooLarge, "big data segment " + Hex(out->segments[i]) + " holds " +
                                              std::to_string(out->spans[i].size) + " bytes, not " +
                                              std::to_string(part)};
        }
    }
    if (const std::uint32_t repeat = FirstDuplicate(out->segments); repeat != kNoCell) {
        return {ReadError::kDuplicate, "big data " + Hex(cell) + " lists segment " + Hex(repeat) + " twice"};
    }
    return {};
}

}  // namespace vornex::hive
