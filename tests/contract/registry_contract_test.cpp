// The registry contracts the scan and the repairs rely on. The same suite runs
// against the in-memory store and, under Wine, against the real registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/text.h"
#include "tests/contract/contract_backend.h"

namespace vornex::testing {
namespace {

// The text before the first NUL of a buffer of `count` characters.
Text TextBeforeNul(const char16_t* buffer, std::size_t count) {
    std::size_t length = 0;
    while (length < count && buffer[length] != u'\0') ++length;
    return Text(buffer, length);
}

std::vector<unsigned char> Utf16Bytes(const Text& text, bool withNul = true) {
    std::vector<unsigned char> bytes;
    Text all = withNul ? text + u'\0' : text;
    for (char16_t c : all) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    return bytes;
}

class RegistryContract : public ::testing::Test {
protected:
    void SetUp() override {
        backend_ = MakeContractBackend();
        root_ = backend_->Root();
    }
    void TearDown() override { backend_->RemoveTree(root_); }

    Registry& reg() { return backend_->registry(); }
    Text Path(const Text& relative) const { return root_ + u'\\' + relative; }

    // Opens root_\relative (or root_ itself) with full access.
    KeyHandle Open(const Text& relative = Text()) {
        KeyHandle key = 0;
        const Text path = relative.empty() ? root_ : Path(relative);
        EXPECT_EQ(reg().OpenKey(kLocalMachine, path, kKeyAllAccess, &key), kRegOk)
            << ToUtf8(path);
        return key;
    }

    std::set<Text> EnumerateSubkeys(KeyHandle key) {
        std::set<Text> names;
        std::vector<char16_t> buffer(300);
        for (std::uint32_t i = 0;; ++i) {
            auto length = static_cast<std::uint32_t>(buffer.size());
            if (reg().EnumKey(key, i, buffer.data(), &length) != kRegOk) break;
            names.insert(Text(buffer.data(), length));
        }
        return names;
    }

