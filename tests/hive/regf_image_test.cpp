// Key names, subkey lists and lookup by name on crafted images: the shapes a
// planted hive uses to hide a key from a scanner or to stop it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/hive/regf_walk.h"
#include "tests/hive/allocation_probe.h"
#include "tests/hive/small_hive.h"

namespace vornex::hive {
namespace {

using testing::SmallHive;

std::optional<RegfImage> Open(const SmallHive& hive) {
    std::string why;
    auto image = hive.Parse(&why);
    if (!image) ADD_FAILURE() << "refused: " << why;
    return image;
}

std::vector<std::uint32_t> Cells(const std::vector<KeyRef>& keys) {
    std::vector<std::uint32_t> cells;
    for (const KeyRef key : keys) cells.push_back(key.cell);
    return cells;
}

std::optional<std::uint32_t> Find(const RegfImage& image, KeyRef parent, const std::u16string& name) {
    auto found = image.FindSubkey(parent, name);
    EXPECT_TRUE(found.ok()) << found.where;
    if (!found.value) return std::nullopt;
    return found.value->cell;
}

// ---- names ----

TEST(RegfNames, Utf16NamesAreReadUnitForUnitAndFoundByThemselves) {
    SmallHive hive;
    const std::vector<std::u16string> names = {
        std::u16string(u"calc.exe\0x", 10),      // NUL inside
        std::u16string(1, char16_t(0xD800)) + u".exe",  // lone high surrogate
        u"x" + std::u16string(1, char16_t(0xDC00)),     // lone low surrogate
        std::u16string{char16_t(0xDC00), char16_t(0xD800)},  // pair in the wrong order
        u"\U0001F600.exe",                       // a real pair
        u"a\\b.exe",                             // backslash
        u"line\r\nbreak",
        u"\u202Eexe.clac",                       // right-to-left override
        u"",                                     // empty
    };
    std::vector<std::uint32_t> keys;
    for (const auto& name : names) keys.push_back(hive.Key(name, false));
    hive.List(hive.root, "lh", keys);
    auto image = Open(hive);
    ASSERT_TRUE(image);
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto name = image->KeyName(KeyRef{keys[i]});
        ASSERT_TRUE(name.ok()) << name.where;
        EXPECT_EQ(name.value, names[i]) << i;
        EXPECT_EQ(Find(*image, image->Root(), names[i]), keys[i]) << i;
    }
    // A name's prefix up to an embedded NUL is another name.
    EXPECT_EQ(Find(*image, image->Root(), u"calc.exe"), std::nullopt);
}

TEST(RegfNames, Latin1NamesWidenEachByteToOneUnit) {
    SmallHive hive;
    std::u16string everyHighByte;
    for (char16_t byte = 0x80; byte <= 0xFF; ++byte) everyHighByte.push_back(byte);
    const std::uint32_t high = hive.Key(everyHighByte);
    const std::uint32_t ydiaeresis = hive.Key(u"\u00FFmage.exe");
    const std::uint32_t nul = hive.Key(std::u16string(u"a\0b", 3));
    hive.List(hive.root, "lf", {high, ydiaeresis, nul});
    auto image = Open(hive);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->KeyName(KeyRef{high}).value, everyHighByte);
    EXPECT_EQ(image->KeyName(KeyRef{nul}).value, std::u16string(u"a\0b", 3));
    EXPECT_EQ(image->KeyFlags(KeyRef{high}).value & 0x0020, 0x0020);
    // ÿ upper-cases to Ÿ, which is outside Latin-1: the widened name must
    // still compare as the registry compares it.
    EXPECT_EQ(Find(*image, image->Root(), u"\u0178MAGE.EXE"), ydiaeresis);
    EXPECT_EQ(Find(*image, image->Root(), u"YMAGE.EXE"), std::nullopt);
}

