// Each structure's own check, one table of damaged forms per structure: the
// check alone must refuse each form, whatever reads it (reader, writer,
// reference walk).
#include <gtest/gtest.h>

#include "stores/hive/regf_key_node.h"
#include "stores/hive/regf_security.h"
#include "stores/hive/regf_value_node.h"
#include "tests/hive/small_hive.h"

namespace vornex::hive {
namespace {

using testing::SmallHive;

struct Cells {
    std::uint32_t key = 0;
    std::uint32_t value = 0;
    std::uint32_t sk = 0;
};

struct Row {
    const char *what;
    void (*damage)(SmallHive &, Cells &);
    ReadError expected;
};

void Intact(SmallHive &, Cells &) {}

template <typename Read>
void ExpectEachRefused(const std::vector<Row> &rows, Read read) {
    for (const Row &row : rows) {
        SmallHive hive;
        Cells cells{hive.Key(u"k"), hive.builder.AddStringValue(u"v", u"x"), 0};
        std::vector<unsigned char> sk(24, 0);
        sk[0] = 's', sk[1] = 'k';
        cells.sk = hive.builder.AddCell(sk);
        row.damage(hive, cells);
        auto image = hive.Parse(nullptr);
        ASSERT_TRUE(image) << row.what;
        const Failure failure = read(*image, cells);
        EXPECT_EQ(failure.error, row.expected) << row.what << ": " << failure.where;
        EXPECT_EQ(failure.where.empty(), row.expected == ReadError::kNone) << row.what;
    }
}

TEST(RegfStructures, KeyNode) {
    ExpectEachRefused(
        {
            {"intact", Intact, ReadError::kNone},
            {"no nk signature", [](SmallHive &h, Cells &c) { h.builder.Patch16(c.key, 0, 0x6b76); },
             ReadError::kBadSignature},
            {"shorter than its fixed part",
             [](SmallHive &h, Cells &c) {
                 c.key = h.builder.AddCell({'n', 'k', 0, 0});
             },
             ReadError::kBadSignature},
            {"name past its cell", [](SmallHive &h, Cells &c) { h.builder.Patch16(c.key, 72, 0xFFFF); },
             ReadError::kBadName},
            {"UTF-16 name of odd length",
             [](SmallHive &h, Cells &c) { h.builder.Patch16(c.key, 2, 0), h.builder.Patch16(c.key, 72, 1); },
             ReadError::kBadName},
            {"a free cell", [](SmallHive &h, Cells &c) { c.key = h.builder.AddFreeCell(96); }, ReadError::kBadCell},
            {"inside its cell", [](SmallHive &, Cells &c) { c.key += 8; }, ReadError::kBadCell},
            {"unaligned", [](SmallHive &, Cells &c) { c.key += 3; }, ReadError::kBadCell},
            {"past the bins", [](SmallHive &, Cells &c) { c.key = 0x7FFFFFF8; }, ReadError::kBadCell},
        },
        [](const RegfImage &image, const Cells &c) {
            KeyNode node;
            return ReadKeyNode(image, KeyRef{c.key}, &node);
        });
}

TEST(RegfStructures, Value) {
    ExpectEachRefused(
        {
            {"intact", Intact, ReadError::kNone},
            {"no vk signature", [](SmallHive &h, Cells &c) { h.builder.Patch16(c.value, 0, 0x6b6e); },
             ReadError::kBadSignature},
            {"shorter than its fixed part",
             [](SmallHive &h, Cells &c) {
                 c.value = h.builder.AddCell({'v', 'k', 0, 0});
             },
             ReadError::kBadSignature},
            {"name past its cell", [](SmallHive &h, Cells &c) { h.builder.Patch16(c.value, 2, 0xFFFF); },
             ReadError::kBadName},
            {"UTF-16 name of odd length",
             [](SmallHive &h, Cells &c) { h.builder.Patch16(c.value, 16, 0), h.builder.Patch16(c.value, 2, 1); },
             ReadError::kBadName},
            {"a free cell", [](SmallHive &h, Cells &c) { c.value = h.builder.AddFreeCell(32); }, ReadError::kBadCell},
        },
        [](const RegfImage &image, const Cells &c) {
            ValueNode value;
            return ReadValueNode(image, c.value, &value);
        });
}

TEST(RegfStructures, SecurityDescriptor) {
    ExpectEachRefused(
        {
            {"intact", Intact, ReadError::kNone},
            {"no sk signature", [](SmallHive &h, Cells &c) { h.builder.Patch16(c.sk, 0, 0x6b6e); },
             ReadError::kBadSignature},
            {"shorter than its header",
             [](SmallHive &h, Cells &c) {
                 c.sk = h.builder.AddCell({'s', 'k', 0, 0});
             },
             ReadError::kBadSignature},
            {"a key node", [](SmallHive &, Cells &c) { c.sk = c.key; }, ReadError::kBadSignature},
        },
        [](const RegfImage &image, const Cells &c) {
            SecurityCell sk;
            return ReadSecurityCell(image, c.sk, &sk);
        });
}

TEST(RegfStructures, Bin) {
    struct BinRow {
        const char *what;
        std::uint32_t at;
        std::uint32_t value;
        bool valid;
    };
    const BinRow rows[] = {
        {"intact", 8, 4096, true},
        {"no hbin signature", 0, 0x6e696278, false},
        {"another offset", 4, 4096, false},
        {"size 0", 8, 0, false},
        {"size not a multiple of 4 KiB", 8, 4097, false},
        {"size past the bins", 8, 8192, false},
    };
    for (const BinRow &row : rows) {
        SmallHive hive;
        hive.builder.PatchBins(
            row.at, {static_cast<unsigned char>(row.value), static_cast<unsigned char>(row.value >> 8),
                     static_cast<unsigned char>(row.value >> 16), static_cast<unsigned char>(row.value >> 24)});
        const std::vector<unsigned char> bytes = hive.Bytes();
        ASSERT_EQ(hive.builder.BinsSize(), 4096u);
        EXPECT_EQ(ReadBin(bytes.data() + kBaseBlockSize, 0, 4096).has_value(), row.valid) << row.what;
    }
}

}  // namespace
}  // namespace vornex::hive
