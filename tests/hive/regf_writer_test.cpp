// The writer on hives laid out as Windows lays them out: each change on each
// subkey-list layout, then the strict check, the reader on the same image,
// hivex and libregf must all see exactly the expected tree. Then hostile
// hives: every change is refused and leaves the bytes as they were.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <unistd.h>

#include "stores/hive/regf_writer.h"
#include "tests/hive/hive_dump.h"
#include "tests/hive/hive_image_builder.h"
#include "tests/hive/regf_check.h"
#include "tests/hive/small_hive.h"
#include "tests/hive/windows_hive.h"

namespace vornex::hive {
namespace {

using namespace testing;

std::uint64_t FileTimeNow() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return 116444736000000000ull + std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
}

std::uint64_t LastWrite(const RegfImage& image, std::uint32_t key) {
    std::uint64_t time = 0;
    for (int i = 7; i >= 0; --i) time = (time << 8) | image.Bytes()[4096 + key + 4 + 4 + i];
    return time;
}

TreeValue Text(const std::u16string& name, const std::u16string& text) {
    std::vector<unsigned char> data = Utf16Bytes(text);
    data.insert(data.end(), {0, 0});
    return {name, 1, data};
}

TreeValue Big(const std::u16string& name, std::size_t size) {
    std::vector<unsigned char> data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<unsigned char>(i * 7 + i / 251);
    return {name, 3, data};
}

TreeKey App(const std::u16string& name, std::size_t security) {
    TreeKey key{name, {Text(u"Debugger", u"evil.exe"), {u"Tiny", 4, {1, 0, 0, 0}}}, {}, u"", security, false};
    return key;
}

// Software holds seven redirections, a link and a key that alone uses a
// descriptor; a1 and a2 hold big data, a2 a class name, a4 one value only.
TreeKey Tree() {
    TreeKey software{u"Software", {}, {}, u"", 0, false};
    for (int i = 0; i < 7; ++i) software.subkeys.push_back(App(u"a" + std::u16string(1, static_cast<char16_t>(u'0' + i)) + u".exe", i % 2));
    software.subkeys[1].values.insert(software.subkeys[1].values.begin() + 1, Big(u"Big", 40000));
    software.subkeys[2].values.push_back(Big(u"Huge", 16345));
    software.subkeys[2].className = u"class of a2";
    software.subkeys[4].values.resize(1);
    software.subkeys.push_back({u"solo.exe", {Text(u"Debugger", u"x")}, {}, u"", 2, false});
    software.subkeys.push_back({u"Link", {{u"SymbolicLinkValue", 6, Utf16Bytes(u"\\Registry\\Machine\\Software\\a0.exe")}},
                                {}, u"", 1, true});
    TreeKey root{u"ROOT", {}, {software, {u"Other", {}, {}, u"", 0, false}}, u"", 0, false};
    return root;
}

struct Layout {
    const char* name;
    TreeLayout layout;
};

const Layout kLayouts[] = {
    {"lh", {5, "lh", 500, 3}},
    {"ri over lh leaves", {5, "lh", 3, 3}},
    {"lf of a 1.3 hive", {3, "lf", 500, 3}},
    {"li of a 1.3 hive", {3, "li", 500, 3}},
    {"ri over li leaves of a 1.3 hive", {3, "li", 2, 3}},
    {"ri over lf leaves", {5, "lf", 4, 3}},
};

struct Change {
    const char* name;
    std::vector<std::u16string> keys;    // deleted in this order, under Software
    std::vector<std::u16string> values;  // "key|value" under Software, deleted first
};

const Change kChanges[] = {
    {"a value beside big data", {}, {u"a1.exe|Debugger"}},
    {"a big data value", {}, {u"a1.exe|Big"}},
    {"a key's last value", {}, {u"a4.exe|Debugger"}},
    {"a key with a class name and big data", {u"a2.exe"}, {}},
    {"the only key of its descriptor", {u"solo.exe"}, {}},
    {"a link key, as itself", {u"Link"}, {}},
    {"every subkey of a key", {u"a0.exe", u"a1.exe", u"a2.exe", u"a3.exe", u"a4.exe", u"a5.exe", u"a6.exe",
                               u"solo.exe", u"Link"}, {}},
};

// The dump before, less the deleted keys and values.
HiveDump Expected(HiveDump dump, const Change& change) {
    for (auto line = dump.begin(); line != dump.end();) {
        bool gone = false;
        for (const auto& key : change.keys) {
            const std::string path = "Software\\" + Utf8(key);
            gone = gone || line->rfind("K " + path, 0) == 0 || line->rfind("V " + path + "|", 0) == 0;
        }
        for (const auto& value : change.values) {
            gone = gone || line->rfind("V Software\\" + Utf8(value) + "|", 0) == 0;
        }
        line = gone ? dump.erase(line) : std::next(line);
    }
    return dump;
}

struct TempFile {
    std::string path;
    explicit TempFile(const std::vector<unsigned char>& bytes) {
        char name[] = "/tmp/vornex-writer-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path = name;
        EXPECT_TRUE(WriteFile(path, bytes));
    }
    ~TempFile() { std::remove(path.c_str()); }
};

void RunChange(const Layout& layout, const Change& change) {
    SCOPED_TRACE(std::string(layout.name) + ": " + change.name);
    const BuiltHive built = BuildWindowsHive(Tree(), layout.layout);
    ASSERT_TRUE(CheckHive(built.image).ok()) << CheckHive(built.image).problems.front();
    std::string why;
    auto image = RegfImage::Parse(built.image, &why);
    ASSERT_TRUE(image) << why;
    const auto before = DumpImage(*image);
    ASSERT_TRUE(before);
    const KeyRef software{built.keys.at(u"Software")};
    RegfWriter writer(*image);
    const std::uint64_t start = FileTimeNow();
    for (const auto& entry : change.values) {
        const std::u16string key = entry.substr(0, entry.find(u'|'));
        const KeyRef owner{built.keys.at(u"Software\\" + key)};
        auto value = image->FindValue(owner, entry.substr(entry.find(u'|') + 1));
        ASSERT_TRUE(value.ok() && value.value);
        ASSERT_FALSE(writer.DeleteValue(owner, *value.value));
        EXPECT_FALSE(image->FindValue(owner, value.value->name).value);
        EXPECT_GE(LastWrite(*image, owner.cell), start);
    }
    for (const auto& key : change.keys) {
        ASSERT_TRUE(image->FindSubkey(software, key).value);  // the lookup index is built, then must follow
        ASSERT_FALSE(writer.DeleteKey(software, KeyRef{built.keys.at(u"Software\\" + key)}));
        EXPECT_FALSE(image->FindSubkey(software, key).value);
        EXPECT_GE(LastWrite(*image, software.cell), start);
    }
    const HiveCheck check = CheckHive(image->Bytes());
    EXPECT_TRUE(check.ok()) << check.problems.front();
    EXPECT_EQ(check.adjacentFreeCells, 0u);
    const HiveDump expected = Expected(*before, change);
    EXPECT_EQ(DumpImage(*image), expected);

    writer.Seal(7, start);
    const TempFile file(image->Bytes());
    EXPECT_EQ(DumpWithHivex(file.path), expected);
    EXPECT_EQ(DumpWithLibregf(file.path), expected);
    auto reread = RegfImage::Parse(image->Bytes(), &why);
    ASSERT_TRUE(reread) << why;
    EXPECT_EQ(reread->Base().primarySeq, reread->Base().secondarySeq);
    EXPECT_TRUE(reread->Base().checksumOk);
    EXPECT_EQ(reread->Base().primarySeq, 7u);
    EXPECT_EQ(DumpImage(*reread), expected);
}

TEST(RegfWriter, EachChangeOnEachLayoutLeavesAHiveEveryReaderReadsAsExpected) {
    for (const Layout& layout : kLayouts) {
        for (const Change& change : kChanges) RunChange(layout, change);
    }
}

TEST(RegfWriter, KeyWithSubkeysIsRefused) {
    const BuiltHive built = BuildWindowsHive(Tree(), kLayouts[0].layout);
    auto image = RegfImage::Parse(built.image, nullptr);
    ASSERT_TRUE(image);
    RegfWriter writer(*image);
    EXPECT_EQ(writer.DeleteKey(image->Root(), KeyRef{built.keys.at(u"Software")}).error, ReadError::kHasSubkeys);
    EXPECT_EQ(image->Bytes(), built.image);
}

// ---- hostile hives: refused, bytes unchanged ----

struct Attack {
    const char* name;
    ReadError expected;
    // Builds the hive and returns the change to try on it.
    std::function<std::function<Failure(RegfImage&)>(SmallHive&)> build;
};

ValueInfo ValueAt(std::uint32_t cell) {
    ValueInfo value;
    value.cell = cell;
    return value;
}

std::uint32_t Descriptor(SmallHive& hive, std::uint32_t references) {
    std::vector<unsigned char> sk(24, 0);
    sk[0] = 's', sk[1] = 'k';
    const std::uint32_t cell = hive.builder.AddCell(sk);
    hive.builder.Patch32(cell, 4, cell);
    hive.builder.Patch32(cell, 8, cell);
    hive.builder.Patch32(cell, 12, references);
    return cell;
}

std::uint32_t BigValue(SmallHive& hive, std::uint32_t segmentList) {
    std::vector<unsigned char> db(8, 0);
    db[0] = 'd', db[1] = 'b', db[2] = 2;
    const std::uint32_t cell = hive.builder.AddCell(db);
    hive.builder.Patch32(cell, 4, segmentList);
    ValueFields fields{u"Big", true, 3, 20000, cell};
    return hive.builder.AddValue(fields);
}

const Attack kAttacks[] = {
    {"a key listed by two parents", ReadError::kShared,
     [](SmallHive& h) {
         const auto a = h.Key(u"A"), b = h.Key(u"B"), x = h.KeyUnder(a, u"X");
         h.List(h.root, "lh", {a, b});
         h.List(a, "lh", {x});
         h.List(b, "lh", {x});
         return [a, x](RegfImage& i) { return RegfWriter(i).DeleteKey({a}, {x}); };
     }},
    {"one subkey list under two parents", ReadError::kShared,
     [](SmallHive& h) {
         const auto a = h.Key(u"A"), b = h.Key(u"B"), x = h.KeyUnder(a, u"X"), y = h.KeyUnder(a, u"Y");
         h.List(h.root, "lh", {a, b});
         const auto list = h.List(a, "lh", {x, y});
         h.builder.SetSubkeys(b, list, 2);
         return [a, x](RegfImage& i) { return RegfWriter(i).DeleteKey({a}, {x}); };
     }},
    {"a leaf that counts more entries than its key", ReadError::kBadList,
     [](SmallHive& h) {
         const auto a = h.Key(u"A"), b = h.Key(u"B"), c = h.Key(u"C");
         h.List(h.root, "lh", {a, b, c});
         h.builder.Patch32(h.root, 20, 2);
         return [a](RegfImage& i) { return RegfWriter(i).DeleteKey({i.Root()}, {a}); };
     }},
    {"an index root that lists itself", ReadError::kCycle,
     [](SmallHive& h) {
         const auto a = h.Key(u"A");
         const auto ri = h.List(h.root, "ri", {0});
         h.builder.Patch32(ri, 4, ri);
         return [a](RegfImage& i) { return RegfWriter(i).DeleteKey({i.Root()}, {a}); };
     }},
    {"a list entry inside another cell", ReadError::kBadCell,
     [](SmallHive& h) {
         const auto a = h.Key(u"A");
         h.List(h.root, "lh", {a + 8});
         return [a](RegfImage& i) { return RegfWriter(i).DeleteKey({i.Root()}, {a + 8}); };
     }},
    {"a descriptor whose reference count is already 0", ReadError::kBadCount,
     [](SmallHive& h) {
         const auto a = h.Key(u"A");
         h.List(h.root, "lh", {a});
         h.builder.Patch32(a, 44, Descriptor(h, 0));
         return [a](RegfImage& i) { return RegfWriter(i).DeleteKey({i.Root()}, {a}); };
     }},
    {"a descriptor counted once, used by two keys", ReadError::kBadCount,
     [](SmallHive& h) {
         const auto a = h.Key(u"A"), b = h.Key(u"B");
         h.List(h.root, "lh", {a, b});
         const auto sk = Descriptor(h, 1);
         h.builder.Patch32(a, 44, sk);
         h.builder.Patch32(b, 44, sk);
         return [a](RegfImage& i) { return RegfWriter(i).DeleteKey({i.Root()}, {a}); };
     }},
    {"a descriptor ring that does not lead back", ReadError::kBadList,
     [](SmallHive& h) {
         const auto a = h.Key(u"A");
         h.List(h.root, "lh", {a});
         const auto sk = Descriptor(h, 1), other = Descriptor(h, 1);
         h.builder.Patch32(h.root, 44, other);
         h.builder.Patch32(a, 44, sk);
         h.builder.Patch32(sk, 4, other);  // other's own links still point at itself
         return [a](RegfImage& i) { return RegfWriter(i).DeleteKey({i.Root()}, {a}); };
     }},
    {"big data whose segment list lies outside the bins", ReadError::kBadCell,
     [](SmallHive& h) {
         const auto v = BigValue(h, 0x7FFFFFF8u);
         h.Values(h.root, {v});
         return [v](RegfImage& i) { return RegfWriter(i).DeleteValue(i.Root(), ValueAt(v)); };
     }},
    {"big data that lists one segment twice", ReadError::kShared,
     [](SmallHive& h) {
         const auto segment = h.builder.AddData(std::vector<unsigned char>(16344, 1));
         const auto v = BigValue(h, h.builder.AddValueList({segment, segment}));
         h.Values(h.root, {v});
         return [v](RegfImage& i) { return RegfWriter(i).DeleteValue(i.Root(), ValueAt(v)); };
     }},
    {"a class name that is the key's own value list", ReadError::kShared,
     [](SmallHive& h) {
         const auto a = h.Key(u"A");
         h.List(h.root, "lh", {a});
         const auto list = h.Values(a, {h.builder.AddStringValue(u"Debugger", u"x")});
         h.builder.Patch32(a, 48, list);
         h.builder.Patch16(a, 74, 4);
         return [a](RegfImage& i) { return RegfWriter(i).DeleteKey({i.Root()}, {a}); };
     }},
    {"a value of another key", ReadError::kBadList,
     [](SmallHive& h) {
         const auto a = h.Key(u"A");
         h.List(h.root, "lh", {a});
         const auto v = h.builder.AddStringValue(u"Debugger", u"x");
         h.Values(a, {v});
         h.Values(h.root, {h.builder.AddStringValue(u"Debugger", u"y")});
         return [v](RegfImage& i) { return RegfWriter(i).DeleteValue(i.Root(), ValueAt(v)); };
     }},
};

// ---- crafted sharing: the entry repaired all the same, the other key untouched ----

struct SharedCells {
    const char* name;
    const char* gone;  // the dump line prefix the change removes; every other line stays
    // Builds the hive and returns the change to make on it.
    std::function<std::function<Failure(RegfImage&)>(SmallHive&)> build;
};

const SharedCells kSharedCells[] = {
    {"a value list under two keys", "V A|Debugger|",
     [](SmallHive& h) {
         const auto a = h.Key(u"A"), b = h.Key(u"B");
         h.List(h.root, "lh", {a, b});
         const auto v = h.builder.AddStringValue(u"Debugger", u"x");
         const auto list = h.Values(a, {h.builder.AddStringValue(u"Other", u"y"), v});
         h.builder.SetValues(b, list, 2);
         return [a, v](RegfImage& i) { return RegfWriter(i).DeleteValue({a}, ValueAt(v)); };
     }},
    {"a one-value list under two keys", "V A|Debugger|",
     [](SmallHive& h) {
         const auto a = h.Key(u"A"), b = h.Key(u"B");
         h.List(h.root, "lh", {a, b});
         const auto v = h.builder.AddStringValue(u"Debugger", u"x");
         const auto list = h.Values(a, {v});
         h.builder.SetValues(b, list, 1);
         return [a, v](RegfImage& i) { return RegfWriter(i).DeleteValue({a}, ValueAt(v)); };
     }},
    {"a value in two keys' lists", "V A|Debugger|",
     [](SmallHive& h) {
         const auto a = h.Key(u"A"), b = h.Key(u"B");
         h.List(h.root, "lh", {a, b});
         const auto v = h.builder.AddStringValue(u"Debugger", u"x");
         h.Values(a, {v});
         h.Values(b, {v, h.builder.AddStringValue(u"Other", u"y")});
         return [a, v](RegfImage& i) { return RegfWriter(i).DeleteValue({a}, ValueAt(v)); };
     }},
    {"data shared by two values", "V A|Debugger|",
     [](SmallHive& h) {
         const auto a = h.Key(u"A"), b = h.Key(u"B");
         h.List(h.root, "lh", {a, b});
         const auto data = h.builder.AddData(std::vector<unsigned char>(40, 'x'));
         const auto v = h.builder.AddValue({u"Debugger", true, 3, 40, data});
         h.Values(a, {v});
         h.Values(b, {h.builder.AddValue({u"Debugger", true, 3, 40, data})});
         return [a, v](RegfImage& i) { return RegfWriter(i).DeleteValue({a}, ValueAt(v)); };
     }},
    {"value data that is another key's node", "V |Debugger|",
     [](SmallHive& h) {
         const auto a = h.Key(u"A");
         h.List(h.root, "lh", {a});
         h.builder.Patch32(a, 44, Descriptor(h, 1));
         const auto v = h.builder.AddValue({u"Debugger", true, 1, 80, a});
         h.Values(h.root, {v});
         return [v](RegfImage& i) { return RegfWriter(i).DeleteValue(i.Root(), ValueAt(v)); };
     }},
    {"a key whose value list another key uses", "K A",
     [](SmallHive& h) {
         const auto a = h.Key(u"A"), b = h.Key(u"B");
         h.List(h.root, "lh", {a, b});
         const auto list = h.Values(a, {h.builder.AddStringValue(u"Debugger", u"x")});
         h.builder.SetValues(b, list, 1);
         return [a](RegfImage& i) { return RegfWriter(i).DeleteKey({i.Root()}, {a}); };
     }},
};

TEST(RegfWriter, CraftedSharingBlocksNoRepairAndTheOtherKeysKeepEverything) {
    for (const SharedCells& shared : kSharedCells) {
        SCOPED_TRACE(shared.name);
        SmallHive hive;
        const auto change = shared.build(hive);
        auto image = hive.Parse(nullptr);
        ASSERT_TRUE(image);
        const HiveCheck before = CheckHive(image->Bytes());
        HiveDump expected = *DumpImage(*image);
        for (auto line = expected.begin(); line != expected.end();) {
            const bool gone = line->rfind(shared.gone, 0) == 0 ||
                              (shared.gone[0] == 'K' && line->rfind("V A|", 0) == 0);
            line = gone ? expected.erase(line) : std::next(line);
        }
        const Failure failure = change(*image);
        ASSERT_FALSE(failure) << failure.where;
        const HiveCheck after = CheckHive(image->Bytes());
        // The sharing may take another form (a value now in two lists); nothing else is new.
        for (const std::string& problem : NewProblems(before, after)) {
            EXPECT_NE(problem.find("reached twice"), std::string::npos) << problem;
        }
        EXPECT_EQ(DumpImage(*image), expected);
        RegfWriter(*image).Seal(3, FileTimeNow());
        const TempFile file(image->Bytes());
        EXPECT_EQ(DumpWithHivex(file.path), expected);
        EXPECT_EQ(DumpWithLibregf(file.path), expected);
    }
}

TEST(RegfWriter, HostileHivesAreRefusedAndLeftAsTheyWere) {
    for (const Attack& attack : kAttacks) {
        SCOPED_TRACE(attack.name);
        SmallHive hive;
        const auto change = attack.build(hive);
        auto image = hive.Parse(nullptr);
        ASSERT_TRUE(image);
        const std::vector<unsigned char> before = image->Bytes();
        const Failure failure = change(*image);
        EXPECT_EQ(failure.error, attack.expected) << failure.where;
        EXPECT_FALSE(failure.where.empty());
        EXPECT_TRUE(image->Bytes() == before);
    }
}

}  // namespace
}  // namespace vornex::hive
