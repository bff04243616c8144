// Makes a dirty hive whose newest state lies only in its transaction log, as
// a hard power-off leaves one on Windows 8.1 and later:
//
//   vornex_dirty_hive BEFORE AFTER OUT
//
// OUT is BEFORE's bytes with its sequence numbers apart (dirty); OUT.LOG1 is
// a log whose one entry carries the pages of AFTER's hive bins that differ
// from BEFORE's. Replaying it gives AFTER's state; the primary alone, BEFORE's.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "stores/hive/base_block.h"
#include "stores/hive/marvin32.h"

namespace {

using Bytes = std::vector<unsigned char>;
using namespace vornex::hive;

Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool Write(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

void SetSequences(Bytes& block, std::uint32_t primary, std::uint32_t secondary) {
    WriteU32(block.data() + kPrimarySeqOffset, primary);
    WriteU32(block.data() + kSecondarySeqOffset, secondary);
    WriteU32(block.data() + kChecksumOffset, BaseBlockChecksum(block.data()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s BEFORE AFTER OUT\n", argv[0]);
        return 2;
    }
    const Bytes before = Read(argv[1]);
    const Bytes after = Read(argv[2]);
    const std::string out = argv[3];
    if (before.size() < kBaseBlockSize + 4096 || after.size() < kBaseBlockSize + 4096) {
        std::fprintf(stderr, "not hives\n");
        return 2;
    }
    const std::uint32_t sequence = ReadU32(before.data() + kSecondarySeqOffset);

    // The entry: every page of AFTER's bins that BEFORE does not hold as it is.
    Bytes pages;
    std::vector<std::uint32_t> offsets;
    for (std::size_t at = kBaseBlockSize; at + 4096 <= after.size(); at += 4096) {
        if (at + 4096 <= before.size() && std::memcmp(before.data() + at, after.data() + at, 4096) == 0) continue;
        offsets.push_back(static_cast<std::uint32_t>(at - kBaseBlockSize));
        pages.insert(pages.end(), after.begin() + static_cast<std::ptrdiff_t>(at),
                     after.begin() + static_cast<std::ptrdiff_t>(at + 4096));
    }
    std::size_t size = 40 + 8 * offsets.size() + pages.size();
    size = (size + 511) / 512 * 512;
    Bytes entry(size, 0);
    std::memcpy(entry.data(), "HvLE", 4);
    WriteU32(entry.data() + 4, static_cast<std::uint32_t>(size));
    WriteU32(entry.data() + 12, sequence);
    WriteU32(entry.data() + 16, ReadU32(after.data() + kHiveBinsSizeOffset));
    WriteU32(entry.data() + 20, static_cast<std::uint32_t>(offsets.size()));
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        WriteU32(entry.data() + 40 + 8 * i, offsets[i]);
        WriteU32(entry.data() + 44 + 8 * i, 4096);
    }
    std::copy(pages.begin(), pages.end(), entry.begin() + static_cast<std::ptrdiff_t>(40 + 8 * offsets.size()));
    WriteU64(entry.data() + 24, Marvin32(entry.data() + 40, size - 40, kLogEntrySeed));
    WriteU64(entry.data() + 32, Marvin32(entry.data(), 32, kLogEntrySeed));

    Bytes log(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(kLogHeaderSize));
    WriteU32(log.data() + kFileTypeOffset, kFileNewLog);
    SetSequences(log, sequence, sequence);
    log.insert(log.end(), entry.begin(), entry.end());

    Bytes primary = before;
    SetSequences(primary, sequence + 1, sequence);
    if (!Write(out, primary) || !Write(out + ".LOG1", log)) {
        std::fprintf(stderr, "%s: cannot write\n", out.c_str());
        return 1;
    }
    std::printf("%zu pages\n", offsets.size());
    return 0;
}
