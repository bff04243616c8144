#include "stores/hive/dirty_vector.h"

#include <algorithm>
#include <cstring>

#include "stores/hive/base_block.h"

namespace vornex::hive {

std::optional<std::vector<DirtyPage>> ReadDirtyVector(const unsigned char* at, std::size_t avail,
                                                       std::uint32_t hiveBinsSize, std::string* why) {
    if (hiveBinsSize == 0 || hiveBinsSize % kHiveBinAlignment != 0) {
        *why = "hive bins size " + Hex(hiveBinsSize) + " is not a multiple of 4096";
        return std::nullopt;
    }
    const std::size_t bitmapBytes = hiveBinsSize / (8 * kDirtyPageSize);
    const std::uint64_t bitmapEnd = 4 + std::uint64_t{bitmapBytes};  // past "DIRT"
    if (avail < bitmapEnd || std::memcmp(at, "DIRT", 4) != 0) {
        *why = avail < bitmapEnd ? "dirty vector cut short" : "no dirty vector (DIRT)";
        return std::nullopt;
    }
    const unsigned char* bitmap = at + 4;
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < bitmapBytes; ++i) {
        for (unsigned v = bitmap[i]; v; v &= v - 1) ++count;
    }
    const std::uint64_t pagesStart = (bitmapEnd + kDirtyPageSize - 1) / kDirtyPageSize * kDirtyPageSize;
    if (pagesStart + count * kDirtyPageSize > avail) {
        *why = "holds " + std::to_string((avail - std::min<std::uint64_t>(avail, pagesStart)) / kDirtyPageSize) +
               " of its " + std::to_string(count) + " dirty pages";
        return std::nullopt;
    }
    std::vector<DirtyPage> pages;
    pages.reserve(static_cast<std::size_t>(count));
    const unsigned char* data = at + pagesStart;
    for (std::size_t bit = 0; bit < bitmapBytes * 8; ++bit) {
        if (!((bitmap[bit / 8] >> (bit % 8)) & 1u)) continue;
        pages.push_back({static_cast<std::uint32_t>(bit * kDirtyPageSize), data});
        data += kDirtyPageSize;
    }
    return pages;
}

}  // namespace vornex::hive
