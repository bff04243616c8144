#pragma once
// Offsets and constants of the on-disk hive format, and little-endian reads.
// Internal to the regf reader.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vornex::hive::layout {

constexpr std::size_t kBaseBlockSize = 4096;
constexpr std::uint32_t kBinAlignment = 4096;
constexpr std::uint32_t kBinHeaderSize = 32;
constexpr std::uint32_t kCellAlignment = 8;
constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;

// Base block.
constexpr std::size_t kPrimarySequence = 4;
constexpr std::size_t kSecondarySequence = 8;
constexpr std::size_t kMajorVersion = 20;
constexpr std::size_t kMinorVersion = 24;
constexpr std::size_t kFileType = 28;
constexpr std::size_t kFileFormat = 32;
constexpr std::size_t kRootCell = 36;
constexpr std::size_t kBinsSize = 40;
constexpr std::size_t kChecksum = 508;

// Hive bin header.
constexpr std::size_t kBinOffset = 4;
constexpr std::size_t kBinSize = 8;

// Key node ("nk"), relative to the cell's payload.
constexpr std::size_t kKeyFlags = 2;
constexpr std::size_t kKeySubkeyCount = 20;
constexpr std::size_t kKeySubkeyList = 28;
constexpr std::size_t kKeyValueCount = 36;
constexpr std::size_t kKeyValueList = 40;
constexpr std::size_t kKeyNameLength = 72;
constexpr std::size_t kKeyName = 76;
constexpr std::uint16_t kKeyCompressedName = 0x0020;

// Value ("vk").
constexpr std::size_t kValueNameLength = 2;
constexpr std::size_t kValueDataSize = 4;
constexpr std::size_t kValueDataOffset = 8;
constexpr std::size_t kValueType = 12;
constexpr std::size_t kValueFlags = 16;
constexpr std::size_t kValueName = 20;
constexpr std::uint16_t kValueCompressedName = 0x0001;
constexpr std::uint32_t kDataInline = 0x80000000u;

// Big data ("db"): data longer than one segment, in hives of minor version 4
// and later.
constexpr std::size_t kBigSegmentCount = 2;
constexpr std::size_t kBigSegmentList = 4;
constexpr std::size_t kBigHeaderSize = 8;
constexpr std::uint32_t kBigSegmentSize = 16344;
constexpr std::uint32_t kBigDataMinorVersion = 4;

// Subkey lists: li holds offsets, lf/lh offset and hash pairs, ri offsets of
// other lists.
constexpr std::size_t kListCount = 2;
constexpr std::size_t kListEntries = 4;

inline std::uint16_t U16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t U32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline bool Signature(const unsigned char* p, const char* two) {
    return p[0] == static_cast<unsigned char>(two[0]) && p[1] == static_cast<unsigned char>(two[1]);
}

std::string Hex(std::uint32_t value);

}  // namespace vornex::hive::layout
