#pragma once
// What every structure of the hive bins shares: cell alignment, the "none"
// offset, little-endian reads, signatures. Each structure's own offsets live
// in its unit (regf_bin.h, regf_cell.h, regf_key_node.h, ...).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "stores/hive/base_block.h"

namespace vornex::hive {

constexpr std::uint32_t kCellAlignment = 8;
constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;

inline std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t U32(const unsigned char* p) { return ReadU32(p); }
inline void PutU16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline bool Signature(const unsigned char* p, const char* two) {
    return p[0] == static_cast<unsigned char>(two[0]) && p[1] == static_cast<unsigned char>(two[1]);
}

// The first cell listed twice, or kNoCell; sorts a copy. A list that repeats
// a cell would repeat what it names.
inline std::uint32_t FirstDuplicate(std::vector<std::uint32_t> cells) {
    std::sort(cells.begin(), cells.end());
    const auto repeat = std::adjacent_find(cells.begin(), cells.end());
    return repeat == cells.end() ? kNoCell : *repeat;
}

}  // namespace vornex::hive