TEST(RegfNames, NamesThatDoNotFitAreErrorsNotTruncatedNames) {
    SmallHive hive;
    const std::uint32_t odd = hive.Key(u"ab", false);
    hive.builder.Patch16(odd, 72, 3);  // 3 bytes of UTF-16
    const std::uint32_t longer = hive.Key(u"abc");
    hive.builder.Patch16(longer, 72, 0xFFFF);
    const std::uint32_t target = hive.Key(u"target.exe");
    hive.List(hive.root, "lh", {odd, longer, target});
    auto image = Open(hive);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->KeyName(KeyRef{odd}).error, ReadError::kBadName);
    EXPECT_EQ(image->KeyName(KeyRef{longer}).error, ReadError::kBadName);
    // Neighbours of damaged names are still found; an absent name is not
    // claimed absent while two names could not be read.
    EXPECT_EQ(Find(*image, image->Root(), u"TARGET.EXE"), target);
    auto missing = image->FindSubkey(image->Root(), u"abc");
    EXPECT_EQ(missing.error, ReadError::kBadName);
    EXPECT_NE(missing.where.find("2 unreadable"), std::string::npos) << missing.where;
}

// ---- lookup ----

TEST(RegfLookup, DottedAndDotlessCapitalIAreDistinctFromIAndFromEachOther) {
    SmallHive hive;
    const std::uint32_t dotted = hive.Key(u"\u0130nstaller.exe", false);
    const std::uint32_t dotless = hive.Key(u"\u0131nstaller.exe", false);
    hive.List(hive.root, "lh", {dotted, dotless});
    auto image = Open(hive);
    ASSERT_TRUE(image);
    EXPECT_EQ(Find(*image, image->Root(), u"\u0130nstaller.exe"), dotted);
    EXPECT_EQ(Find(*image, image->Root(), u"\u0130NSTALLER.EXE"), dotted);
    EXPECT_EQ(Find(*image, image->Root(), u"\u0131nstaller.exe"), dotless);
    EXPECT_EQ(Find(*image, image->Root(), u"\u0131NSTALLER.exe"), dotless);
    EXPECT_EQ(Find(*image, image->Root(), u"INSTALLER.EXE"), std::nullopt);
    EXPECT_EQ(Find(*image, image->Root(), u"installer.exe"), std::nullopt);

    // With a plain ASCII key beside them, it alone answers to INSTALLER.EXE.
    SmallHive three;
    const std::vector<std::uint32_t> keys = {three.Key(u"\u0130nstaller.exe", false),
                                             three.Key(u"installer.exe"),
                                             three.Key(u"\u0131nstaller.exe", false)};
    three.List(three.root, "lf", keys);
    auto image3 = Open(three);
    ASSERT_TRUE(image3);
    auto all = image3->SubkeysNamed(image3->Root(), u"INSTALLER.EXE");
    ASSERT_TRUE(all.ok()) << all.where;
    EXPECT_EQ(Cells(all.value), std::vector<std::uint32_t>{keys[1]});
}

TEST(RegfLookup, ABackslashInsideANameIsPartOfThatOneName) {
    SmallHive hive;
    const std::uint32_t slashed = hive.Key(u"Image File Execution Options\\calc.exe");
    const std::uint32_t plain = hive.Key(u"Image File Execution Options");
    hive.List(hive.root, "lf", {slashed, plain});
    auto image = Open(hive);
    ASSERT_TRUE(image);
    EXPECT_EQ(Find(*image, image->Root(), u"image file execution options\\CALC.EXE"), slashed);
    EXPECT_EQ(Find(*image, image->Root(), u"Image File Execution Options"), plain);
    EXPECT_EQ(Find(*image, image->Root(), u"calc.exe"), std::nullopt);
}

