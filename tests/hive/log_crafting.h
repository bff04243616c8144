#pragma once
// Crafting the base blocks and log entries the replay tests feed it: whole
// structures with good checksums and hashes, to be damaged one field at a time.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "stores/hive/base_block.h"
#include "stores/hive/marvin32.h"

namespace vornex::hive {

using Bytes = std::vector<unsigned char>;

inline void Seal(Bytes& bytes) { WriteU32(bytes.data() + kChecksumOffset, BaseBlockChecksum(bytes.data())); }

inline void SetSeqs(Bytes& bytes, std::uint32_t primarySeq, std::uint32_t secondarySeq) {
    WriteU32(bytes.data() + kPrimarySeqOffset, primarySeq);
    WriteU32(bytes.data() + kSecondarySeqOffset, secondarySeq);
    Seal(bytes);
}

// Recomputes both hashes of the HvLE entry at `pos`, after its bytes were changed.
inline void RehashEntry(Bytes& log, std::size_t pos) {
    unsigned char* p = log.data() + pos;
    const std::uint32_t size = ReadU32(p + 4);
    WriteU64(p + 24, Marvin32(p + 40, size - 40, kLogEntrySeed));
    WriteU64(p + 32, Marvin32(p, 32, kLogEntrySeed));
}

struct Page {
    std::uint32_t offset;  // relative to the hive bins
    Bytes data;            // a multiple of 4096 bytes
};

struct EntryFields {
    std::uint32_t seq;
    std::uint32_t hiveBinsSize;
    std::vector<Page> pages;
    std::uint32_t flags = 0;
};

// An HvLE entry with good hashes, padded to a multiple of 512.
inline Bytes MakeEntry(const EntryFields& shape) {
    std::size_t size = 40 + 8 * shape.pages.size();
    for (const Page& page : shape.pages) size += page.data.size();
    size = (size + 511) / 512 * 512;
    Bytes e(size, 0);
    std::memcpy(e.data(), "HvLE", 4);
    WriteU32(e.data() + 4, static_cast<std::uint32_t>(size));
    WriteU32(e.data() + 8, shape.flags);
    WriteU32(e.data() + 12, shape.seq);
    WriteU32(e.data() + 16, shape.hiveBinsSize);
    WriteU32(e.data() + 20, static_cast<std::uint32_t>(shape.pages.size()));
    std::size_t at = 40 + 8 * shape.pages.size();
    for (std::size_t i = 0; i < shape.pages.size(); ++i) {
        WriteU32(e.data() + 40 + 8 * i, shape.pages[i].offset);
        WriteU32(e.data() + 44 + 8 * i, static_cast<std::uint32_t>(shape.pages[i].data.size()));
        std::copy(shape.pages[i].data.begin(), shape.pages[i].data.end(), e.begin() + static_cast<std::ptrdiff_t>(at));
        at += shape.pages[i].data.size();
    }
    RehashEntry(e, 0);
    return e;
}

}  // namespace vornex::hive
