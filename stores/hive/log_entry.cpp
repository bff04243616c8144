#include "stores/hive/log_entry.h"

#include <cstring>
#include <utility>

#include "stores/hive/base_block.h"
#include "stores/hive/marvin32.h"

namespace vornex::hive {

namespace {

// Offsets in an entry. The header hash covers the bytes before it; the data hash, all from the
// page references (offset, size) on.
enum : std::uint32_t {
    kSize = 4, kFlags = 8, kSeq = 12, kBinsSize = 16, kPageCount = 20, kDataHash = 24, kHeaderHash = 32, kPageRefs = 40
};
constexpr std::uint32_t kPageRefSize = 8;
constexpr std::uint32_t kAlignment = 512;
constexpr std::uint32_t kPageUnit = 4096;

}  // namespace

EntryStatus ReadLogEntry(const unsigned char* at, std::size_t avail, std::uint32_t expectedSeq, LogEntry* entry,
                         std::string* why) {
    if (avail < kPageRefs || std::memcmp(at, "HvLE", 4) != 0) return EntryStatus::kEnd;
    const auto bad = [why](std::string reason) {
        *why = std::move(reason);
        return EntryStatus::kBad;
    };
    LogEntry& e = *entry;
    e.size = ReadU32(at + kSize);
    e.seq = ReadU32(at + kSeq);
    e.hiveBinsSize = ReadU32(at + kBinsSize);
    e.ktmLocked = (ReadU32(at + kFlags) & 1u) != 0;
    const std::uint32_t count = ReadU32(at + kPageCount);
    if (e.size < kAlignment || e.size % kAlignment != 0) {
        return bad("size " + Hex(e.size) + " is not a multiple of 512");
    }
    if (e.size > avail) return bad("size " + Hex(e.size) + " runs past the end of the log");
    if (Marvin32(at, kHeaderHash, kLogEntrySeed) != ReadU64(at + kHeaderHash)) {
        return bad("header hash mismatch");
    }
    if (Marvin32(at + kPageRefs, e.size - kPageRefs, kLogEntrySeed) != ReadU64(at + kDataHash)) {
        return bad("hash mismatch");
    }
    if (e.seq != expectedSeq) {
        return bad("sequence " + std::to_string(e.seq) + ", expected " + std::to_string(expectedSeq));
    }
    if (e.hiveBinsSize == 0 || e.hiveBinsSize % kHiveBinAlignment != 0) {
        return bad("hive bins size " + Hex(e.hiveBinsSize) + " is not a multiple of 4096");
    }
    if (count == 0) return bad("no dirty pages");
    const std::uint64_t refsEnd = kPageRefs + std::uint64_t{kPageRefSize} * count;
    if (refsEnd > e.size) return bad("page count " + std::to_string(count) + " does not fit the entry");
    e.pages.clear();  // grown only with pages checked: no count makes it large
    std::uint64_t dataEnd = refsEnd;
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned char* ref = at + kPageRefs + kPageRefSize * std::size_t{i};
        const LogEntry::Page page{ReadU32(ref), ReadU32(ref + 4), at + dataEnd};
        if (page.size == 0 || page.size % kPageUnit != 0) {
            return bad("page " + std::to_string(i + 1) + " size " + Hex(page.size) + " is not a multiple of 4096");
        }
        if (std::uint64_t{page.offset} + page.size > e.hiveBinsSize) {
            return bad("page " + std::to_string(i + 1) + " at " + Hex(page.offset) + " lies past the hive bins size " +
                       Hex(e.hiveBinsSize));
        }
        dataEnd += page.size;
        if (dataEnd > e.size) return bad("pages run past the entry's size");
        e.pages.push_back(page);
    }
    e.pageBytes = dataEnd - refsEnd;
    return EntryStatus::kOk;
}

}  // namespace vornex::hive
