#include "tests/cli/empty_hive.h"

#include <cstdint>
#include <cstring>
#include <fstream>

namespace vornex::testing {

namespace {

constexpr std::size_t kBaseBlockSize = 0x1000;
constexpr std::size_t kBinSize = 0x1000;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

void Put16(std::vector<unsigned char>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<unsigned char>(v & 0xFF);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void Put32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}
std::uint32_t Get32(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
void PutText(std::vector<unsigned char>& b, std::size_t at, const char* text) {
    std::memcpy(b.data() + at, text, std::strlen(text));
}

}  // namespace

void FixHeaderChecksum(std::vector<unsigned char>& hive) {
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < 0x1FC; at += 4) sum ^= Get32(hive, at);
    Put32(hive, 0x1FC, sum);
}

std::vector<unsigned char> EmptyHiveBytes() {
    std::vector<unsigned char> hive(kBaseBlockSize + kBinSize, 0);
    // Cell offsets below are relative to the first bin, as the format has them.
    constexpr std::uint32_t kRootCell = 0x20;
    constexpr std::uint32_t kRootName = 4;  // "ROOT"
    constexpr std::uint32_t kRootCellSize = 0x50 + 8;  // header, name, rounded to 8
    constexpr std::uint32_t kSkCell = kRootCell + kRootCellSize;
    constexpr std::uint32_t kDescriptorSize = 20;       // self-relative, no owner or ACLs
    constexpr std::uint32_t kSkCellSize = 0x18 + 24;    // header, descriptor, rounded to 8
    constexpr std::uint32_t kFreeCell = kSkCell + kSkCellSize;

    // Base block: signature, equal sequence numbers (cleanly written),
    // version 1.3, primary file, direct-memory-load format.
    PutText(hive, 0x00, "regf");
    Put32(hive, 0x04, 1);
    Put32(hive, 0x08, 1);
    Put32(hive, 0x14, 1);
    Put32(hive, 0x18, 3);
    Put32(hive, 0x1C, 0);
    Put32(hive, 0x20, 1);
    Put32(hive, 0x24, kRootCell);
    Put32(hive, 0x28, static_cast<std::uint32_t>(kBinSize));
    Put32(hive, 0x2C, 1);

    const std::size_t bin = kBaseBlockSize;
    PutText(hive, bin + 0x00, "hbin");
    Put32(hive, bin + 0x04, 0);
    Put32(hive, bin + 0x08, static_cast<std::uint32_t>(kBinSize));

    // Root key: allocated cells carry a negative size.
    const std::size_t nk = bin + kRootCell;
    Put32(hive, nk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(kRootCellSize)));
    PutText(hive, nk + 0x04, "nk");
    Put16(hive, nk + 0x06, 0x002C);  // hive entry, no delete, compressed (Latin-1) name
    Put32(hive, nk + 0x14, kNone);   // parent
    Put32(hive, nk + 0x20, kNone);   // subkey list
    Put32(hive, nk + 0x24, kNone);   // volatile subkey list
    Put32(hive, nk + 0x2C, kNone);   // value list
    Put32(hive, nk + 0x30, kSkCell);
    Put32(hive, nk + 0x34, kNone);   // class name
    Put16(hive, nk + 0x4C, static_cast<std::uint16_t>(kRootName));
    PutText(hive, nk + 0x50, "ROOT");

    // Security cell, the only one, so its list links point at itself.
    const std::size_t sk = bin + kSkCell;
    Put32(hive, sk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(kSkCellSize)));
    PutText(hive, sk + 0x04, "sk");
    Put32(hive, sk + 0x08, kSkCell);
    Put32(hive, sk + 0x0C, kSkCell);
    Put32(hive, sk + 0x10, 1);  // reference count: the root
    Put32(hive, sk + 0x14, kDescriptorSize);
    hive[sk + 0x18] = 1;            // revision
    Put16(hive, sk + 0x1A, 0x8000);  // self-relative

    // The rest of the bin is one free cell (positive size).
    Put32(hive, bin + kFreeCell, static_cast<std::uint32_t>(kBinSize - kFreeCell));

    FixHeaderChecksum(hive);
    return hive;
}

bool WriteEmptyHive(const std::string& path) {
    const std::vector<unsigned char> bytes = EmptyHiveBytes();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace vornex::testing
