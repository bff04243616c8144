// The shared hive files written by Windows (and a few damaged on purpose):
// every one is walked whole or refused with a reason, hivex must read the
// same tree where it reads one, and names known byte by byte read exactly.
#include <gtest/gtest.h>
#include <hivex.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include <unistd.h>

#include "core/registry_upcase.h"
#include "tests/hive/regf_walk.h"
#include "tests/hive/hive_dump.h"
#include "tests/hive/hive_files.h"

namespace vornex::hive {
namespace {

using testing::HivesDir;
using testing::ReadHiveFile;
using testing::Utf8;

bool HasLoneSurrogate(const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            ++i;
        } else if (text[i] >= 0xD800 && text[i] <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

std::optional<RegfImage> OpenHive(const std::string& relative) {
    auto bytes = ReadHiveFile(HivesDir() + "/" + relative);
    if (!bytes) {
        ADD_FAILURE() << "cannot read " << relative << " under " << HivesDir();
        return std::nullopt;
    }
    std::string why;
    auto image = RegfImage::Parse(std::move(*bytes), &why);
    if (!image) ADD_FAILURE() << relative << " refused: " << why;
    return image;
}

// ---- every file ----

// Walks everything: names, values, data; and checks that a lookup by each
// name read finds the key or value it was read from.
struct WalkSummary {
    std::size_t keys = 0, values = 0, unreadable = 0, lookups = 0;
    std::vector<std::string> inconsistencies;
};

WalkSummary WalkEverything(const RegfImage& image) {
    WalkSummary summary;
    auto note = [&summary](const std::string& what) {
        if (summary.inconsistencies.size() < 5) summary.inconsistencies.push_back(what);
    };
    WalkKeys(image, {[&](KeyRef key, std::size_t) {
                         ++summary.keys;
                         auto name = image.KeyName(key);
                         if (!name.ok()) {
                             ++summary.unreadable;
                             if (name.where.empty()) note("an error without a place");
                         }
                         auto subkeys = image.Subkeys(key);
                         for (const KeyRef child : subkeys.value) {
                             auto childName = image.KeyName(child);
                             if (!childName.ok()) continue;
                             ++summary.lookups;
                             auto named = image.SubkeysNamed(key, childName.value);
                             bool found = false;
                             for (const KeyRef match : named.value) found = found || match == child;
                             if (!named.ok() || !found) note("lookup misses a listed subkey: " + named.where);
                         }
                         auto values = image.Values(key);
                         if (!values.ok()) {
                             ++summary.unreadable;
                             return;
                         }
                         for (const ValueInfo& value : values.value) {
                             ++summary.values;
                             auto data = image.ValueData(value);
                             if (!data.ok()) ++summary.unreadable;
                             if (data.ok() && data.value.size() != value.dataSize) note("data size differs");
                             if (summary.values % 7 != 0) continue;  // a sample: each lookup is linear
                             auto found = image.FindValue(key, value.name);
                             if (!found.ok() || !found.value || !RegistryNamesEqual(found.value->name, value.name)) {
                                 note("value lookup misses a listed value");
                             }
                         }
                     },
                     nullptr, nullptr});
    return summary;
}

TEST(RealHives, EveryFileIsWalkedWholeOrRefusedWithAReason) {
    const std::vector<std::string> files = testing::AllHiveFiles();
    ASSERT_GT(files.size(), 50u) << "hive files not found under " << HivesDir();
    std::size_t walked = 0, refused = 0;
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        auto bytes = ReadHiveFile(path);
        if (!bytes && path.size() > 3 && path.compare(path.size() - 3, 3, ".xz") == 0) {
            std::printf("note: %s skipped, the xz tool could not unpack it\n", path.c_str());
            continue;
        }
        ASSERT_TRUE(bytes.has_value());
        const bool looksPrimary = bytes->size() >= 4096 && std::equal(bytes->begin(), bytes->begin() + 4, "regf") &&
                                  (*bytes)[28] == 0;
        std::string why;
        auto image = RegfImage::Parse(std::move(*bytes), &why);
        if (!image) {
            ++refused;
            EXPECT_FALSE(why.empty());
            // Logs and non-hives are refused; a primary hive only for damage
            // the reason names.
            if (looksPrimary) {
                EXPECT_TRUE(why.find("truncated") != std::string::npos || why.find("version") != std::string::npos)
                    << why;
            }
            continue;
        }
        ++walked;
        const WalkSummary summary = WalkEverything(*image);
        EXPECT_GE(summary.keys, 1u);
        EXPECT_TRUE(summary.inconsistencies.empty()) << summary.inconsistencies.front();
    }
    EXPECT_GT(walked, 60u);
    EXPECT_GT(refused, 10u);
}

// ---- hivex, an independent reader, agrees ----

struct HiveCloser {
    void operator()(hive_h* hive) const { hivex_close(hive); }
};
using HivexHandle = std::unique_ptr<hive_h, HiveCloser>;
struct FreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};
template <typename T>
using Malloced = std::unique_ptr<T, FreeDeleter>;

// hivex's value bytes and type. Real hives hold types past the hive_type
// enumerators, so the type is read back as a plain number.
std::optional<std::vector<unsigned char>> HivexValue(hive_h* hivex, hive_value_h value, std::uint32_t* type) {
    alignas(hive_type) unsigned char typeField[sizeof(hive_type)] = {};
    std::size_t length = 0;
    Malloced<char> data(hivex_value_value(hivex, value, reinterpret_cast<hive_type*>(typeField), &length));
    if (!data) return std::nullopt;
    std::memcpy(type, typeField, sizeof *type);
    return std::vector<unsigned char>(data.get(), data.get() + length);
}

struct Comparison {
    std::size_t keys = 0, values = 0;
    std::vector<std::string> differences;

