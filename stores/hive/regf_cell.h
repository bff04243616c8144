#pragma once
// A cell: a signed 32-bit size, a multiple of 8 (negative while allocated),
// then its payload.
#include <cstddef>
#include <cstdint>

#include "stores/hive/regf_layout.h"

namespace vornex::hive {

// An allocated cell's payload, checked to lie in the bins.
struct CellSpan {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

inline std::int64_t CellHeader(const unsigned char* bins, std::uint32_t cell) {
    return static_cast<std::int32_t>(U32(bins + cell));
}
inline std::uint32_t CellSize(const unsigned char* bins, std::uint32_t cell) {
    const std::int64_t raw = CellHeader(bins, cell);
    return static_cast<std::uint32_t>(raw < 0 ? -raw : raw);
}
inline bool IsFreeCell(const unsigned char* bins, std::uint32_t cell) { return CellHeader(bins, cell) > 0; }
inline void SetCellHeader(unsigned char* bins, std::uint32_t cell, std::uint32_t size, bool allocated) {
    WriteU32(bins + cell, allocated ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(size)) : size);
}

}  // namespace vornex::hive