    std::unique_ptr<ContractBackend> backend_;
    Text root_;
};

TEST_F(RegistryContract, OpensExistingKeysByFullPathAndFailsOnMissingOnes) {
    backend_->CreateKey(Path(u"present.exe"));
    KeyHandle key = Open(u"present.exe");
    EXPECT_EQ(reg().CloseKey(key), kRegOk);

    KeyHandle missing = 0;
    EXPECT_NE(reg().OpenKey(kLocalMachine, Path(u"absent.exe"), kKeyAllAccess, &missing), kRegOk);
}

TEST_F(RegistryContract, NamesCompareWithoutCaseAndKeepTheirStoredCase) {
    backend_->CreateKey(Path(u"MixedCase.EXE"));
    backend_->CreateKey(Path(u"\u0101bc.exe"));  // ā
    KeyHandle upper = Open(u"mixedcase.exe");
    reg().CloseKey(upper);
    KeyHandle latin = Open(u"\u0100BC.EXE");  // Ā
    reg().CloseKey(latin);

    KeyHandle root = Open();
    EXPECT_EQ(EnumerateSubkeys(root), (std::set<Text>{u"MixedCase.EXE", u"\u0101bc.exe"}));
    reg().CloseKey(root);
}

TEST_F(RegistryContract, LookAlikeNamesAreDifferentKeys) {
    backend_->CreateKey(Path(u"calc.exe"));
    backend_->CreateKey(Path(u"c\u0101lc.exe"));       // cālc.exe
    backend_->CreateKey(Path(u"\uFF43alc.exe"));       // full-width c
    backend_->SetValue(Path(u"c\u0101lc.exe"), u"Debugger", kRegSz, Utf16Bytes(u"evil.exe"));

    KeyHandle root = Open();
    EXPECT_EQ(EnumerateSubkeys(root).size(), 3u);
    reg().CloseKey(root);

    // The plain key has no value: the one in cālc.exe belongs to that key only.
    KeyHandle plain = Open(u"calc.exe");
    char16_t name[32];
    std::uint32_t length = 32;
    EXPECT_NE(reg().EnumValue(plain, 0, name, &length, nullptr, nullptr, nullptr), kRegOk);
    reg().CloseKey(plain);
}

TEST_F(RegistryContract, QueryInfoReportsSubkeyCountAndLongestName) {
    backend_->CreateKey(Path(u"a.exe"));
    backend_->CreateKey(Path(u"longer-name.exe"));
    backend_->CreateKey(Path(u"\U0001F600.exe"));  // a surrogate pair counts two
    KeyHandle root = Open();
    std::uint32_t count = 0;
    std::uint32_t longest = 0;
    EXPECT_EQ(reg().QueryInfoKey(root, &count, &longest), kRegOk);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(longest, 15u);
    reg().CloseKey(root);
}

TEST_F(RegistryContract, EnumKeyNeedsRoomForTheNulAndFailsPastTheLast) {
    backend_->CreateKey(Path(u"abcdef.exe"));
    KeyHandle root = Open();
    char16_t buffer[16];
    std::uint32_t length = 10;  // the name's length, no room for its NUL
    EXPECT_NE(reg().EnumKey(root, 0, buffer, &length), kRegOk);
    length = 11;
    ASSERT_EQ(reg().EnumKey(root, 0, buffer, &length), kRegOk);
    EXPECT_EQ(length, 10u);
    EXPECT_EQ(buffer[10], u'\0');
    EXPECT_EQ(Text(buffer, length), u"abcdef.exe");
    length = 16;
    EXPECT_NE(reg().EnumKey(root, 1, buffer, &length), kRegOk);
    reg().CloseKey(root);
}

TEST_F(RegistryContract, AShorterNameInAReusedBufferEndsAtItsNul) {
    backend_->CreateKey(Path(u"a-much-longer-name.exe"));
    backend_->CreateKey(Path(u"b.exe"));
    KeyHandle root = Open();
    std::vector<char16_t> buffer(64, u'\0');
    std::set<Text> seen;
    for (std::uint32_t i = 0; i < 2; ++i) {
        auto length = static_cast<std::uint32_t>(buffer.size());
        ASSERT_EQ(reg().EnumKey(root, i, buffer.data(), &length), kRegOk);
        seen.insert(TextBeforeNul(buffer.data(), buffer.size()));
    }
    EXPECT_EQ(seen, (std::set<Text>{u"a-much-longer-name.exe", u"b.exe"}));
    reg().CloseKey(root);
}

TEST_F(RegistryContract, EnumValueReportsSizeWithoutADataBufferAndDataWithOne) {
    backend_->CreateKey(Path(u"v.exe"));
    backend_->SetValue(Path(u"v.exe"), u"Debugger", kRegSz, Utf16Bytes(u"C:\\x.exe"));
    KeyHandle key = Open(u"v.exe");

    char16_t name[256];
    std::uint32_t nameLength = 256;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(reg().EnumValue(key, 0, name, &nameLength, &type, nullptr, &size), kRegOk);
    EXPECT_EQ(nameLength, 8u);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 18u);  // 8 characters and the NUL, in bytes

    std::vector<unsigned char> data(size);
    nameLength = 256;
    ASSERT_EQ(reg().EnumValue(key, 0, name, &nameLength, &type, data.data(), &size), kRegOk);
    EXPECT_EQ(TextFromRegistryData(data.data(), size), u"C:\\x.exe");
    EXPECT_EQ(Text(name, nameLength), u"Debugger");

    nameLength = 256;
    EXPECT_NE(reg().EnumValue(key, 1, name, &nameLength, &type, nullptr, &size), kRegOk);
    reg().CloseKey(key);
}

TEST_F(RegistryContract, AValueNameAsLongAsTheCapacityDoesNotFit) {
    backend_->CreateKey(Path(u"long.exe"));
    const Text longName(256, u'n');
    backend_->SetValue(Path(u"long.exe"), longName, kRegSz, Utf16Bytes(u"x"));
    KeyHandle key = Open(u"long.exe");
    std::vector<char16_t> name(16384);
    std::uint32_t length = 256;
    std::uint32_t size = 0;
    EXPECT_NE(reg().EnumValue(key, 0, name.data(), &length, nullptr, nullptr, &size), kRegOk);
    length = 16384;
    ASSERT_EQ(reg().EnumValue(key, 0, name.data(), &length, nullptr, nullptr, &size), kRegOk);
    EXPECT_EQ(length, 256u);
    reg().CloseKey(key);
}

TEST_F(RegistryContract, DataIsReturnedByteForByteWithoutATerminator) {
    backend_->CreateKey(Path(u"raw.exe"));
    const std::vector<unsigned char> odd{'a', 0, 'b', 0, 'c'};  // 5 bytes, no NUL
    backend_->SetValue(Path(u"raw.exe"), u"Debugger", kRegSz, odd);
    KeyHandle key = Open(u"raw.exe");
    char16_t name[16];
    std::uint32_t length = 16;
    std::uint32_t type = 0;
    std::vector<unsigned char> data(16, 0xEE);
    std::uint32_t size = 16;
    ASSERT_EQ(reg().EnumValue(key, 0, name, &length, &type, data.data(), &size), kRegOk);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::vector<unsigned char>(data.begin(), data.begin() + 5), odd);
    reg().CloseKey(key);
}

