#include "stores/hive/log_entry.h"

#include <cstring>
#include <utility>

#include "stores/hive/base_block.h"
#include "stores/hive/marvin32.h"

namespace vornex::hive {

namespace {

constexpr std::size_t kEntrySizeOffset = 4;
constexpr std::size_t kEntryFlagsOffset = 8;
constexpr std::size_t kEntrySeqOffset = 12;
constexpr std::size_t kEntryBinsSizeOffset = 16;
constexpr std::size_t kEntryPageCountOffset = 20;
constexpr std::size_t kEntryDataHashOffset = 24;    // of everything past the header
constexpr std::size_t kEntryHeaderHashOffset = 32;  // of the 32 bytes before it
constexpr std::size_t kEntryHeaderSize = 40;        // the page references follow
constexpr std::size_t kPageRefSize = 8;             // offset, size
constexpr std::size_t kEntryAlignment = 512;
constexpr std::size_t kPageUnit = 4096;

}  // namespace

EntryStatus ReadLogEntry(const unsigned char* at, std::size_t avail, std::uint32_t expectedSeq, LogEntry* entry,
                         std::string* why) {
    if (avail < kEntryHeaderSize || std::memcmp(at, "HvLE", 4) != 0) return EntryStatus::kEnd;
    const auto bad = [why](std::string reason) {
        *why = std::move(reason);
        return EntryStatus::kBad;
    };
    LogEntry& e = *entry;
    e.size = ReadU32(at + kEntrySizeOffset);
    e.seq = ReadU32(at + kEntrySeqOffset);
    e.hiveBinsSize = ReadU32(at + kEntryBinsSizeOffset);
    e.ktmLocked = (ReadU32(at + kEntryFlagsOffset) & 1u) != 0;
    const std::uint32_t count = ReadU32(at + kEntryPageCountOffset);
    if (e.size < kEntryAlignment || e.size % kEntryAlignment != 0) {
        return bad("size " + Hex(e.size) + " is not a multiple of 512");
    }
    if (e.size > avail) return bad("size " + Hex(e.size) + " runs past the end of the log");
    if (Marvin32(at, kEntryHeaderHashOffset, kLogEntrySeed) != ReadU64(at + kEntryHeaderHashOffset)) {
        return bad("header hash mismatch");
    }
    if (Marvin32(at + kEntryHeaderSize, e.size - kEntryHeaderSize, kLogEntrySeed) !=
        ReadU64(at + kEntryDataHashOffset)) {
        return bad("hash mismatch");
    }
    if (e.seq != expectedSeq) {
        return bad("sequence " + std::to_string(e.seq) + ", expected " + std::to_string(expectedSeq));
    }
    if (e.hiveBinsSize == 0 || e.hiveBinsSize % kHiveBinAlignment != 0) {
        return bad("hive bins size " + Hex(e.hiveBinsSize) + " is not a multiple of 4096");
    }
    if (count == 0) return bad("no dirty pages");
    const std::uint64_t refsEnd = kEntryHeaderSize + std::uint64_t{kPageRefSize} * count;
    if (refsEnd > e.size) return bad("page count " + std::to_string(count) + " does not fit the entry");
    e.pages.clear();  // grown only with pages checked: no count makes it large
    std::uint64_t dataEnd = refsEnd;
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned char* ref = at + kEntryHeaderSize + kPageRefSize * i;
        const LogEntry::Page page{ReadU32(ref), ReadU32(ref + 4), at + dataEnd};
        if (page.size == 0 || page.size % kPageUnit != 0) {
            return bad("page " + std::to_string(i + 1) + " size " + Hex(page.size) +
                       " is not a multiple of 4096");
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