TEST(RegfLookup, EveryKeyOfALargeUnsortedIndexRootIsFoundByItsName) {
    SmallHive hive;
    std::vector<std::u16string> names;
    for (int i = 0; i < 2400; ++i) {
        std::u16string name = u"key";
        for (const char c : std::to_string(i * 7919 % 10007)) name.push_back(static_cast<char16_t>(c));
        names.push_back(name + u".exe");
    }
    std::vector<std::uint32_t> keys;
    for (const auto& name : names) keys.push_back(hive.Key(name));
    // Stored out of order, as a planted list may be: a lookup must not rely
    // on the order Windows would have written.
    std::vector<std::uint32_t> stored = keys;
    std::shuffle(stored.begin(), stored.end(), std::mt19937(7));
    const auto third = static_cast<std::ptrdiff_t>(stored.size() / 3);
    const std::uint32_t li = hive.builder.AddList("li", {stored.begin(), stored.begin() + third});
    const std::uint32_t lf = hive.builder.AddList("lf", {stored.begin() + third, stored.begin() + 2 * third});
    const std::uint32_t lh = hive.builder.AddList("lh", {stored.begin() + 2 * third, stored.end()});
    const std::uint32_t ri = hive.builder.AddList("ri", {li, lf, lh});
    hive.builder.SetSubkeys(hive.root, ri, static_cast<std::uint32_t>(keys.size()));
    auto image = Open(hive);
    ASSERT_TRUE(image);

    auto subkeys = image->Subkeys(image->Root());
    ASSERT_TRUE(subkeys.ok()) << subkeys.where;
    EXPECT_EQ(Cells(subkeys.value), stored);
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::u16string upper = names[i];
        for (auto& unit : upper) unit = (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 32) : unit;
        ASSERT_EQ(Find(*image, image->Root(), upper), keys[i]) << i;
    }
    EXPECT_EQ(Find(*image, image->Root(), u"key.exe"), std::nullopt);
}

TEST(RegfLookup, RepeatedNamesAreAllReportedFirstStoredFirst) {
    SmallHive hive;
    const std::uint32_t first = hive.Key(u"calc.exe");
    const std::uint32_t other = hive.Key(u"notepad.exe");
    const std::uint32_t second = hive.Key(u"CALC.EXE");
    hive.List(hive.root, "lh", {first, other, second});
    auto image = Open(hive);
    ASSERT_TRUE(image);
    auto all = image->SubkeysNamed(image->Root(), u"Calc.Exe");
    ASSERT_TRUE(all.ok()) << all.where;
    EXPECT_EQ(Cells(all.value), (std::vector<std::uint32_t>{first, second}));
    EXPECT_EQ(Find(*image, image->Root(), u"calc.exe"), first);
}

TEST(RegfLookup, AKeyWithoutSubkeysIgnoresItsListField) {
    SmallHive hive;
    const std::uint32_t leaf = hive.Key(u"leaf");
    hive.List(hive.root, "lf", {leaf});
    hive.builder.Patch32(leaf, 28, 0x12345678);  // list offset, count 0
    auto image = Open(hive);
    ASSERT_TRUE(image);
    auto subkeys = image->Subkeys(KeyRef{leaf});
    ASSERT_TRUE(subkeys.ok()) << subkeys.where;
    EXPECT_TRUE(subkeys.value.empty());
    EXPECT_EQ(Find(*image, KeyRef{leaf}, u"x"), std::nullopt);
}

// ---- subkey lists ----

struct ListCase {
    const char* what;
    ReadError expected;
};

