#pragma once
// Offsets and constants of the hive bins (the base block's are in
// base_block.h), and little-endian reads. Internal to the regf reader and
// writer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "stores/hive/base_block.h"

namespace vornex::hive::layout {

constexpr std::uint32_t kBinAlignment = static_cast<std::uint32_t>(kHiveBinAlignment);
constexpr std::uint32_t kBinHeaderSize = 32;
constexpr std::uint32_t kCellAlignment = 8;
constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;

// Hive bin header.
constexpr std::size_t kBinOffset = 4;
constexpr std::size_t kBinSize = 8;

// Key node ("nk"), relative to the cell's payload.
constexpr std::size_t kKeyFlags = 2;
constexpr std::size_t kKeyLastWrite = 4;  // FILETIME
constexpr std::size_t kKeySubkeyCount = 20;
constexpr std::size_t kKeySubkeyList = 28;
constexpr std::size_t kKeyValueCount = 36;
constexpr std::size_t kKeyValueList = 40;
constexpr std::size_t kKeySecurity = 44;
constexpr std::size_t kKeyClass = 48;
constexpr std::size_t kKeyMaxNameLength = 52;  // low 16 bits; flags above them
constexpr std::size_t kKeyMaxClassLength = 56;
constexpr std::size_t kKeyMaxValueNameLength = 60;
constexpr std::size_t kKeyMaxValueDataLength = 64;
constexpr std::size_t kKeyNameLength = 72;
constexpr std::size_t kKeyClassLength = 74;
constexpr std::size_t kKeyName = 76;
constexpr std::uint16_t kKeyCompressedName = 0x0020;

// Security descriptor ("sk"): in a ring of all of them, shared by the keys
// that count in its reference count.
constexpr std::size_t kSecurityFlink = 4;
constexpr std::size_t kSecurityBlink = 8;
constexpr std::size_t kSecurityReferences = 12;
constexpr std::size_t kSecurityHeaderSize = 20;

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
inline std::uint32_t U32(const unsigned char* p) { return ReadU32(p); }
inline void PutU16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline bool Signature(const unsigned char* p, const char* two) {
    return p[0] == static_cast<unsigned char>(two[0]) && p[1] == static_cast<unsigned char>(two[1]);
}
inline bool IsLeafList(const unsigned char* signature) {
    return Signature(signature, "li") || Signature(signature, "lf") || Signature(signature, "lh");
}
// Bytes per entry of a leaf list.
inline std::size_t LeafStride(const unsigned char* signature) { return Signature(signature, "li") ? 4 : 8; }

// Whether data of this length lies in big-data segments rather than one cell.
inline bool IsBigData(std::uint32_t length, std::uint32_t minorVersion) {
    return length > kBigSegmentSize && minorVersion >= kBigDataMinorVersion;
}

// The first cell listed twice, or kNoCell; sorts a copy. A list that repeats
// a cell would repeat what it names.
inline std::uint32_t FirstDuplicate(std::vector<std::uint32_t> cells) {
    std::sort(cells.begin(), cells.end());
    const auto repeat = std::adjacent_find(cells.begin(), cells.end());
    return repeat == cells.end() ? kNoCell : *repeat;
}

}  // namespace vornex::hive::layout
