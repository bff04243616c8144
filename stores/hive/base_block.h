#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The base block ("regf" header) of a registry hive file and of its
// transaction logs. All numbers on disk are little-endian.
namespace vornex::hive {

constexpr std::size_t kBaseBlockSize = 4096;  // in a primary file; hive bins follow
constexpr std::size_t kLogHeaderSize = 512;   // the partial copy at the start of a log
constexpr std::size_t kHiveBinAlignment = 4096;

// Field offsets, past the signature "regf" at 0.
constexpr std::size_t kPrimarySeqOffset = 4;
constexpr std::size_t kSecondarySeqOffset = 8;
constexpr std::size_t kTimestampOffset = 12;      // FILETIME
constexpr std::size_t kMajorOffset = 20;
constexpr std::size_t kMinorOffset = 24;
constexpr std::size_t kFileTypeOffset = 28;
constexpr std::size_t kFormatOffset = 32;
constexpr std::size_t kRootCellOffset = 36;       // relative to the hive bins
constexpr std::size_t kHiveBinsSizeOffset = 40;
constexpr std::size_t kClusteringOffset = 44;
constexpr std::size_t kFlagsOffset = 144;         // Windows 10: bit 0, KTM lock
constexpr std::size_t kChecksumOffset = 508;      // XOR of the 127 dwords before it

enum FileType : std::uint32_t {
    kFilePrimary = 0,
    kFileOldLog = 1,
    kFileOldLogVeryOld = 2,  // the same old format under an older type number
    kFileNewLog = 6,
};

inline std::uint32_t ReadU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t ReadU64(const unsigned char* p) {
    return static_cast<std::uint64_t>(ReadU32(p)) | (static_cast<std::uint64_t>(ReadU32(p + 4)) << 32);
}
inline void WriteU32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}
inline void WriteU64(unsigned char* p, std::uint64_t v) {
    WriteU32(p, static_cast<std::uint32_t>(v));
    WriteU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// "0x1A2B": how offsets and sizes are named in messages.
std::string Hex(std::uint64_t value);

// The checksum of a base block (at least 508 bytes): the XOR of its first 127
// dwords, where a result of 0 is stored as 1 and 0xFFFFFFFF as 0xFFFFFFFE.
std::uint32_t BaseBlockChecksum(const unsigned char* block);

// What a base block says, read from the first bytes of a file (a primary file
// or a log). Nothing is trusted: `valid` tells whether it can be.
struct BaseBlock {
    bool hasSignature = false;  // "regf" at offset 0
    bool complete = false;      // at least the 512 bytes that the checksum covers are there
    bool checksumOk = false;
    bool valid = false;         // signature, complete and checksum
    std::uint32_t primarySeq = 0;
    std::uint32_t secondarySeq = 0;
    std::uint64_t timestamp = 0;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t fileType = 0;
    std::uint32_t format = 0;
    std::uint32_t rootCell = 0;
    std::uint32_t hiveBinsSize = 0;
    std::uint32_t flags = 0;

    // Damaged, or written with its sequence numbers apart: the file needs its logs.
    bool needsRecovery() const { return !valid || primarySeq != secondarySeq; }
};
BaseBlock ParseBaseBlock(const unsigned char* data, std::size_t size);

// Sequence numbers wrap at 2^32: a is before b when b is less than 2^31 ahead.
inline bool SeqBefore(std::uint32_t a, std::uint32_t b) {
    return a != b && static_cast<std::uint32_t>(b - a) < 0x80000000u;
}

// The time now as a FILETIME: 100 ns units since 1601-01-01.
std::uint64_t FileTimeNow();

// Writes a primary file's base block as a clean one: both sequence numbers
// set to seq, file type primary, the hive bins size, bit 0 of the flags
// (the KTM lock) as given, and the checksum recomputed. block has 4096 bytes.
void SealBaseBlock(unsigned char* block, std::uint32_t seq, std::uint32_t hiveBinsSize,
                   bool ktmLocked);
// The same for a file this program wrote: its time stamp too.
void SealWrittenBaseBlock(unsigned char* block, std::uint32_t seq, std::uint32_t hiveBinsSize, bool ktmLocked,
                          std::uint64_t filetime);

// The same, from a log's header (the base block as the log's writer saw it,
// but for its checksum) put in place first; clearRest zeroes the rest of the
// 4096 bytes too, where the primary's own base block was damaged.
void SealBaseBlockFromLog(unsigned char* block, const unsigned char* logHeader, bool clearRest, std::uint32_t seq,
                          std::uint32_t hiveBinsSize, bool ktmLocked);

}  // namespace vornex::hive
