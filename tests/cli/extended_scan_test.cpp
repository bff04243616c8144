// The places the window does not look at, over the in-memory registry.
#include <gtest/gtest.h>

#include "core/extended_scan.h"
#include "tests/doubles/memory_registry.h"

namespace vornex::testing {
namespace {

using namespace vornex::extended;
const Text kIfeo = kCurrentVersion + u"\\" + kIfeoName;
const Text kExit = kCurrentVersion + u"\\" + kSilentProcessExitName;

std::vector<unsigned char> Dword(std::uint32_t v) {
    return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
}

class ExtendedScan : public ::testing::Test {
protected:
    ExtendedScan() { store.CreateKey(kIfeo); }
    std::vector<Entry> Scan(const Text& view = kCurrentVersion) {
        ScanResult scan = ScanExtended(store, view);
        EXPECT_EQ(store.OpenHandleCount(), 0u) << "a key was left open";
        EXPECT_TRUE(scan.complete());
        return scan.entries;
    }
    MemoryRegistry store;
};

TEST_F(ExtendedScan, FindsADebuggerInAFilterSubkeyOnlyWhileUseFilterIsSet) {
    store.SetValue(kIfeo + u"\\svchost.exe", u"UseFilter", kRegDword, Dword(1));
    store.SetString(kIfeo + u"\\svchost.exe\\f1", u"FilterFullPath", u"C:\\Windows\\svchost.exe");
    store.SetString(kIfeo + u"\\svchost.exe\\f1", u"debugger", u"C:\\evil.exe");
    // No FilterFullPath: the loader never picks this one.
    store.SetString(kIfeo + u"\\svchost.exe\\f2", u"Debugger", u"C:\\other.exe");
    auto found = Scan();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].kind, EntryKind::kFilterDebugger);
    EXPECT_EQ(found[0].name, u"svchost.exe");
    EXPECT_EQ(found[0].command, u"C:\\evil.exe");
    EXPECT_EQ(found[0].key, kIfeo + u"\\svchost.exe\\f1");
    EXPECT_EQ(found[0].detail, u"FilterFullPath=C:\\Windows\\svchost.exe");

    store.SetValue(kIfeo + u"\\svchost.exe", u"UseFilter", kRegDword, Dword(0));
    EXPECT_TRUE(Scan().empty());
    // A string UseFilter is read as the loader reads any number from a string.
    store.SetString(kIfeo + u"\\svchost.exe", u"UseFilter", u"0X1");
    EXPECT_TRUE(Scan().empty());
    store.SetString(kIfeo + u"\\svchost.exe", u"UseFilter", u" +1");
    EXPECT_EQ(Scan().size(), 1u);
}

TEST_F(ExtendedScan, FindsASilentExitMonitorWithTheFlagAsDwordOrString) {
    store.SetValue(kIfeo + u"\\a.exe", u"GlobalFlag", kRegDword, Dword(0x200));
    store.SetString(kExit + u"\\a.exe", u"MonitorProcess", u"C:\\mon.exe");
    store.SetString(kIfeo + u"\\b.exe", u"GlobalFlag", u"0x00000200");
    store.SetString(kExit + u"\\B.EXE", u"MonitorProcess", u"C:\\mon2.exe", kRegExpandSz);
    auto found = Scan();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].kind, EntryKind::kSilentExitMonitor);
    EXPECT_EQ(found[0].command, u"C:\\mon.exe");
    EXPECT_EQ(found[0].detail, u"GlobalFlag=0x00000200");
    EXPECT_EQ(found[1].name, u"b.exe");
    EXPECT_EQ(found[1].command, u"C:\\mon2.exe");
}

TEST_F(ExtendedScan, ASilentExitMonitorNeedsBothTheFlagAndTheMonitor) {
    store.SetValue(kIfeo + u"\\a.exe", u"GlobalFlag", kRegDword, Dword(0x100));  // another bit
    store.SetString(kExit + u"\\a.exe", u"MonitorProcess", u"C:\\mon.exe");
    store.SetValue(kIfeo + u"\\b.exe", u"GlobalFlag", kRegDword, Dword(0x200));  // no monitor
    store.SetString(kExit + u"\\b.exe", u"ReportingMode", u"1");
    EXPECT_TRUE(Scan().empty());
}

TEST_F(ExtendedScan, FindsVerifierDllsWithTheVerifierFlag) {
    store.SetValue(kIfeo + u"\\v.exe", u"GlobalFlag", kRegDword, Dword(0x300));
    store.SetString(kIfeo + u"\\v.exe", u"VerifierDlls", u"evil.dll");
    store.SetString(kIfeo + u"\\w.exe", u"VerifierDlls", u"other.dll");  // no flag
    auto found = Scan();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].kind, EntryKind::kVerifierDlls);
    EXPECT_EQ(found[0].name, u"v.exe");
    EXPECT_EQ(found[0].command, u"evil.dll");
    EXPECT_EQ(found[0].detail, u"GlobalFlag=0x00000300");
}

TEST_F(ExtendedScan, LooksInTheViewItIsGiven) {
    const Text wowIfeo = kWow64CurrentVersion + u"\\" + kIfeoName;
    store.SetValue(wowIfeo + u"\\v.exe", u"GlobalFlag", kRegDword, Dword(0x100));
    store.SetString(wowIfeo + u"\\v.exe", u"VerifierDlls", u"evil.dll");
    EXPECT_TRUE(Scan().empty());
    auto found = Scan(kWow64CurrentVersion);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].key, wowIfeo + u"\\v.exe");
    EXPECT_TRUE(Wow64IfeoIsSeparate(store));
}

TEST_F(ExtendedScan, AWow64KeyThatIsALinkIsNotASeparateKey) {
    const Text wowIfeo = kWow64CurrentVersion + u"\\" + kIfeoName;
    EXPECT_FALSE(Wow64IfeoIsSeparate(store));
    store.SetValue(wowIfeo, u"SymbolicLinkValue", 6, {0x41, 0});
    EXPECT_FALSE(Wow64IfeoIsSeparate(store));
}

// The string forms are the shared table's (tests/native/loader_integer_cases.h).
TEST(ReadLoaderDword, TakesADwordOrAStringAndNothingElse) {
    auto sz = [](const Text& t) {
        std::vector<unsigned char> b;
        for (char16_t c : t + u'\0') {
            b.push_back(static_cast<unsigned char>(c));
            b.push_back(static_cast<unsigned char>(c >> 8));
        }
        return b;
    };
    EXPECT_EQ(ReadLoaderDword(kRegDword, Dword(0x200)), 0x200u);
    EXPECT_EQ(ReadLoaderDword(kRegSz, sz(u"+0x200")), 0x200u);
    EXPECT_EQ(ReadLoaderDword(kRegExpandSz, sz(u"0b1000000000")), 0x200u);
    EXPECT_EQ(ReadLoaderDword(kRegSz, sz(u"0X200")), 0u);  // a string always reads, as 0 without a number
    EXPECT_FALSE(ReadLoaderDword(kRegDword, {1, 2}));
    EXPECT_FALSE(ReadLoaderDword(3, Dword(0x200)));  // REG_BINARY
}

}  // namespace
}  // namespace vornex::testing
