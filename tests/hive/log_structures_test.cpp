// Each structure of a hive's logs checked alone: a valid one, then one damage
// at a time and the refusal it must meet.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "stores/hive/base_block.h"
#include "stores/hive/dirty_vector.h"
#include "stores/hive/log_entry.h"
#include "tests/hive/log_crafting.h"

namespace vornex::hive {
namespace {

using Mutation = std::function<void(Bytes&)>;

TEST(LogStructures, BaseBlock) {
    Bytes valid(kBaseBlockSize, 0);
    std::memcpy(valid.data(), "regf", 4);
    SetSeqs(valid, 9, 9);
    const struct {
        const char* what;
        Mutation damage;
        bool signature, complete, checksum, needsRecovery;
    } rows[] = {
        {"valid", [](Bytes&) {}, true, true, true, false},
        {"3 bytes", [](Bytes& b) { b.resize(3); }, false, false, false, true},
        {"511 bytes", [](Bytes& b) { b.resize(511); }, true, false, false, true},
        {"no signature", [](Bytes& b) {
             b[3] = 'F';
             Seal(b);
         }, false, true, true, true},
        {"bad checksum", [](Bytes& b) { b[kChecksumOffset] ^= 1; }, true, true, false, true},
        {"the last covered byte changed", [](Bytes& b) { b[kChecksumOffset - 1] ^= 1; }, true, true, false, true},
        {"sequence numbers apart", [](Bytes& b) { SetSeqs(b, 10, 9); }, true, true, true, true},
    };
    for (const auto& row : rows) {
        Bytes b = valid;
        row.damage(b);
        const BaseBlock bb = ParseBaseBlock(b.data(), b.size());
        EXPECT_EQ(std::make_tuple(bb.hasSignature, bb.complete, bb.checksumOk, bb.valid),
                  std::make_tuple(row.signature, row.complete, row.checksum, row.signature && row.checksum))
            << row.what;
        EXPECT_EQ(bb.needsRecovery(), row.needsRecovery) << row.what;
    }
}

TEST(LogStructures, LogEntry) {
    // Entry 7 of a hive with 0x5000 bytes of bins: one page, at 0x1000.
    const Bytes valid = MakeEntry({7, 0x5000, {{0x1000, Bytes(4096, 0xA5)}}, 1});
    const struct {
        const char* what;
        Mutation damage;
        bool rehash;
        EntryStatus status;
        const char* why;
    } rows[] = {
        {"valid", [](Bytes&) {}, false, EntryStatus::kOk, ""},
        {"39 bytes", [](Bytes& e) { e.resize(39); }, false, EntryStatus::kEnd, ""},
        {"no signature", [](Bytes& e) { e[0] = 0; }, false, EntryStatus::kEnd, ""},
        {"size 0", [](Bytes& e) { WriteU32(&e[4], 0); }, false, EntryStatus::kBad, "size 0x0 is not a multiple of 512"},
        {"size not a multiple", [](Bytes& e) { WriteU32(&e[4], 0x1100); }, false, EntryStatus::kBad,
         "size 0x1100 is not a multiple of 512"},
        {"size past the log", [](Bytes& e) { WriteU32(&e[4], 0x1400); }, false, EntryStatus::kBad,
         "size 0x1400 runs past the end of the log"},
        {"header changed", [](Bytes& e) { e[8] ^= 1; }, false, EntryStatus::kBad, "header hash mismatch"},
        {"page data changed", [](Bytes& e) { e[0x100] ^= 1; }, false, EntryStatus::kBad, "hash mismatch"},
        {"another number", [](Bytes& e) { WriteU32(&e[12], 8); }, true, EntryStatus::kBad, "sequence 8, expected 7"},
        {"bins size not a multiple", [](Bytes& e) { WriteU32(&e[16], 0x5200); }, true, EntryStatus::kBad,
         "hive bins size 0x5200 is not a multiple of 4096"},
        {"no pages", [](Bytes& e) { WriteU32(&e[20], 0); }, true, EntryStatus::kBad, "no dirty pages"},
        {"count past the entry", [](Bytes& e) { WriteU32(&e[20], 0x20000000); }, true, EntryStatus::kBad,
         "page count 536870912 does not fit the entry"},
        {"page size not a multiple", [](Bytes& e) { WriteU32(&e[44], 0x800); }, true, EntryStatus::kBad,
         "page 1 size 0x800 is not a multiple of 4096"},
        {"page past the bins", [](Bytes& e) { WriteU32(&e[40], 0x4800); }, true, EntryStatus::kBad,
         "page 1 at 0x4800 lies past the hive bins size 0x5000"},
        {"page end past 4 GiB", [](Bytes& e) {
             WriteU32(&e[40], 0xFFFFF000u);
             WriteU32(&e[44], 0x2000);
         },
         true, EntryStatus::kBad, "page 1 at 0xFFFFF000 lies past the hive bins size 0x5000"},
        {"page past the entry", [](Bytes& e) { WriteU32(&e[44], 0x2000); }, true, EntryStatus::kBad,
         "pages run past the entry's size"},
    };
    for (const auto& row : rows) {
        Bytes e = valid;
        row.damage(e);
        if (row.rehash) RehashEntry(e, 0);
        LogEntry entry;
        std::string why;
        EXPECT_EQ(ReadLogEntry(e.data(), e.size(), 7, &entry, &why), row.status) << row.what;
        EXPECT_EQ(why, row.why) << row.what;
    }
    LogEntry entry;
    std::string why;
    ASSERT_EQ(ReadLogEntry(valid.data(), valid.size(), 7, &entry, &why), EntryStatus::kOk);
    EXPECT_EQ(std::make_tuple(entry.size, entry.seq, entry.hiveBinsSize, entry.ktmLocked, entry.pageBytes),
              std::make_tuple(0x1200u, 7u, 0x5000u, true, std::uint64_t{4096}));
    ASSERT_EQ(entry.pages.size(), 1u);
    EXPECT_EQ(std::make_tuple(entry.pages[0].offset, entry.pages[0].size, entry.pages[0].data - valid.data()),
              std::make_tuple(0x1000u, 4096u, std::ptrdiff_t{48}));
}

TEST(LogStructures, DirtyVector) {
    // 0x2000 bytes of bins, 16 pages of 512: 0, 2 and 15 dirty, their bytes from 512 on.
    Bytes valid(4 * 512, 0);
    std::memcpy(valid.data(), "DIRT", 4);
    valid[4] = 0x05;
    valid[5] = 0x80;
    const struct {
        const char* what;
        Mutation damage;
        std::uint32_t binsSize;
        const char* why;
    } rows[] = {
        {"valid", [](Bytes&) {}, 0x2000, ""},
        {"bins size 0", [](Bytes&) {}, 0, "hive bins size 0x0 is not a multiple of 4096"},
        {"bins size not a multiple", [](Bytes&) {}, 0x2200, "hive bins size 0x2200 is not a multiple of 4096"},
        {"no signature", [](Bytes& v) { v[0] = 'd'; }, 0x2000, "no dirty vector (DIRT)"},
        {"bitmap past the log", [](Bytes&) {}, 0x1000000, "dirty vector cut short"},
        {"a page missing", [](Bytes& v) { v.resize(3 * 512 + 511); }, 0x2000, "holds 2 of its 3 dirty pages"},
        {"more bits than pages", [](Bytes& v) { v[5] = 0xFF; }, 0x2000, "holds 3 of its 10 dirty pages"},
    };
    for (const auto& row : rows) {
        Bytes v = valid;
        row.damage(v);
        std::string why;
        EXPECT_EQ(ReadDirtyVector(v.data(), v.size(), row.binsSize, &why).has_value(), *row.why == '\0') << row.what;
        EXPECT_EQ(why, row.why) << row.what;
    }
    std::string why;
    const std::optional<std::vector<DirtyPage>> dirty = ReadDirtyVector(valid.data(), valid.size(), 0x2000, &why);
    ASSERT_TRUE(dirty) << why;
    std::vector<std::pair<std::uint32_t, std::ptrdiff_t>> pages;  // offset in the bins, in the log
    for (const DirtyPage& page : *dirty) pages.emplace_back(page.offset, page.data - valid.data());
    EXPECT_EQ(pages, (decltype(pages){{0, 512}, {0x400, 1024}, {0x1E00, 1536}}));
}

}  // namespace
}  // namespace vornex::hive
