// libFuzzer target for log replay (stores/hive/log_replay.h): a primary file
// and two logs cut from one input. Checks: no crash or sanitizer report, no
// hang, an image never larger than the inputs can fill, and a clean, valid
// base block whenever something was applied.
//
// Input: byte 0 flags, bytes 1-4 the primary's length, 5-8 LOG1's (both
// little-endian, cut to what is left), the rest LOG2.
//   flag 1: LOG1 absent         flag 2: LOG2 absent
//   flag 4: give the primary a good base-block checksum
//   flag 8: give the logs good header checksums and their HvLE entries good
//           hashes, so that mutations reach past the hash checks
// Shorter inputs are a primary alone.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "stores/hive/base_block.h"
#include "stores/hive/log_replay.h"
#include "stores/hive/marvin32.h"

namespace {

using Bytes = std::vector<unsigned char>;
using namespace vornex::hive;

void Check(bool ok) {
    if (!ok) std::abort();
}

void FixChecksum(Bytes& b) {
    if (b.size() >= kLogHeaderSize) WriteU32(b.data() + kChecksumOffset, BaseBlockChecksum(b.data()));
}

// The same walk as the replay: entries from offset 512, each `size` on.
void FixEntries(Bytes& log) {
    std::size_t pos = kLogHeaderSize;
    while (pos + 40 <= log.size() && std::memcmp(log.data() + pos, "HvLE", 4) == 0) {
        unsigned char* p = log.data() + pos;
        const std::uint32_t size = ReadU32(p + 4);
        if (size < 40 || size > log.size() - pos) break;
        WriteU64(p + 24, Marvin32(p + 40, size - 40, kLogEntrySeed));
        WriteU64(p + 32, Marvin32(p, 32, kLogEntrySeed));
        if (size < 512 || size % 512 != 0) break;
        pos += size;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes primary;
    std::optional<Bytes> logs[2];
    unsigned flags = 0;
    if (size < 9) {
        primary.assign(data, data + size);
    } else {
        flags = data[0];
        std::size_t rest = size - 9;
        const unsigned char* p = data + 9;
        const std::size_t primaryLength = std::min<std::size_t>(ReadU32(data + 1), rest);
        primary.assign(p, p + primaryLength);
        p += primaryLength;
        rest -= primaryLength;
        const std::size_t log1Length = std::min<std::size_t>(ReadU32(data + 5), rest);
        if (!(flags & 1)) logs[0] = Bytes(p, p + log1Length);
        p += log1Length;
        rest -= log1Length;
        if (!(flags & 2)) logs[1] = Bytes(p, p + rest);
    }
    if (flags & 4) FixChecksum(primary);
    if (flags & 8) {
        for (auto& log : logs) {
            if (!log) continue;
            FixChecksum(*log);
            FixEntries(*log);
        }
    }

    const Bytes original = primary;
    std::uint64_t bound = std::max<std::uint64_t>(primary.size(), kBaseBlockSize);
    for (const auto& log : logs) bound += log ? log->size() : 0;

    const LoadedHive h = Recover(primary, logs[0], logs[1]);

    Check(h.image.size() <= bound);
    Check(h.image.size() <= std::max<std::uint64_t>(original.size(), 0x80000000ull));
    Check(h.logsApplied.size() <= 2);
    Check(!h.note.empty() && h.note.find('\n') == std::string::npos);
    const BaseBlock before = ParseBaseBlock(original.data(), original.size());
    Check((h.recovery == Recovery::kClean) == !before.needsRecovery());
    switch (h.recovery) {
        case Recovery::kClean:
        case Recovery::kDirtyNoUsableLog:
            Check(h.image == original && h.logsApplied.empty());
            break;
        case Recovery::kReplayed:
        case Recovery::kBaseBlockFromLog: {
            Check(!h.logsApplied.empty());
            Check((h.recovery == Recovery::kReplayed) == before.valid);
            const BaseBlock after = ParseBaseBlock(h.image.data(), h.image.size());
            Check(h.image.size() >= kBaseBlockSize + after.hiveBinsSize);
            Check(after.valid && after.primarySeq == after.secondarySeq);
            Check(after.fileType == kFilePrimary);
            break;
        }
    }
    // Recovering the recovered image finds it clean (or, untouched, as before).
    if (h.recovery == Recovery::kReplayed || h.recovery == Recovery::kBaseBlockFromLog) {
        const LoadedHive again = Recover(h.image, logs[0], logs[1]);
        Check(again.recovery == Recovery::kClean && again.image == h.image);
    }
    return 0;
}
