#include "stores/hive/base_block.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace vornex::hive {

std::uint64_t FileTimeNow() {
    constexpr std::uint64_t kUnixEpoch = 116444736000000000ull;
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpoch + static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100);
}

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::uint32_t BaseBlockChecksum(const unsigned char* block) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < kChecksumOffset; i += 4) sum ^= ReadU32(block + i);
    if (sum == 0) return 1;
    if (sum == 0xFFFFFFFFu) return 0xFFFFFFFEu;
    return sum;
}

BaseBlock ParseBaseBlock(const unsigned char* data, std::size_t size) {
    BaseBlock bb;
    bb.hasSignature = size >= 4 && std::memcmp(data, "regf", 4) == 0;
    bb.complete = size >= kLogHeaderSize;
    if (!bb.complete) return bb;
    bb.primarySeq = ReadU32(data + kPrimarySeqOffset);
    bb.secondarySeq = ReadU32(data + kSecondarySeqOffset);
    bb.timestamp = ReadU64(data + kTimestampOffset);
    bb.major = ReadU32(data + kMajorOffset);
    bb.minor = ReadU32(data + kMinorOffset);
    bb.fileType = ReadU32(data + kFileTypeOffset);
    bb.format = ReadU32(data + kFormatOffset);
    bb.rootCell = ReadU32(data + kRootCellOffset);
    bb.hiveBinsSize = ReadU32(data + kHiveBinsSizeOffset);
    bb.flags = ReadU32(data + kFlagsOffset);
    bb.checksumOk = ReadU32(data + kChecksumOffset) == BaseBlockChecksum(data);
    bb.valid = bb.hasSignature && bb.checksumOk;
    return bb;
}

void SealBaseBlock(unsigned char* block, std::uint32_t seq, std::uint32_t hiveBinsSize,
                   bool ktmLocked) {
    WriteU32(block + kPrimarySeqOffset, seq);
    WriteU32(block + kSecondarySeqOffset, seq);
    WriteU32(block + kFileTypeOffset, kFilePrimary);
    WriteU32(block + kHiveBinsSizeOffset, hiveBinsSize);
    std::uint32_t flags = ReadU32(block + kFlagsOffset);
    flags = ktmLocked ? (flags | 1u) : (flags & ~1u);
    WriteU32(block + kFlagsOffset, flags);
    WriteU32(block + kChecksumOffset, BaseBlockChecksum(block));
}

void SealWrittenBaseBlock(unsigned char* block, std::uint32_t seq, std::uint32_t hiveBinsSize, bool ktmLocked,
                          std::uint64_t filetime) {
    WriteU64(block + kTimestampOffset, filetime);
    SealBaseBlock(block, seq, hiveBinsSize, ktmLocked);
}

void SealBaseBlockFromLog(unsigned char* block, const unsigned char* logHeader, bool clearRest, std::uint32_t seq,
                          std::uint32_t hiveBinsSize, bool ktmLocked) {
    std::memcpy(block, logHeader, kChecksumOffset);
    if (clearRest) std::memset(block + kLogHeaderSize, 0, kBaseBlockSize - kLogHeaderSize);
    SealBaseBlock(block, seq, hiveBinsSize, ktmLocked);
}

}  // namespace vornex::hive
