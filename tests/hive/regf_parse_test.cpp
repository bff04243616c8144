// Base block, bins and cells: what Parse refuses, and damage inside the bins
// that must stay local to the cells it touches.
#include <gtest/gtest.h>

#include <functional>

#include "tests/hive/small_hive.h"

namespace vornex::hive {
namespace {

using testing::SmallHive;

void Put32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

struct Refusal {
    const char* what;
    std::function<void(std::vector<unsigned char>&)> damage;
    const char* reasonMentions;
};

TEST(RegfParse, RefusesWhatIsNotAPrimaryHiveWithAReason) {
    SmallHive hive;
    const std::uint32_t value = hive.builder.AddStringValue(u"v", u"x");
    const std::uint32_t freeCell = hive.builder.AddFreeCell(100);
    const std::vector<Refusal> refusals = {
        {"short file", [](auto& b) { b.resize(100); }, "shorter"},
        {"no signature", [](auto& b) { b[3] = 'X'; }, "signature"},
        {"major version 2", [](auto& b) { Put32(b, 20, 2); }, "version"},
        {"minor version 1", [](auto& b) { Put32(b, 24, 1); }, "version"},
        {"minor version 7", [](auto& b) { Put32(b, 24, 7); }, "version"},
        {"a log file", [](auto& b) { Put32(b, 28, 6); }, "primary"},
        {"unknown format", [](auto& b) { Put32(b, 32, 2); }, "format"},
        {"bins size zero", [](auto& b) { Put32(b, 40, 0); }, "multiple of 4096"},
        {"bins size unaligned", [](auto& b) { Put32(b, 40, 0x1001); }, "multiple of 4096"},
        {"bins past the end", [](auto& b) { Put32(b, 40, 0x100000); }, "runs past"},
        {"bins size near 4 GiB", [](auto& b) { Put32(b, 40, 0xFFFFF000u); }, "runs past"},
        {"root is a value", [value](auto& b) { Put32(b, 36, value); }, "root"},
        {"root is a free cell", [freeCell](auto& b) { Put32(b, 36, freeCell); }, "root"},
        {"root outside the bins", [](auto& b) { Put32(b, 36, 0xFFFFFFF0u); }, "root"},
        {"root not a cell start", [&hive](auto& b) { Put32(b, 36, hive.root + 8); }, "root"},
        {"no bin header", [](auto& b) { b[4096] = 'x'; }, "bin"},
    };
    const std::vector<unsigned char> good = hive.Bytes();
    std::string why;
    ASSERT_TRUE(RegfImage::Parse(good, &why)) << why;
    for (const Refusal& refusal : refusals) {
        std::vector<unsigned char> bad = good;
        refusal.damage(bad);
        why.clear();
        EXPECT_FALSE(RegfImage::Parse(bad, &why)) << refusal.what;
        EXPECT_NE(why.find(refusal.reasonMentions), std::string::npos) << refusal.what << ": " << why;
    }
}

TEST(RegfParse, ReportsChecksumAndDirtinessWithoutRefusing) {
    SmallHive hive;
    std::vector<unsigned char> bytes = hive.Bytes();
    std::string why;
    auto clean = RegfImage::Parse(bytes, &why);
    ASSERT_TRUE(clean) << why;
    EXPECT_TRUE(clean->Base().checksumOk);
    EXPECT_EQ(clean->Base().primarySeq, clean->Base().secondarySeq);

    Put32(bytes, 8, 7);  // secondary sequence differs: Windows would replay logs
    auto dirty = RegfImage::Parse(bytes, &why);
    ASSERT_TRUE(dirty) << why;
    EXPECT_FALSE(dirty->Base().checksumOk);
    EXPECT_NE(dirty->Base().primarySeq, dirty->Base().secondarySeq);
    EXPECT_TRUE(dirty->KeyName(dirty->Root()).ok());
}

TEST(RegfParse, IgnoresBytesPastTheBins) {
    SmallHive hive;
    const std::uint32_t child = hive.Key(u"child");
    hive.List(hive.root, "lh", {child});
    std::vector<unsigned char> bytes = hive.Bytes();
    const std::size_t binsEnd = bytes.size();
    // Slack that looks like one more bin with a key in it.
    bytes.resize(binsEnd + 4096, 0);
    bytes[binsEnd] = 'h', bytes[binsEnd + 1] = 'b', bytes[binsEnd + 2] = 'i', bytes[binsEnd + 3] = 'n';
    std::string why;
    auto image = RegfImage::Parse(bytes, &why);
    ASSERT_TRUE(image) << why;
    EXPECT_EQ(image->Base().hiveBinsSize, binsEnd - 4096);
    auto subkeys = image->Subkeys(image->Root());
    ASSERT_TRUE(subkeys.ok()) << subkeys.where;
    EXPECT_EQ(subkeys.value.size(), 1u);
    EXPECT_EQ(image->KeyName(KeyRef{static_cast<std::uint32_t>(binsEnd - 4096 + 32)}).error, ReadError::kBadCell);
}

// Offsets that do not lead to an allocated cell start: each is an error of
// its own, the other subkeys stay readable.
TEST(RegfCells, ReferencesThatAreNotAllocatedCellStartsAreErrors) {
    SmallHive hive;
    const std::uint32_t good = hive.Key(u"good");
    const std::uint32_t freeCell = hive.builder.AddFreeCell(120);
    const std::vector<std::uint32_t> bad = {
        good + 8,               // inside a cell
        good + 2,               // unaligned
        freeCell,               // free
        0xFFFFFFFFu,            // nil
        static_cast<std::uint32_t>(hive.builder.BinsSize()),  // just past the bins
        0x7FFFFFF8u,            // far past
        0,                      // the bin header
    };
    std::vector<std::uint32_t> children = {good};
    children.insert(children.end(), bad.begin(), bad.end());
    hive.List(hive.root, "li", children);
    std::string why;
    auto image = hive.Parse(&why);
    ASSERT_TRUE(image) << why;
    auto subkeys = image->Subkeys(image->Root());
    ASSERT_TRUE(subkeys.ok()) << subkeys.where;
    ASSERT_EQ(subkeys.value.size(), children.size());
    for (const std::uint32_t cell : bad) {
        const auto name = image->KeyName(KeyRef{cell});
        EXPECT_EQ(name.error, ReadError::kBadCell) << std::hex << cell;
        EXPECT_FALSE(name.where.empty());
    }
    auto found = image->FindSubkey(image->Root(), u"GOOD");
    ASSERT_TRUE(found.ok()) << found.where;
    ASSERT_TRUE(found.value.has_value());
    EXPECT_EQ(found.value->cell, good);
    // Not found among the readable ones, and others unreadable: not "absent".
    EXPECT_EQ(image->FindSubkey(image->Root(), u"other").error, ReadError::kBadCell);
}

TEST(RegfCells, AKeyCellOfAnotherKindIsABadSignature) {
    SmallHive hive;
    const std::uint32_t value = hive.builder.AddStringValue(u"Debugger", u"x");
    const std::uint32_t shortCell = hive.builder.AddCell({'n', 'k', 0, 0});
    hive.List(hive.root, "li", {value, shortCell});
    std::string why;
    auto image = hive.Parse(&why);
    ASSERT_TRUE(image) << why;
    EXPECT_EQ(image->KeyName(KeyRef{value}).error, ReadError::kBadSignature);
    EXPECT_EQ(image->KeyName(KeyRef{shortCell}).error, ReadError::kBadSignature);
}

TEST(RegfBins, ADamagedBinHidesOnlyItsOwnCells) {
    SmallHive hive;
    const std::uint32_t first = hive.Key(u"first");
    hive.builder.AddFreeCell(4000);  // fills the first bin
    const std::uint32_t middle = hive.Key(u"middle");
    hive.builder.AddFreeCell(4000);
    const std::uint32_t last = hive.Key(u"last");
    hive.List(hive.root, "lf", {first, middle, last});
    const std::uint32_t middleBin = middle / 4096 * 4096;
    ASSERT_NE(middleBin, first / 4096 * 4096);
    ASSERT_NE(middleBin, last / 4096 * 4096);
    hive.builder.PatchBins(middleBin, {'b', 'a', 'd', '!'});
    std::string why;
    auto image = hive.Parse(&why);
    ASSERT_TRUE(image) << why;
    EXPECT_FALSE(ReadBin(image->Bytes().data() + kBaseBlockSize, middleBin, image->Base().hiveBinsSize));
    EXPECT_TRUE(image->KeyName(KeyRef{first}).ok());
    EXPECT_TRUE(image->KeyName(KeyRef{last}).ok());
    EXPECT_EQ(image->KeyName(KeyRef{middle}).error, ReadError::kBadCell);
}

TEST(RegfBins, ABrokenCellChainEndsItsBinOnly) {
    SmallHive hive;
    const std::uint32_t before = hive.Key(u"before");
    const std::uint32_t breaker = hive.builder.AddCell(std::vector<unsigned char>(60, 0));
    const std::uint32_t after = hive.Key(u"after");
    hive.List(hive.root, "lf", {before, after});
    // A cell whose size runs past its bin: Windows would not trust the cells
    // behind it either.
    hive.builder.PatchBins(breaker, {0x00, 0x00, 0xFF, 0xFF});  // -65536
    std::string why;
    auto image = hive.Parse(&why);
    ASSERT_TRUE(image) << why;
    EXPECT_TRUE(image->KeyName(KeyRef{before}).ok());
    EXPECT_EQ(image->KeyName(KeyRef{after}).error, ReadError::kBadCell);
}

}  // namespace
}  // namespace vornex::hive