    void Differ(const std::string& what) {
        if (differences.size() < 5) differences.push_back(what);
    }
};

void CompareValues(hive_h* hivex, hive_node_h node, const RegfImage& image, Comparison* out) {
    Malloced<hive_value_h> theirs(hivex_node_values(hivex, node));
    auto ours = image.Values(KeyRef{static_cast<std::uint32_t>(node - 4096)});
    if (!theirs || !ours.ok()) return;
    std::size_t count = 0;
    while (theirs.get()[count] != 0) ++count;
    if (count != ours.value.size()) return out->Differ("value count at " + std::to_string(node));
    for (std::size_t i = 0; i < count; ++i) {
        const hive_value_h value = theirs.get()[i];
        const ValueInfo& info = ours.value[i];
        if (value - 4096 != info.cell) return out->Differ("value cell at " + std::to_string(node));
        Malloced<char> name(hivex_value_key(hivex, value));
        if (name && !HasLoneSurrogate(info.name) && Utf8(info.name.substr(0, info.name.find(u'\0'))) != name.get()) {
            out->Differ("value name " + std::string(name.get()));
        }
        std::uint32_t type = 0;
        const auto data = HivexValue(hivex, value, &type);
        auto bytes = image.ValueData(info);
        if (!data || !bytes.ok()) continue;
        ++out->values;
        if (type != info.type) out->Differ("value type at " + std::to_string(value));
        if (*data != bytes.value) {
            out->Differ("value data at " + std::to_string(value));
        }
    }
}

Comparison CompareWithHivex(hive_h* hivex, const RegfImage& image) {
    Comparison out;
    std::set<hive_node_h> seen;
    std::vector<hive_node_h> pending = {hivex_root(hivex)};
    if (pending[0] - 4096 != image.Root().cell) out.Differ("root");
    while (!pending.empty()) {
        const hive_node_h node = pending.back();
        pending.pop_back();
        if (!seen.insert(node).second) continue;
        const KeyRef key{static_cast<std::uint32_t>(node - 4096)};
        ++out.keys;
        Malloced<char> theirName(hivex_node_name(hivex, node));
        auto ourName = image.KeyName(key);
        if (theirName && ourName.ok() && !HasLoneSurrogate(ourName.value)) {
            // hivex hands names out as C strings: compare up to a NUL.
            const std::u16string upToNul = ourName.value.substr(0, ourName.value.find(u'\0'));
            if (Utf8(upToNul) != theirName.get()) {
                out.Differ("key name " + std::string(theirName.get()) + " / " + Utf8(ourName.value));
            }
        }
        if (theirName && !ourName.ok()) out.Differ("hivex names a key we cannot: " + ourName.where);
        CompareValues(hivex, node, image, &out);
        Malloced<hive_node_h> children(hivex_node_children(hivex, node));
        auto ours = image.Subkeys(key);
        if (!children) continue;
        std::vector<hive_node_h> theirs;
        for (std::size_t i = 0; children.get()[i] != 0; ++i) theirs.push_back(children.get()[i]);
        if (ours.ok()) {
            std::vector<hive_node_h> mine;
            for (const KeyRef child : ours.value) mine.push_back(child.cell + 4096);
            if (mine != theirs) out.Differ("subkeys of " + std::to_string(node));
        }
        pending.insert(pending.end(), theirs.begin(), theirs.end());
    }
    return out;
}

TEST(RealHives, HivexReadsTheSameKeysValuesAndData) {
    std::size_t compared = 0;
    for (const std::string& path : testing::AllHiveFiles()) {
        if (path.size() > 3 && path.compare(path.size() - 3, 3, ".xz") == 0) continue;
        HivexHandle hivex(hivex_open(path.c_str(), 0));
        if (!hivex) continue;
        SCOPED_TRACE(path);
        auto bytes = ReadHiveFile(path);
        ASSERT_TRUE(bytes);
        std::string why;
        auto image = RegfImage::Parse(std::move(*bytes), &why);
        if (!image) {
            // hivex reads the bins a cut file still has; this reader says
            // the file is truncated instead of guessing at the rest.
            EXPECT_NE(why.find("truncated"), std::string::npos) << "hivex opens it, we refuse: " << why;
            continue;
        }
        const Comparison comparison = CompareWithHivex(hivex.get(), *image);
        EXPECT_TRUE(comparison.differences.empty()) << comparison.differences.front();
        EXPECT_GE(comparison.keys, 1u);
        ++compared;
    }
    EXPECT_GT(compared, 40u);
}

// ---- names known byte by byte ----

// The bytes of a key's name as they lie in the file, at the nk layout's name
// field: the reader's answer must be those bytes, widened or paired.
std::vector<unsigned char> RawNameBytes(const std::string& relative, KeyRef key) {
    auto bytes = ReadHiveFile(HivesDir() + "/" + relative);
    const std::size_t nk = 4096 + key.cell + 4;
    if (!bytes || nk + 76 > bytes->size()) return {};
    const std::size_t length = (*bytes)[nk + 72] | ((*bytes)[nk + 73] << 8);
    return std::vector<unsigned char>(bytes->begin() + static_cast<std::ptrdiff_t>(nk + 76),
                                      bytes->begin() + static_cast<std::ptrdiff_t>(nk + 76 + length));
}

std::vector<unsigned char> Latin1(const std::u16string& name) {
    std::vector<unsigned char> bytes;
    for (const char16_t unit : name) bytes.push_back(static_cast<unsigned char>(unit));
    return bytes;
}

std::vector<unsigned char> Utf16le(const std::u16string& name) {
    std::vector<unsigned char> bytes;
    for (const char16_t unit : name) bytes.push_back(static_cast<unsigned char>(unit)), bytes.push_back(unit >> 8);
    return bytes;
}

std::optional<KeyRef> Child(const RegfImage& image, KeyRef parent, const std::u16string& name) {
    auto found = image.FindSubkey(parent, name);
    EXPECT_TRUE(found.ok()) << found.where;
    return found.value;
}

TEST(RealHives, BogusKeyNamesReadExactly) {
    auto image = OpenHive("yarp/BogusKeyNamesHive");
    ASSERT_TRUE(image);
    const std::u16string crlf = u"testnew\r\nne";
    const std::u16string nul(u"testnu\0l", 8);
    auto subkeys = image->Subkeys(image->Root());
    ASSERT_TRUE(subkeys.ok()) << subkeys.where;
    std::vector<std::u16string> names;
    for (const KeyRef key : subkeys.value) names.push_back(image->KeyName(key).value);
    EXPECT_EQ(names, (std::vector<std::u16string>{crlf, nul}));
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(RawNameBytes("yarp/BogusKeyNamesHive", subkeys.value[i]), Latin1(names[i]));
    }
    EXPECT_EQ(Child(*image, image->Root(), u"TESTNEW\r\nNE"), subkeys.value[0]);
    EXPECT_EQ(Child(*image, image->Root(), std::u16string(u"TESTNU\0L", 8)), subkeys.value[1]);
    EXPECT_EQ(Child(*image, image->Root(), u"testnu"), std::nullopt);
    EXPECT_EQ(Child(*image, image->Root(), u"testnew"), std::nullopt);
}

