// Log replay on a large synthetic new-format log: builds a dirty primary and
// a ~100 MB LOG1 of HvLE entries with valid hashes in memory, times Recover
// and prints the wall time and the peak resident set (getrusage). Linux.
//
//   replay_bench [LOG_MB [preallocated]]      (default 100)
//
// The log's entries grow the hive bins from 1 MiB by a 64 KiB bin each; with
// "preallocated" the primary file is already long enough for all of them (as
// Windows keeps hive files), so the image needs no growth.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "stores/hive/base_block.h"
#include "stores/hive/log_replay.h"
#include "stores/hive/marvin32.h"

namespace {

using namespace vornex::hive;
using Bytes = std::vector<unsigned char>;

constexpr std::uint32_t kPage = 4096;
constexpr std::uint32_t kInitialBins = 1u << 20;  // the primary's hive bins: 1 MiB
constexpr std::uint32_t kNewPagesPerEntry = 16;   // each entry adds a 64 KiB bin...
constexpr std::uint32_t kRewrittenPages = 2;      // ...and rewrites two old pages

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // KiB on Linux
}

// A bin of `size` bytes at `offset` (relative to the hive bins): its header
// and one free cell filling it.
void WriteBin(unsigned char* at, std::uint32_t offset, std::uint32_t size) {
    std::memset(at, 0, size);
    std::memcpy(at, "hbin", 4);
    WriteU32(at + 4, offset);
    WriteU32(at + 8, size);
    WriteU32(at + 32, size - 32);
}

void Seal(unsigned char* block) { WriteU32(block + kChecksumOffset, BaseBlockChecksum(block)); }

Bytes MakePrimary() {
    Bytes primary(kBaseBlockSize + kInitialBins, 0);
    unsigned char* b = primary.data();
    std::memcpy(b, "regf", 4);
    WriteU32(b + kPrimarySeqOffset, 2);
    WriteU32(b + kSecondarySeqOffset, 1);  // dirty: entries from 1 on apply
    WriteU32(b + kMajorOffset, 1);
    WriteU32(b + kMinorOffset, 5);
    WriteU32(b + kFormatOffset, 1);
    WriteU32(b + kRootCellOffset, 0x20);
    WriteU32(b + kHiveBinsSizeOffset, kInitialBins);
    WriteU32(b + kClusteringOffset, 1);
    Seal(b);
    WriteBin(b + kBaseBlockSize, 0, kInitialBins);
    return primary;
}

Bytes MakeLog(const Bytes& primary, std::size_t targetBytes, std::uint32_t* entries,
              std::uint32_t* finalBins) {
    Bytes log(primary.begin(), primary.begin() + kLogHeaderSize);
    WriteU32(log.data() + kPrimarySeqOffset, 1);
    WriteU32(log.data() + kSecondarySeqOffset, 1);
    WriteU32(log.data() + kFileTypeOffset, kFileNewLog);
    Seal(log.data());
    const std::uint32_t refs = kRewrittenPages + 1;  // the new bin is one reference
    const std::uint32_t pages = kNewPagesPerEntry + kRewrittenPages;
    const std::size_t entrySize = (40 + 8 * refs + std::size_t{pages} * kPage + 511) / 512 * 512;
    log.reserve(targetBytes + entrySize);
    std::uint32_t bins = kInitialBins;
    std::uint32_t seq = 1;
    while (log.size() + entrySize <= targetBytes) {
        const std::size_t at = log.size();
        log.resize(at + entrySize, 0);
        unsigned char* e = log.data() + at;
        const std::uint32_t newBin = bins;
        bins += kNewPagesPerEntry * kPage;
        std::memcpy(e, "HvLE", 4);
        WriteU32(e + 4, static_cast<std::uint32_t>(entrySize));
        WriteU32(e + 12, seq);
        WriteU32(e + 16, bins);
        WriteU32(e + 20, refs);
        unsigned char* data = e + 40 + 8 * refs;
        for (std::uint32_t i = 0; i < kRewrittenPages; ++i) {  // pages of the first bin
            const std::uint32_t offset = ((seq * 7 + i * 13) % (kInitialBins / kPage)) * kPage;
            WriteU32(e + 40 + 8 * i, offset);
            WriteU32(e + 44 + 8 * i, kPage);
            std::memcpy(data, primary.data() + kBaseBlockSize + offset, kPage);
            data[100] = static_cast<unsigned char>(seq);
            data += kPage;
        }
        WriteU32(e + 40 + 8 * kRewrittenPages, newBin);  // the new bin, in one run
        WriteU32(e + 44 + 8 * kRewrittenPages, kNewPagesPerEntry * kPage);
        WriteBin(data, newBin, kNewPagesPerEntry * kPage);
        WriteU64(e + 24, Marvin32(e + 40, entrySize - 40, kLogEntrySeed));
        WriteU64(e + 32, Marvin32(e, 32, kLogEntrySeed));
        ++seq;
    }
    *entries = seq - 1;
    *finalBins = bins;
    return log;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const long rssStart = PeakRssKb();

    Bytes primary = MakePrimary();
    std::uint32_t entries = 0;
    std::uint32_t finalBins = 0;
    const std::optional<Bytes> log1 = MakeLog(primary, megabytes << 20, &entries, &finalBins);
    const bool preallocated = argc > 2 && std::strcmp(argv[2], "preallocated") == 0;
    if (preallocated) primary.resize(kBaseBlockSize + std::size_t{finalBins}, 0);
    const std::size_t primarySize = primary.size();
    const long rssInputs = PeakRssKb();

    const auto start = std::chrono::steady_clock::now();
    const LoadedHive h = Recover(std::move(primary), log1, std::nullopt);
    const auto stop = std::chrono::steady_clock::now();
    const long rssPeak = PeakRssKb();

    const double seconds = std::chrono::duration<double>(stop - start).count();
    const double logMb = static_cast<double>(log1->size()) / (1 << 20);
    std::printf("primary %.1f MiB, LOG1 %.1f MiB: %u entries, hive bins 1 MiB -> %.1f MiB\n",
                static_cast<double>(primarySize) / (1 << 20), logMb, entries,
                static_cast<double>(finalBins) / (1 << 20));
    // The entries are numbered from 1: the image is sealed with the last one applied.
    const std::uint32_t applied = ParseBaseBlock(h.image.data(), h.image.size()).primarySeq;
    std::printf("Recover: %s, %u entries applied, image %.1f MiB\n", RecoveryName(h.recovery), applied,
                static_cast<double>(h.image.size()) / (1 << 20));
    std::printf("wall time %.3f s (%.0f MiB/s of log)\n", seconds, logMb / seconds);
    std::printf("peak RSS: %.1f MiB at start, %.1f MiB with the inputs built, %.1f MiB after Recover"
                " (+%.1f MiB)\n",
                rssStart / 1024.0, rssInputs / 1024.0, rssPeak / 1024.0,
                (rssPeak - rssInputs) / 1024.0);
    const bool ok = h.recovery == Recovery::kReplayed && applied == entries &&
                    h.image.size() == kBaseBlockSize + std::size_t{finalBins};
    if (!ok) std::printf("UNEXPECTED: %s\n", h.note.c_str());
    return ok ? 0 : 1;
}