TEST(RegfLists, ListsWhoseCountsOrEntriesDoNotFitAreErrors) {
    SmallHive hive;
    const std::uint32_t a = hive.Key(u"a");
    const std::uint32_t b = hive.Key(u"b");
    const std::uint32_t leaf = hive.builder.AddList("lh", {a, b});
    auto parentWith = [&](const char* name, std::uint32_t list, std::uint32_t count) {
        const std::uint32_t key = hive.Key(std::u16string(name, name + std::char_traits<char>::length(name)));
        hive.builder.SetSubkeys(key, list, count);
        return key;
    };
    const std::uint32_t claimsMore = hive.builder.AddList("lf", {a, b});
    hive.builder.Patch16(claimsMore, 2, 400);  // 400 entries in a cell of 2
    const std::uint32_t riRepeats = hive.builder.AddList("ri", {leaf, leaf});
    // One leaf of 1000 entries named 900 times: read naively, 900,000 keys.
    std::vector<std::uint32_t> thousand(1000);
    for (std::uint32_t i = 0; i < thousand.size(); ++i) thousand[i] = 0x100000 + 8 * i;
    const std::uint32_t bigLeaf = hive.builder.AddList("li", thousand);
    const std::uint32_t riMultiplies = hive.builder.AddList("ri", std::vector<std::uint32_t>(900, bigLeaf));
    const std::uint32_t riSelf = hive.builder.AddList("ri", {0});
    hive.builder.Patch32(riSelf, 4, riSelf);
    const std::uint32_t innerRi = hive.builder.AddList("ri", {leaf});
    const std::uint32_t riNested = hive.builder.AddList("ri", {innerRi});
    const std::uint32_t riToKey = hive.builder.AddList("ri", {a});
    const std::uint32_t twice = hive.builder.AddList("li", {a, b, a});
    const std::uint32_t splitA = hive.builder.AddList("li", {a});
    const std::uint32_t splitA2 = hive.builder.AddList("lf", {a});
    const std::uint32_t riSameKeyTwice = hive.builder.AddList("ri", {splitA, splitA2});
    const std::uint32_t unknown = hive.builder.AddCell({'z', 'z', 1, 0, 0, 0, 0, 0});
    const std::uint32_t tiny = hive.builder.AddCell({'l', 'i'});

    const std::vector<std::pair<std::uint32_t, ListCase>> cases = {
        {parentWith("fewer", leaf, 3), {"count above the list's", ReadError::kBadList}},
        {parentWith("more", leaf, 1), {"count below the list's", ReadError::kBadList}},
        {parentWith("huge", leaf, 0xFFFFFFFFu), {"count near 2^32", ReadError::kBadList}},
        {parentWith("claims", claimsMore, 400), {"list count beyond its cell", ReadError::kBadList}},
        {parentWith("rirepeat", riRepeats, 4), {"index root repeats a leaf", ReadError::kDuplicate}},
        {parentWith("rimultiplies", riMultiplies, 900000), {"index root repeats a long leaf", ReadError::kDuplicate}},
        {parentWith("riself", riSelf, 1), {"index root lists itself", ReadError::kCycle}},
        {parentWith("rinested", riNested, 2), {"nested index roots", ReadError::kBadList}},
        {parentWith("ritokey", riToKey, 1), {"index root lists a key", ReadError::kBadList}},
        {parentWith("twice", twice, 3), {"a key listed twice", ReadError::kDuplicate}},
        {parentWith("split", riSameKeyTwice, 2), {"a key in two leaves", ReadError::kDuplicate}},
        {parentWith("unknown", unknown, 1), {"no list signature", ReadError::kBadSignature}},
        {parentWith("tiny", tiny, 1), {"list shorter than its header", ReadError::kBadList}},
        {parentWith("nil", 0xFFFFFFFFu, 1), {"nil list", ReadError::kBadCell}},
    };
    auto image = Open(hive);
    ASSERT_TRUE(image);
    for (const auto& [key, expect] : cases) {
        const testing::LargestAllocation largest;
        auto subkeys = image->Subkeys(KeyRef{key});
        EXPECT_EQ(subkeys.error, expect.expected) << expect.what << ": " << subkeys.where;
        EXPECT_FALSE(subkeys.where.empty()) << expect.what;
        EXPECT_TRUE(subkeys.value.empty()) << expect.what;
        EXPECT_EQ(image->FindSubkey(KeyRef{key}, u"a").error, expect.expected) << expect.what;
        EXPECT_LT(largest.bytes(), 4096u) << expect.what;
    }
}