TEST_F(RegistryContract, QueryValueFindsTheNameWithoutCaseAndReportsItsSize) {
    backend_->CreateKey(Path(u"q.exe"));
    backend_->SetValue(Path(u"q.exe"), Text(300, u'x'), kRegSz, Utf16Bytes(u"decoy"));
    backend_->SetValue(Path(u"q.exe"), u"DEBUGGER", kRegSz, Utf16Bytes(u"cmd"));
    KeyHandle key = Open(u"q.exe");
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(reg().QueryValue(key, u"Debugger", &type, nullptr, &size), kRegOk);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 8u);
    std::vector<unsigned char> data(size);
    std::uint32_t small = 2;
    EXPECT_NE(reg().QueryValue(key, u"Debugger", &type, data.data(), &small), kRegOk);
    ASSERT_EQ(reg().QueryValue(key, u"debugger", &type, data.data(), &size), kRegOk);
    EXPECT_EQ(TextFromRegistryData(data.data(), size), u"cmd");
    EXPECT_NE(reg().QueryValue(key, u"Debugge", &type, nullptr, &size), kRegOk);
    reg().CloseKey(key);
}

TEST_F(RegistryContract, DeleteValueMatchesTheNameWithoutCase) {
    backend_->CreateKey(Path(u"d.exe"));
    backend_->SetValue(Path(u"d.exe"), u"DEBUGGER", kRegSz, Utf16Bytes(u"x"));
    backend_->SetValue(Path(u"d.exe"), u"GlobalFlag", 4, {0, 2, 0, 0});
    KeyHandle key = Open(u"d.exe");
    EXPECT_EQ(reg().DeleteValue(key, u"Debugger"), kRegOk);
    EXPECT_NE(reg().DeleteValue(key, u"Debugger"), kRegOk);
    char16_t name[32];
    std::uint32_t length = 32;
    ASSERT_EQ(reg().EnumValue(key, 0, name, &length, nullptr, nullptr, nullptr), kRegOk);
    EXPECT_EQ(Text(name, length), u"GlobalFlag");
    reg().CloseKey(key);
}

TEST_F(RegistryContract, DeleteKeyRemovesOnlyAKeyWithoutSubkeys) {
    backend_->CreateKey(Path(u"leaf.exe"));
    backend_->CreateKey(Path(u"nested.exe\\inner"));
    KeyHandle root = Open();
    EXPECT_NE(reg().DeleteKey(root, u"nested.exe"), kRegOk);
    EXPECT_EQ(reg().DeleteKey(root, u"LEAF.EXE"), kRegOk);
    EXPECT_NE(reg().DeleteKey(root, u"leaf.exe"), kRegOk);
    EXPECT_NE(reg().DeleteKey(root, u"never-there.exe"), kRegOk);
    EXPECT_EQ(EnumerateSubkeys(root), (std::set<Text>{u"nested.exe"}));
    reg().CloseKey(root);
}

// As the registry's own parser: one name per backslash, repeated and trailing
// ones naming nothing; a deletion takes one name and never walks a path.
TEST_F(RegistryContract, APathIsSplitAtEveryBackslashAndADeletionWalksNone) {
    backend_->CreateKey(Path(u"a.exe\\inner"));
    KeyHandle inner = 0;
    ASSERT_EQ(reg().OpenKey(kLocalMachine, root_ + u"\\\\a.exe\\\\inner\\", kKeyRead, &inner), kRegOk);
    reg().CloseKey(inner);
    KeyHandle root = Open();
    EXPECT_NE(reg().DeleteKey(root, u"a.exe\\inner"), kRegOk);
    reg().CloseKey(root);
    KeyHandle a = Open(u"a.exe");
    EXPECT_EQ(EnumerateSubkeys(a), (std::set<Text>{u"inner"}));
    reg().CloseKey(a);
}

