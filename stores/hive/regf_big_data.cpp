#include "stores/hive/regf_big_data.h"

#include <algorithm>

namespace vornex::hive {

namespace {

enum : std::uint32_t { kSegmentCount = 2, kSegmentList = 4, kHeaderSize = 8 };
constexpr std::uint32_t kSegmentSize = 16344;
constexpr std::uint32_t kFirstMinorVersion = 4;

}  // namespace

bool IsBigData(std::uint32_t length, std::uint32_t minorVersion) {
    return length > kSegmentSize && minorVersion >= kFirstMinorVersion;
}

Failure ReadBigData(const RegfImage& image, std::uint32_t cell, std::uint32_t length, BigData* out) {
    CellSpan header;
    if (Failure failure = image.SignedCell(cell, "big data", "db", kHeaderSize, &header)) return failure;
    const std::uint32_t needed = (length + kSegmentSize - 1) / kSegmentSize;
    const std::uint32_t count = U16(header.data + kSegmentCount);
    if (count < needed) {
        return {ReadError::kTooLarge, "big data " + Hex(cell) + " claims " + std::to_string(length) + " bytes in " +
                                          std::to_string(count) + " segments"};
    }
    out->list = U32(header.data + kSegmentList);
    CellSpan list;
    if (Failure failure = image.Cell(out->list, "big data segment list", &list)) return failure;
    if (list.size / 4 < needed) {
        return {ReadError::kBadList, "big data segment list " + Hex(out->list) + " holds fewer than " +
                                         std::to_string(needed) + " segments"};
    }
    out->segments.assign(needed, 0);
    out->spans.assign(needed, CellSpan{});
    for (std::uint32_t i = 0; i < needed; ++i) {
        out->segments[i] = U32(list.data + 4 * i);
        if (Failure failure = image.Cell(out->segments[i], "big data segment", &out->spans[i])) return failure;
        const std::uint32_t part = std::min(kSegmentSize, length - i * kSegmentSize);
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

std::vector<unsigned char> BigDataBytes(const BigData& big, std::uint32_t length) {
    std::vector<unsigned char> data;
    data.reserve(length);
    for (const CellSpan& segment : big.spans) {
        const std::uint32_t part = std::min(kSegmentSize, length - static_cast<std::uint32_t>(data.size()));
        data.insert(data.end(), segment.data, segment.data + part);
    }
    return data;
}

}  // namespace vornex::hive
