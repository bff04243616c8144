#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The dirty vector of an old-format transaction log, after its 512-byte
// header: "DIRT", a bitmap with one bit for each 512-byte page of the hive
// bins (bit 0 of byte 0 the first), then each dirty page's bytes, in order,
// from the first 512-byte boundary past the bitmap.
namespace vornex::hive {

constexpr std::size_t kDirtyPageSize = 512;

struct DirtyPage {
    std::uint32_t offset;       // in the hive bins
    const unsigned char* data;  // kDirtyPageSize bytes, in the log
};

// Checks the dirty vector at `at`, `avail` bytes before the log's end, for
// the hive bins size the log's header gives: that size, the signature, the
// bitmap within the log and every page it marks. Gives the dirty pages in
// order, or nullopt with the reason in *why.
std::optional<std::vector<DirtyPage>> ReadDirtyVector(const unsigned char* at, std::size_t avail,
                                                       std::uint32_t hiveBinsSize, std::string* why);

}  // namespace vornex::hive