TEST_F(RegistryContract, AHandleToADeletedKeyNoLongerEnumerates) {
    backend_->CreateKey(Path(u"gone.exe"));
    backend_->SetValue(Path(u"gone.exe"), u"Debugger", kRegSz, Utf16Bytes(u"x"));
    KeyHandle key = Open(u"gone.exe");
    KeyHandle root = Open();
    ASSERT_EQ(reg().DeleteKey(root, u"gone.exe"), kRegOk);
    char16_t name[32];
    std::uint32_t length = 32;
    EXPECT_NE(reg().EnumValue(key, 0, name, &length, nullptr, nullptr, nullptr), kRegOk);
    reg().CloseKey(key);
    reg().CloseKey(root);
}

}  // namespace
}  // namespace vornex::testing

namespace vornex::testing {
namespace {

// Keys malware guards: what the scan and the repairs rely on the store to do
// with a key that refuses change, and with a registry link.
class GuardedContract : public RegistryContract {
protected:
    void SetUp() override {
        RegistryContract::SetUp();
        if (!backend_->CanGuardKeys()) GTEST_SKIP() << "this store lays out no key security or links";
    }
    RegResult OpenFor(const Text& relative, std::uint32_t access, UniqueKey* key) {
        return key->TryOpen(kLocalMachine, Path(relative), access);
    }
    std::vector<unsigned char> Security(const Text& relative, bool link = false) {
        std::vector<unsigned char> descriptor;
        EXPECT_EQ(reg().GetKeySecurity(kLocalMachine, Path(relative), link ? LinkMode::kLinkItself : LinkMode::kFollow, &descriptor), kRegOk);
        EXPECT_FALSE(descriptor.empty());
        return descriptor;
    }
    bool Exists(const Text& relative) {
        UniqueKey key(reg());
        return OpenFor(relative, kKeyRead, &key) == kRegOk;
    }
};

TEST_F(GuardedContract, AKeyThatRefusesChangeOpensForReadingOnly) {
    backend_->SetValue(Path(u"guarded.exe"), u"Debugger", kRegSz, Utf16Bytes(u"C:\\evil.exe"));
    backend_->ProtectKey(Path(u"guarded.exe"));
    UniqueKey key(reg());
    EXPECT_EQ(OpenFor(u"guarded.exe", kKeyAllAccess, &key), kRegAccessDenied);
    EXPECT_EQ(OpenFor(u"guarded.exe", kKeyQueryValue | kKeySetValue, &key), kRegAccessDenied);
    ASSERT_EQ(OpenFor(u"guarded.exe", kKeyRead, &key), kRegOk);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(reg().QueryValue(key.get(), u"Debugger", &type, nullptr, &size), kRegOk);
    EXPECT_EQ(size, Utf16Bytes(u"C:\\evil.exe").size());
    EXPECT_EQ(reg().DeleteValue(key.get(), u"Debugger"), kRegAccessDenied) << "a read-only handle deletes nothing";
    KeyHandle parent = Open();
    EXPECT_EQ(reg().DeleteKey(parent, u"guarded.exe"), kRegAccessDenied);
    reg().CloseKey(parent);
}

TEST_F(GuardedContract, ATakenOverKeyCanBeChangedAndItsSecurityPutBackExactly) {
    backend_->SetValue(Path(u"guarded.exe"), u"Debugger", kRegSz, Utf16Bytes(u"x"));
    backend_->SetValue(Path(u"guarded.exe"), u"Other", kRegSz, Utf16Bytes(u"kept"));
    backend_->ProtectKey(Path(u"guarded.exe"));
    backend_->CreateKey(Path(u"neighbour.exe"));
    const std::vector<unsigned char> original = Security(u"guarded.exe");
    const std::vector<unsigned char> neighbour = Security(u"neighbour.exe");

    ASSERT_EQ(reg().TakeOverKey(kLocalMachine, Path(u"guarded.exe"), LinkMode::kFollow), kRegOk);
    EXPECT_NE(Security(u"guarded.exe"), original);
    {
        UniqueKey key(reg());
        ASSERT_EQ(OpenFor(u"guarded.exe", kKeyQueryValue | kKeySetValue, &key), kRegOk);
        EXPECT_EQ(reg().DeleteValue(key.get(), u"Debugger"), kRegOk);
    }
    EXPECT_EQ(reg().SetKeySecurity(kLocalMachine, Path(u"guarded.exe"), LinkMode::kFollow, original), kRegOk);
    EXPECT_EQ(Security(u"guarded.exe"), original);
    EXPECT_EQ(Security(u"neighbour.exe"), neighbour) << "only the one key's security changed";
    UniqueKey key(reg());
    EXPECT_EQ(OpenFor(u"guarded.exe", kKeySetValue, &key), kRegAccessDenied) << "refuses change again";
    ASSERT_EQ(OpenFor(u"guarded.exe", kKeyRead, &key), kRegOk);
    std::uint32_t size = 0;
    EXPECT_EQ(reg().QueryValue(key.get(), u"Other", nullptr, nullptr, &size), kRegOk);
    EXPECT_EQ(reg().QueryValue(key.get(), u"Debugger", nullptr, nullptr, &size), kRegFileNotFound);
}

TEST_F(GuardedContract, OpensFollowALinkAndQueryLinkTellsItApart) {
    backend_->SetValue(Path(u"target"), u"Debugger", kRegSz, Utf16Bytes(u"C:\\through.exe"));
    backend_->CreateLink(Path(u"linked.exe"), Path(u"target"));
    UniqueKey key(reg());
    ASSERT_EQ(OpenFor(u"linked.exe", kKeyRead, &key), kRegOk);
    std::uint32_t size = 0;
    EXPECT_EQ(reg().QueryValue(key.get(), u"Debugger", nullptr, nullptr, &size), kRegOk);
    EXPECT_EQ(size, Utf16Bytes(u"C:\\through.exe").size());

    bool link = false;
    Text target;
    ASSERT_EQ(reg().QueryLink(kLocalMachine, Path(u"linked.exe"), &link, &target), kRegOk);
    EXPECT_TRUE(link);
    const Text expectedTail = u"\\" + Path(u"target");
    ASSERT_GE(target.size(), expectedTail.size());
    EXPECT_EQ(ToUtf8(target.substr(target.size() - expectedTail.size())), ToUtf8(expectedTail));
    ASSERT_EQ(reg().QueryLink(kLocalMachine, Path(u"target"), &link, &target), kRegOk);
    EXPECT_FALSE(link);
    EXPECT_EQ(reg().QueryLink(kLocalMachine, Path(u"missing"), &link, &target), kRegFileNotFound);
}

TEST_F(GuardedContract, ALinkTargetWithRepeatedAndTrailingSeparatorsIsFollowed) {
    backend_->SetValue(Path(u"target"), u"Debugger", kRegSz, Utf16Bytes(u"C:\\through.exe"));
    backend_->CreateLink(Path(u"linked.exe"), root_ + u"\\\\target\\");
    UniqueKey key(reg());
    ASSERT_EQ(OpenFor(u"linked.exe", kKeyRead, &key), kRegOk);
    EXPECT_EQ(reg().QueryValue(key.get(), u"Debugger", nullptr, nullptr, nullptr), kRegOk);
}

TEST_F(GuardedContract, DeleteLinkRemovesTheLinkAndLeavesWhatItPointsAt) {
    backend_->SetValue(Path(u"target"), u"Precious", kRegSz, Utf16Bytes(u"kept"));
    backend_->CreateLink(Path(u"linked.exe"), Path(u"target"));
    EXPECT_NE(reg().DeleteLink(kLocalMachine, Path(u"target")), kRegOk) << "an ordinary key is no link";
    ASSERT_EQ(reg().DeleteLink(kLocalMachine, Path(u"linked.exe")), kRegOk);
    bool link = false;
    EXPECT_EQ(reg().QueryLink(kLocalMachine, Path(u"linked.exe"), &link, nullptr), kRegFileNotFound);
    UniqueKey key(reg());
    ASSERT_EQ(OpenFor(u"target", kKeyRead, &key), kRegOk);
    std::uint32_t size = 0;
    EXPECT_EQ(reg().QueryValue(key.get(), u"Precious", nullptr, nullptr, &size), kRegOk);
}

// Why no repair may delete a subkey by its name: a link's name leads to its target.
TEST_F(GuardedContract, DeleteKeyByALinksNameDeletesWhatItPointsAt) {
    backend_->CreateKey(Path(u"target"));
    backend_->CreateLink(Path(u"linked.exe"), Path(u"target"));
    KeyHandle parent = Open();
    EXPECT_EQ(reg().DeleteKey(parent, u"linked.exe"), kRegOk);
    reg().CloseKey(parent);
    EXPECT_FALSE(Exists(u"target"));
    bool link = false;
    EXPECT_EQ(reg().QueryLink(kLocalMachine, Path(u"linked.exe"), &link, nullptr), kRegOk);
    EXPECT_TRUE(link) << "the link itself stays";
    EXPECT_EQ(reg().DeleteLink(kLocalMachine, Path(u"linked.exe")), kRegOk);
}

}  // namespace
}  // namespace vornex::testing
