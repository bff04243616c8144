#pragma once
// A hive bin ("hbin"): a multiple of 4 KiB of the hive bins, its cells after
// a 32-byte header.
#include <cstdint>
#include <optional>

#include "stores/hive/regf_layout.h"

namespace vornex::hive {

struct Bin {
    static constexpr std::uint32_t kHeaderSize = 32;
    std::uint32_t start = 0;  // offsets in the hive bins
    std::uint32_t end = 0;

    std::uint32_t FirstCell() const { return start + kHeaderSize; }
};

// The time stamp in a bin's header: the first bin's is that of the last
// complete write of the hive, which backs up the base block's.
inline std::uint64_t BinTimestamp(const unsigned char* bin) { return ReadU64(bin + 20); }

// The bin whose header is at `at`: its signature, its own offset, and a size
// that is a multiple of 4 KiB inside the bins; absent otherwise.
inline std::optional<Bin> ReadBin(const unsigned char* bins, std::uint32_t at, std::uint32_t binsSize) {
    constexpr std::uint32_t kUnit = static_cast<std::uint32_t>(kHiveBinAlignment);
    const unsigned char* header = bins + at;
    const std::uint32_t size = U32(header + 8);
    if (!Signature(header, "hb") || !Signature(header + 2, "in") || U32(header + 4) != at || size < kUnit ||
        size % kUnit != 0 || size > binsSize - at) {
        return std::nullopt;
    }
    return Bin{at, at + size};
}

}  // namespace vornex::hive