TEST(RealHives, UnicodeNamesReadExactly) {
    auto image = OpenHive("yarp/UnicodeHive");
    ASSERT_TRUE(image);
    const std::u16string privet = u"\u041F\u0440\u0438\u0432\u0435\u0442";
    const std::u16string klyuch = u"\u041A\u043B\u044E\u0447";
    auto outer = Child(*image, image->Root(), u"\u041F\u0420\u0418\u0412\u0415\u0422");
    ASSERT_TRUE(outer);
    EXPECT_EQ(image->KeyName(*outer).value, privet);
    EXPECT_EQ(RawNameBytes("yarp/UnicodeHive", *outer), Utf16le(privet));
    EXPECT_EQ(image->KeyFlags(*outer).value & 0x0020, 0);
    auto inner = Child(*image, *outer, u"\u043A\u043B\u044E\u0447");
    ASSERT_TRUE(inner);
    EXPECT_EQ(image->KeyName(*inner).value, klyuch);
    EXPECT_EQ(RawNameBytes("yarp/UnicodeHive", *inner), Utf16le(klyuch));
}

TEST(RealHives, ExtendedAsciiNamesReadExactly) {
    auto image = OpenHive("yarp/ExtendedASCIIHive");
    ASSERT_TRUE(image);
    const std::u16string name = u"\u00EBigenaardig";
    auto key = Child(*image, image->Root(), u"\u00CBIGENAARDIG");
    ASSERT_TRUE(key);
    EXPECT_EQ(image->KeyName(*key).value, name);
    EXPECT_EQ(RawNameBytes("yarp/ExtendedASCIIHive", *key), (std::vector<unsigned char>{0xEB, 'i', 'g', 'e', 'n', 'a',
                                                                                        'a', 'r', 'd', 'i', 'g'}));
    auto value = image->FindValue(*key, u"\u00CBIGENAARDIG");
    ASSERT_TRUE(value.ok() && value.value) << value.where;
    EXPECT_EQ(value.value->name, name);
    auto data = image->ValueData(*value.value);
    ASSERT_TRUE(data.ok()) << data.where;
    EXPECT_EQ(data.value, Utf16le(name + std::u16string(1, u'\0')));
}

