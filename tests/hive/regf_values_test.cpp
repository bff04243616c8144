// Values and their data on crafted images: a Debugger value must be found
// past hostile neighbours, and no length field may buy an allocation.
#include <gtest/gtest.h>

#include "tests/hive/allocation_probe.h"
#include "tests/hive/small_hive.h"

namespace vornex::hive {
namespace {

using testing::LargestAllocation;
using testing::SmallHive;
using testing::ValueFields;

std::optional<RegfImage> Open(const SmallHive& hive) {
    std::string why;
    auto image = hive.Parse(&why);
    if (!image) ADD_FAILURE() << "refused: " << why;
    return image;
}

std::vector<unsigned char> Sz(const std::u16string& text) {
    std::vector<unsigned char> bytes = testing::Utf16Bytes(text);
    bytes.push_back(0), bytes.push_back(0);
    return bytes;
}

std::uint32_t OddName(SmallHive& hive, const std::u16string& name) {
    ValueFields shape;
    shape.name = name;
    shape.latin1 = false;
    const std::uint32_t cell = hive.builder.AddValue(shape);
    hive.builder.Patch16(cell, 2, static_cast<std::uint16_t>(name.size() * 2 - 1));
    return cell;
}

TEST(RegfValues, DebuggerIsFoundAfterNamesNoTextDecoderAccepts) {
    SmallHive hive;
    const std::u16string loneSurrogate = u"Debugger" + std::u16string(1, char16_t(0xD800));
    ValueFields latin1;
    latin1.name = u"\u00FE\u0080\u00FF";  // bytes FE 80 FF
    latin1.dataSize = 0x80000000u;
    const std::vector<std::uint32_t> values = {hive.builder.AddStringValue(loneSurrogate, u"decoy", false),
                                               hive.builder.AddValue(latin1),
                                               hive.builder.AddStringValue(u"Debugger", u"evil.exe")};
    hive.Values(hive.root, values);
    auto image = Open(hive);
    ASSERT_TRUE(image);

    auto all = image->Values(image->Root());
    ASSERT_TRUE(all.ok()) << all.where;
    ASSERT_EQ(all.value.size(), 3u);
    EXPECT_EQ(all.value[0].name, loneSurrogate);
    EXPECT_EQ(all.value[1].name, u"\u00FE\u0080\u00FF");
    EXPECT_EQ(all.value[2].name, u"Debugger");

    auto debugger = image->FindValue(image->Root(), u"DEBUGGER");
    ASSERT_TRUE(debugger.ok()) << debugger.where;
    ASSERT_TRUE(debugger.value.has_value());
    EXPECT_EQ(debugger.value->cell, values[2]);
    EXPECT_EQ(debugger.value->type, 1u);
    auto data = image->ValueData(*debugger.value);
    ASSERT_TRUE(data.ok()) << data.where;
    EXPECT_EQ(data.value, Sz(u"evil.exe"));
}

TEST(RegfValues, DebuggerIsFoundPastUnreadableValuesAndAbsenceIsNotClaimed) {
    SmallHive hive;
    const std::uint32_t freeCell = hive.builder.AddFreeCell(40);
    const std::uint32_t debugger = hive.builder.AddStringValue(u"Debugger", u"cmd.exe");
    const std::uint32_t notAValue = hive.builder.AddList("li", {});
    hive.Values(hive.root, {freeCell, OddName(hive, u"Debugger"), 0x7FFFFFF8u, notAValue, debugger});
    auto image = Open(hive);
    ASSERT_TRUE(image);

    auto found = image->FindValue(image->Root(), u"debugger");
    ASSERT_TRUE(found.ok()) << found.where;
    ASSERT_TRUE(found.value.has_value());
    EXPECT_EQ(found.value->cell, debugger);

    auto missing = image->FindValue(image->Root(), u"GlobalFlag");
    EXPECT_EQ(missing.error, ReadError::kBadCell);
    EXPECT_NE(missing.where.find("4 unreadable"), std::string::npos) << missing.where;

    auto all = image->Values(image->Root());
    EXPECT_FALSE(all.ok());
    EXPECT_TRUE(all.value.empty());
}

TEST(RegfValues, TheFirstOfTwoValuesOfOneNameIsTheOneFound) {
    SmallHive hive;
    const std::uint32_t first = hive.builder.AddStringValue(u"debugger", u"first.exe");
    const std::uint32_t second = hive.builder.AddStringValue(u"DEBUGGER", u"second.exe");
    hive.Values(hive.root, {first, second});
    auto image = Open(hive);
    ASSERT_TRUE(image);
    auto found = image->FindValue(image->Root(), u"Debugger");
    ASSERT_TRUE(found.ok() && found.value) << found.where;
    EXPECT_EQ(found.value->cell, first);
    EXPECT_EQ(found.value->name, u"debugger");
}

TEST(RegfValues, ValueListsThatDoNotFitAreErrors) {
    SmallHive hive;
    const std::uint32_t value = hive.builder.AddStringValue(u"Debugger", u"x");
    const std::uint32_t overCount = hive.Key(u"over");
    hive.builder.SetValues(overCount, hive.builder.AddValueList({value}), 0x40000000u);
    const std::uint32_t twice = hive.Key(u"twice");
    hive.builder.SetValues(twice, hive.builder.AddValueList({value, value}), 2);
    const std::uint32_t nil = hive.Key(u"nil");
    hive.builder.SetValues(nil, 0xFFFFFFFFu, 1);
    auto image = Open(hive);
    ASSERT_TRUE(image);
    {
        const LargestAllocation largest;
        EXPECT_EQ(image->Values(KeyRef{overCount}).error, ReadError::kBadList);
        EXPECT_EQ(image->FindValue(KeyRef{overCount}, u"Debugger").error, ReadError::kBadList);
        EXPECT_LT(largest.bytes(), 4096u);
    }
    EXPECT_EQ(image->Values(KeyRef{twice}).error, ReadError::kDuplicate);
    auto found = image->FindValue(KeyRef{twice}, u"Debugger");
    EXPECT_TRUE(found.ok() && found.value) << found.where;
    EXPECT_EQ(image->Values(KeyRef{nil}).error, ReadError::kBadCell);
    auto none = image->Values(KeyRef{hive.root});
    EXPECT_TRUE(none.ok() && none.value.empty());
}

// ---- data ----

TEST(RegfData, InlineDataHoldsAtMostFourBytes) {
    SmallHive hive;
    std::vector<std::uint32_t> values;
    for (std::uint32_t length = 0; length <= 5; ++length) {
        ValueFields shape;
        shape.name = u"v";
        shape.type = 4;
        shape.dataSize = 0x80000000u | length;
        shape.dataOffset = 0x44332211u;
        values.push_back(hive.builder.AddValue(shape));
    }
    ValueFields all;
    all.name = u"big";
    all.dataSize = 0xFFFFFFFFu;
    values.push_back(hive.builder.AddValue(all));
    hive.Values(hive.root, values);
    auto image = Open(hive);
    ASSERT_TRUE(image);
    auto infos = image->Values(image->Root());
    ASSERT_TRUE(infos.ok()) << infos.where;
    const std::vector<unsigned char> field = {0x11, 0x22, 0x33, 0x44};
    for (std::uint32_t length = 0; length <= 4; ++length) {
        auto data = image->ValueData(infos.value[length]);
        ASSERT_TRUE(data.ok()) << data.where;
        EXPECT_EQ(data.value, std::vector<unsigned char>(field.begin(), field.begin() + length));
    }
    EXPECT_EQ(image->ValueData(infos.value[5]).error, ReadError::kTooLarge);
    const LargestAllocation largest;
    EXPECT_EQ(image->ValueData(infos.value[6]).error, ReadError::kTooLarge);
    EXPECT_LT(largest.bytes(), 4096u);
}

// The fault this reader exists to fix: a 12 KiB hive whose value claims
// 2 GiB made the old store allocate it.
TEST(RegfData, AValueClaiming2GiBIn12KiBIsAnErrorWithoutTheAllocation) {
    for (const std::uint32_t minor : {3u, 5u}) {
        SmallHive hive(minor);
        const std::uint32_t data = hive.builder.AddData(Sz(u"small"));
        ValueFields shape;
        shape.name = u"Debugger";
        shape.dataSize = 0x7FFFFFF0u;
        shape.dataOffset = data;
        const std::uint32_t value = hive.builder.AddValue(shape);
        // Also a big-data header that claims the most segments it can.
        const std::uint32_t db = hive.builder.AddCell({'d', 'b', 0xFF, 0xFF, 0, 0, 0, 0});
        hive.builder.Patch32(db, 4, hive.builder.AddValueList({data}));
        ValueFields viaDb = shape;
        viaDb.dataOffset = db;
        const std::uint32_t dbValue = hive.builder.AddValue(viaDb);
        hive.builder.AddFreeCell(4000);  // a second bin: the file is 12 KiB
        hive.Values(hive.root, {value, dbValue});
        auto image = Open(hive);
        ASSERT_TRUE(image);
        ASSERT_EQ(hive.Bytes().size(), 12288u);

        auto infos = image->Values(image->Root());
        ASSERT_TRUE(infos.ok()) << infos.where;
        for (const ValueInfo& info : infos.value) {
            const LargestAllocation largest;
            auto bytes = image->ValueData(info);
            EXPECT_FALSE(bytes.ok()) << "minor " << minor;
            EXPECT_FALSE(bytes.where.empty());
            EXPECT_TRUE(bytes.value.empty());
            EXPECT_LT(largest.bytes(), 12288u) << "minor " << minor << ": " << bytes.where;
        }
    }
}

TEST(RegfData, ACellShorterThanItsClaimIsAnError) {
    SmallHive hive;
    ValueFields shape;
    shape.name = u"Debugger";
    shape.dataSize = 200;
    shape.dataOffset = hive.builder.AddData(std::vector<unsigned char>(100, 'x'));
    hive.Values(hive.root, {hive.builder.AddValue(shape)});
    auto image = Open(hive);
    ASSERT_TRUE(image);
    auto infos = image->Values(image->Root());
    ASSERT_TRUE(infos.ok());
    auto data = image->ValueData(infos.value[0]);
    EXPECT_EQ(data.error, ReadError::kTooLarge);
    EXPECT_NE(data.where.find("200"), std::string::npos) << data.where;
}

std::vector<unsigned char> Pattern(std::size_t length) {
    std::vector<unsigned char> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(i * 131 + i / 251);
    return bytes;
}

// A big-data value: db header, segment list, segments of 16344 bytes.
struct BigValue {
    std::uint32_t value;
    std::uint32_t db;
    std::uint32_t list;
    std::vector<std::uint32_t> segments;
};

BigValue AddBigValue(SmallHive& hive, const std::vector<unsigned char>& data) {
    BigValue big;
    for (std::size_t at = 0; at < data.size(); at += 16344) {
        const std::size_t end = std::min(data.size(), at + 16344);
        big.segments.push_back(hive.builder.AddData({data.begin() + static_cast<std::ptrdiff_t>(at),
                                                     data.begin() + static_cast<std::ptrdiff_t>(end)}));
    }
    big.list = hive.builder.AddValueList(big.segments);
    const auto count = static_cast<unsigned char>(big.segments.size());
    big.db = hive.builder.AddCell({'d', 'b', count, 0, 0, 0, 0, 0});
    hive.builder.Patch32(big.db, 4, big.list);
    ValueFields shape;
    shape.name = u"big";
    shape.type = 3;
    shape.dataSize = static_cast<std::uint32_t>(data.size());
    shape.dataOffset = big.db;
    big.value = hive.builder.AddValue(shape);
    return big;
}

TEST(RegfData, BigDataIsReadWholeFromItsSegments) {
    const std::vector<unsigned char> data = Pattern(16344 * 2 + 1000);
    SmallHive hive;
    const BigValue big = AddBigValue(hive, data);
    hive.Values(hive.root, {big.value});
    auto image = Open(hive);
    ASSERT_TRUE(image);
    auto found = image->FindValue(image->Root(), u"BIG");
    ASSERT_TRUE(found.ok() && found.value) << found.where;
    EXPECT_EQ(found.value->dataSize, data.size());
    ValueInfo forged = *found.value;
    forged.dataSize = 0x7FFFFFFF;  // the caller's copy is not what is read
    auto bytes = image->ValueData(forged);
    ASSERT_TRUE(bytes.ok()) << bytes.where;
    EXPECT_EQ(bytes.value, data);
}

TEST(RegfData, OldHivesKeepLongDataInOneCell) {
    const std::vector<unsigned char> data = Pattern(20000);
    SmallHive hive(3);
    ValueFields shape;
    shape.name = u"long";
    shape.type = 3;
    shape.dataSize = static_cast<std::uint32_t>(data.size());
    shape.dataOffset = hive.builder.AddData(data);
    hive.Values(hive.root, {hive.builder.AddValue(shape)});
    auto image = Open(hive);
    ASSERT_TRUE(image);
    auto infos = image->Values(image->Root());
    ASSERT_TRUE(infos.ok());
    auto bytes = image->ValueData(infos.value[0]);
    ASSERT_TRUE(bytes.ok()) << bytes.where;
    EXPECT_EQ(bytes.value, data);
}

TEST(RegfData, BigDataThatDoesNotAddUpIsAnErrorWithoutTheAllocation) {
    const std::vector<unsigned char> data = Pattern(16344 * 3);
    struct Damage {
        const char* what;
        ReadError expected;
        void (*apply)(SmallHive&, const BigValue&);
    };
    const Damage damages[] = {
        {"a segment listed twice", ReadError::kDuplicate,
         [](SmallHive& h, const BigValue& b) { h.builder.Patch32(b.list, 8, b.segments[0]); }},
        {"fewer segments than the length needs", ReadError::kTooLarge,
         [](SmallHive& h, const BigValue& b) { h.builder.Patch16(b.db, 2, 2); }},
        {"a length beyond the segments", ReadError::kTooLarge,
         [](SmallHive& h, const BigValue& b) { h.builder.Patch32(b.value, 4, 16344 * 3 + 1); }},
        {"a short segment", ReadError::kTooLarge,
         [](SmallHive& h, const BigValue& b) { h.builder.Patch32(b.list, 4, h.builder.AddData({1, 2, 3})); }},
        {"a segment list shorter than its count", ReadError::kBadList,
         [](SmallHive& h, const BigValue& b) { h.builder.Patch32(b.db, 4, h.builder.AddValueList({b.segments[0]})); }},
        {"no db signature", ReadError::kBadSignature,
         [](SmallHive& h, const BigValue& b) { h.builder.Patch16(b.db, 0, 0x6b6c); }},
        {"a segment that is a free cell", ReadError::kBadCell,
         [](SmallHive& h, const BigValue& b) { h.builder.Patch32(b.list, 4, h.builder.AddFreeCell(16344)); }},
    };
    for (const Damage& damage : damages) {
        SmallHive hive;
        const BigValue big = AddBigValue(hive, data);
        damage.apply(hive, big);
        hive.Values(hive.root, {big.value});
        auto image = Open(hive);
        ASSERT_TRUE(image) << damage.what;
        auto infos = image->Values(image->Root());
        ASSERT_TRUE(infos.ok()) << damage.what;
        const LargestAllocation largest;
        auto bytes = image->ValueData(infos.value[0]);
        EXPECT_EQ(bytes.error, damage.expected) << damage.what << ": " << bytes.where;
        EXPECT_LT(largest.bytes(), 4096u) << damage.what;
    }
}

}  // namespace
}  // namespace vornex::hive
