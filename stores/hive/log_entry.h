#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An entry ("HvLE") of a new-format transaction log: a 40-byte header, the
// references of its dirty pages (offset in the hive bins, size), then the
// pages' bytes one after another. Entries follow the log's 512-byte header.
namespace vornex::hive {

// kEnd: no entry there (zeros, padding, the log's end); kBad: one that does not fit.
enum class EntryStatus { kOk, kEnd, kBad };

// What a checked entry says; its pages' bytes stay in the log.
struct LogEntry {
    struct Page {
        std::uint32_t offset;  // in the hive bins
        std::uint32_t size;    // a multiple of 4096
        const unsigned char* data;
    };
    std::uint32_t size = 0;  // in the log, a multiple of 512
    std::uint32_t seq = 0;
    std::uint32_t hiveBinsSize = 0;  // the bins' size once it is applied
    bool ktmLocked = false;          // bit 0 of its flags, as in a base block
    std::vector<Page> pages;         // in order
    std::uint64_t pageBytes = 0;
};

// Checks the entry at `at`, `avail` bytes before the log's end, which must
// carry expectedSeq: its size, both hashes, its number, its bins size and
// every page within them and within the entry. kBad gives the reason in *why.
EntryStatus ReadLogEntry(const unsigned char* at, std::size_t avail, std::uint32_t expectedSeq, LogEntry* entry,
                         std::string* why);

}  // namespace vornex::hive