TEST(RealHives, SharpSStaysDistinctFromSs) {
    auto image = OpenHive("yarp/UpcaseHive");
    ASSERT_TRUE(image);
    EXPECT_TRUE(Child(*image, image->Root(), u"SS1"));
    EXPECT_TRUE(Child(*image, image->Root(), u"ss3"));
    EXPECT_TRUE(Child(*image, image->Root(), u"\u00DF2"));
    EXPECT_FALSE(Child(*image, image->Root(), u"ss2"));
    EXPECT_FALSE(Child(*image, image->Root(), u"\u1E9E2"));
}

TEST(RealHives, BigDataValuesReadWhole) {
    auto image = OpenHive("yarp/BigDataHive");
    ASSERT_TRUE(image);
    auto key = Child(*image, image->Root(), u"KEY_WITH_BIGDATA");
    ASSERT_TRUE(key);
    auto values = image->Values(*key);
    ASSERT_TRUE(values.ok()) << values.where;
    ASSERT_EQ(values.value.size(), 2u);
    HivexHandle hivex(hivex_open((HivesDir() + "/yarp/BigDataHive").c_str(), 0));
    ASSERT_TRUE(hivex);
    for (const ValueInfo& info : values.value) {
        EXPECT_GT(info.dataSize, 16344u);  // past one segment: big data
        auto data = image->ValueData(info);
        ASSERT_TRUE(data.ok()) << data.where;
        EXPECT_EQ(data.value.size(), info.dataSize);
        std::uint32_t type = 0;
        const auto theirs = HivexValue(hivex.get(), info.cell + 4096, &type);
        ASSERT_TRUE(theirs);
        EXPECT_EQ(data.value, *theirs);
        EXPECT_EQ(type, info.type);
    }
}

TEST(RealHives, IndexRootListsEverySubkey) {
    auto image = OpenHive("yarp/ManySubkeysHive");
    ASSERT_TRUE(image);
    auto key = Child(*image, image->Root(), u"key_with_many_subkeys");
    ASSERT_TRUE(key);
    // That the list is an "ri" is read from the file's bytes here.
    auto bytes = ReadHiveFile(HivesDir() + "/yarp/ManySubkeysHive");
    ASSERT_TRUE(bytes);
    const std::size_t nk = 4096 + key->cell + 4;
    const std::uint32_t list = (*bytes)[nk + 28] | ((*bytes)[nk + 29] << 8) | ((*bytes)[nk + 30] << 16) |
                               (static_cast<std::uint32_t>((*bytes)[nk + 31]) << 24);
    const std::uint32_t count = (*bytes)[nk + 20] | ((*bytes)[nk + 21] << 8) | ((*bytes)[nk + 22] << 16);
    ASSERT_EQ((*bytes)[4096 + list + 4], 'r');
    ASSERT_EQ((*bytes)[4096 + list + 5], 'i');

    auto subkeys = image->Subkeys(*key);
    ASSERT_TRUE(subkeys.ok()) << subkeys.where;
    EXPECT_EQ(subkeys.value.size(), count);
    EXPECT_GT(count, 1000u);
    std::set<std::u16string> names;
    for (const KeyRef subkey : subkeys.value) {
        auto name = image->KeyName(subkey);
        ASSERT_TRUE(name.ok()) << name.where;
        names.insert(name.value);
        ASSERT_EQ(Child(*image, *key, name.value), subkey);
    }
    EXPECT_EQ(names.size(), subkeys.value.size());
}