TEST(RegfLists, AKeyThatListsItselfIsACycle) {
    SmallHive hive;
    const std::uint32_t loop = hive.Key(u"loop");
    hive.List(hive.root, "lf", {loop});
    hive.List(loop, "li", {loop});
    auto image = Open(hive);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Subkeys(KeyRef{loop}).error, ReadError::kCycle);
    EXPECT_EQ(image->FindSubkey(KeyRef{loop}, u"loop").error, ReadError::kCycle);
}

TEST(RegfLists, EveryListKindReadsInStoredOrder) {
    for (const char* kind : {"li", "lf", "lh"}) {
        SmallHive hive;
        const std::vector<std::uint32_t> keys = {hive.Key(u"zeta"), hive.Key(u"alpha"), hive.Key(u"Mid")};
        hive.List(hive.root, kind, keys);
        auto image = Open(hive);
    ASSERT_TRUE(image);
        auto subkeys = image->Subkeys(image->Root());
        ASSERT_TRUE(subkeys.ok()) << kind << ": " << subkeys.where;
        EXPECT_EQ(Cells(subkeys.value), keys) << kind;
        EXPECT_EQ(Find(*image, image->Root(), u"MID"), keys[2]) << kind;
    }
}

// ---- whole-tree walk ----

TEST(RegfWalk, KeysThatListEachOtherAreWalkedOnce) {
    SmallHive hive;
    const std::uint32_t a = hive.Key(u"a");
    const std::uint32_t b = hive.KeyUnder(a, u"b");
    const std::uint32_t c = hive.KeyUnder(b, u"c");
    hive.List(hive.root, "lf", {a});
    hive.List(a, "lf", {b});
    hive.List(b, "lh", {c, a});   // back up to a
    hive.List(c, "li", {hive.root});  // and to the root
    auto image = Open(hive);
    ASSERT_TRUE(image);
    std::vector<std::uint32_t> visited;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> repeats;
    const WalkCounts counts = WalkKeys(*image, {[&](KeyRef key, std::size_t) { visited.push_back(key.cell); },
                                               [&](KeyRef parent, KeyRef again) {
                                                   repeats.emplace_back(parent.cell, again.cell);
                                               },
                                               nullptr});
    EXPECT_EQ(visited, (std::vector<std::uint32_t>{hive.root, a, b, c}));
    EXPECT_EQ(repeats, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{b, a}, {c, hive.root}}));
    EXPECT_EQ(counts.keys, 4u);
    EXPECT_EQ(counts.repeats, 2u);
}

TEST(RegfWalk, DamageBelowOneKeyDoesNotStopTheWalk) {
    SmallHive hive;
    const std::uint32_t broken = hive.Key(u"broken");
    const std::uint32_t fine = hive.Key(u"fine");
    const std::uint32_t deep = hive.KeyUnder(fine, u"deep");
    hive.List(hive.root, "lf", {broken, fine});
    hive.builder.SetSubkeys(broken, 0x7FFFFFF8u, 5);
    hive.List(fine, "lf", {deep});
    auto image = Open(hive);
    ASSERT_TRUE(image);
    std::vector<std::uint32_t> visited, damaged;
    const WalkCounts counts = WalkKeys(*image, {[&](KeyRef key, std::size_t) { visited.push_back(key.cell); },
                                               nullptr,
                                               [&](KeyRef key, ReadError error, const std::string&) {
                                                   damaged.push_back(key.cell);
                                                   EXPECT_EQ(error, ReadError::kBadCell);
                                               }});
    EXPECT_EQ(visited, (std::vector<std::uint32_t>{hive.root, broken, fine, deep}));
    EXPECT_EQ(damaged, std::vector<std::uint32_t>{broken});
    EXPECT_EQ(counts.damaged, 1u);
}

}  // namespace
}  // namespace vornex::hive