// ---- hives that hivex wrote ----

class TempFile {
public:
    explicit TempFile(const std::string& stem)
        : path_((std::filesystem::temp_directory_path() / (stem + "." + std::to_string(::getpid()))).string()) {}
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Copies `base`, lets `edit` change it through hivex, and writes it to `out`.
template <typename Edit>
bool WriteWithHivex(const std::string& base, const TempFile& out, Edit edit) {
    HivexHandle hivex(hivex_open((HivesDir() + "/" + base).c_str(), HIVEX_OPEN_WRITE));
    if (!hivex || !edit(hivex.get())) return false;
    return hivex_commit(hivex.get(), out.path().c_str(), 0) == 0;
}

TEST(RealHives, HivexWrittenDottedAndDotlessIAreTwoKeys) {
    TempFile out("regf_dotted_i");
    ASSERT_TRUE(WriteWithHivex("hivex/minimal", out, [](hive_h* h) {
        const hive_node_h root = hivex_root(h);
        return hivex_node_add_child(h, root, "\xC4\xB0nstaller.exe") != 0 &&  // U+0130
               hivex_node_add_child(h, root, "\xC4\xB1nstaller.exe") != 0 &&  // U+0131
               hivex_node_add_child(h, root, "a\\b") != 0;
    }));
    auto bytes = ReadHiveFile(out.path());
    ASSERT_TRUE(bytes);
    std::string why;
    auto image = RegfImage::Parse(std::move(*bytes), &why);
    ASSERT_TRUE(image) << why;
    auto dotted = Child(*image, image->Root(), u"\u0130NSTALLER.EXE");
    auto dotless = Child(*image, image->Root(), u"\u0131nstaller.EXE");
    ASSERT_TRUE(dotted && dotless);
    EXPECT_NE(*dotted, *dotless);
    EXPECT_EQ(image->KeyName(*dotted).value, u"\u0130nstaller.exe");
    EXPECT_EQ(image->KeyName(*dotless).value, u"\u0131nstaller.exe");
    EXPECT_EQ(Child(*image, image->Root(), u"INSTALLER.EXE"), std::nullopt);
    EXPECT_EQ(Child(*image, image->Root(), u"installer.exe"), std::nullopt);
    EXPECT_TRUE(Child(*image, image->Root(), u"A\\B"));
    EXPECT_EQ(Child(*image, image->Root(), u"a"), std::nullopt);
}

TEST(RealHives, DebuggerValueFoundInARealSoftwareHive) {
    TempFile out("regf_ifeo");
    ASSERT_TRUE(WriteWithHivex("regipy/ntuser_software_partial", out, [](hive_h* h) {
        hive_node_h node = hivex_root(h);
        for (const char* name : {"Microsoft", "Windows NT", "CurrentVersion"}) {
            node = hivex_node_get_child(h, node, name);
            if (node == 0) return false;
        }
        const hive_node_h ifeo = hivex_node_add_child(h, node, "Image File Execution Options");
        const hive_node_h calc = ifeo ? hivex_node_add_child(h, ifeo, "calc.exe") : 0;
        static const char data[] = "e\0v\0i\0l\0.\0e\0x\0e\0\0";
        hive_set_value value{const_cast<char*>("Debugger"), hive_t_REG_SZ, sizeof data, const_cast<char*>(data)};
        return calc != 0 && hivex_node_set_value(h, calc, &value, 0) == 0;
    }));
    auto bytes = ReadHiveFile(out.path());
    ASSERT_TRUE(bytes);
    std::string why;
    auto image = RegfImage::Parse(std::move(*bytes), &why);
    ASSERT_TRUE(image) << why;
    std::optional<KeyRef> key = image->Root();
    for (const std::u16string name :
         {u"MICROSOFT", u"windows nt", u"CurrentVersion", u"IMAGE FILE EXECUTION OPTIONS", u"Calc.Exe"}) {
        key = Child(*image, *key, name);
        ASSERT_TRUE(key) << Utf8(name);
    }
    auto debugger = image->FindValue(*key, u"debugger");
    ASSERT_TRUE(debugger.ok() && debugger.value) << debugger.where;
    auto data = image->ValueData(*debugger.value);
    ASSERT_TRUE(data.ok()) << data.where;
    EXPECT_EQ(data.value, Utf16le(std::u16string(u"evil.exe\0", 9)));
}

}  // namespace
}  // namespace vornex::hive
