// The IFEO core on its own: what the scan returns, what each repair changed
// and where it stopped, over the in-memory registry.
#include <gtest/gtest.h>

#include "core/extended_scan.h"
#include "core/ifeo_repair.h"
#include "core/ifeo_scan.h"
#include "tests/doubles/memory_registry.h"

namespace vornex::testing {
namespace {

using Step = ReadFailure::Step;

// The deletions among a repair's changes (a refused change may also have
// taken over and restored a key's security).
std::vector<Change> Deletions(const RepairResult& result) {
    std::vector<Change> deletions;
    for (const Change& change : result.changes) {
        if (change.kind != Change::Kind::kTookOverSecurity && change.kind != Change::Kind::kRestoredSecurity) {
            deletions.push_back(change);
        }
    }
    return deletions;
}

class IfeoCore : public ::testing::Test {
protected:
    IfeoCore() { store.CreateKey(kIfeoKeyPath); }
    static Text PathOf(const Text& name) { return kIfeoKeyPath + u'\\' + name; }
    void Redirect(const Text& name, const Text& command) { store.SetString(PathOf(name), u"Debugger", command); }
    ScanResult Scan(const Text& ifeo = kIfeoKeyPath, EntryKind kind = EntryKind::kDebugger) {
        ScanResult scan = ScanIfeo(store, ifeo, kind);
        EXPECT_EQ(store.OpenHandleCount(), 0u) << "a key was left open";
        return scan;
    }
    MemoryRegistry store;
};

TEST_F(IfeoCore, ScanReturnsEntriesInTheRegistrysOrderWithTheirKeys) {
    Redirect(u"zeta.exe", u"C:\\z.exe -q");
    store.CreateKey(PathOf(u"plain.exe"));
    Redirect(u"Alpha.exe", u"\"C:\\a b\\a.exe\"");
    const ScanResult scan = Scan();
    EXPECT_TRUE(scan.complete());
    ASSERT_EQ(scan.entries.size(), 2u);
    EXPECT_EQ(scan.entries[0].name, u"zeta.exe");
    EXPECT_EQ(scan.entries[0].command, u"C:\\z.exe -q");
    EXPECT_EQ(scan.entries[0].key, PathOf(u"zeta.exe"));
    EXPECT_EQ(scan.entries[0].kind, EntryKind::kDebugger);
    EXPECT_EQ(scan.entries[1].name, u"Alpha.exe");
}

TEST_F(IfeoCore, EveryPlaceThatCouldNotBeReadIsReportedWithItsPathAndCode) {
    Redirect(u"a.exe", u"x");
    Redirect(u"b.exe", u"y");
    Redirect(u"c.exe", u"z");
    store.DenyOpen(PathOf(u"b.exe"));
    store.FailOperation("EnumKey", 3, 1011);
    const ScanResult scan = Scan();
    EXPECT_TRUE(scan.opened());
    EXPECT_FALSE(scan.complete());
    EXPECT_FALSE(scan.listedWhole());
    ASSERT_EQ(scan.entries.size(), 1u);
    EXPECT_EQ(scan.entries[0].name, u"a.exe");
    ASSERT_EQ(scan.unread.size(), 2u);
    EXPECT_EQ(scan.unread[0].step, Step::kOpenSubkey);
    EXPECT_EQ(scan.unread[0].key, PathOf(u"b.exe"));
    EXPECT_EQ(scan.unread[0].code, kRegAccessDenied);
    EXPECT_EQ(scan.unread[1].step, Step::kEnumSubkey);
    EXPECT_EQ(scan.unread[1].key, kIfeoKeyPath);
    EXPECT_EQ(scan.unread[1].code, 1011);
}

// Both scans walk the same way: backup intent only where a key refuses
// reading, the IFEO key itself included, and only to read.
TEST_F(IfeoCore, BothScansReadPastAKeyThatDeniesTheAdministratorsAndOnlyThere) {
    const Text ifeoPath = kCurrentVersion + u"\\" + kIfeoName;
    store.SetString(PathOf(u"hidden.exe"), u"Debugger", u"evil.exe");
    store.SetValue(PathOf(u"hidden.exe"), u"GlobalFlag", extended::kRegDword, {0x00, 0x01, 0x00, 0x00});
    store.SetString(PathOf(u"hidden.exe"), u"VerifierDlls", u"evil.dll");
    Redirect(u"plain.exe", u"x");
    store.DenyAdministrators(PathOf(u"hidden.exe"));
    store.DenyAdministrators(kIfeoKeyPath);
    ASSERT_EQ(ifeoPath, kIfeoKeyPath);

    const ScanResult scan = Scan();
    EXPECT_TRUE(scan.complete());
    ASSERT_EQ(scan.entries.size(), 2u);
    EXPECT_EQ(scan.entries[0].name, u"hidden.exe");
    const ScanResult wider = ScanExtended(store, kCurrentVersion);
    EXPECT_TRUE(wider.complete());
    ASSERT_EQ(wider.entries.size(), 1u);
    EXPECT_EQ(wider.entries[0].command, u"evil.dll");
    for (const std::string& call : store.CallLog()) {
        if (call.rfind("OpenKeyForBackup", 0) == 0) {
            EXPECT_TRUE(call.find("plain.exe") == std::string::npos) << call;
            EXPECT_NE(call.find(" 0x20019"), std::string::npos) << "reading only: " << call;
        }
    }

    store.RefuseBackupIntent();
    const ScanResult refused = Scan();
    ASSERT_EQ(refused.unread.size(), 1u);
    EXPECT_EQ(refused.unread[0].step, Step::kOpenKey);
    EXPECT_EQ(refused.unread[0].code, kRegAccessDenied) << "the refusal as the plain open met it";
}

// The security is written back at most twice and read back each time; a key
// left taken over is a failure of its own, never a quiet success.
TEST_F(IfeoCore, ASecurityThatWillNotGoBackIsReportedAfterTheSecondWrite) {
    struct Case {
        int failedWrites;
        bool succeeded;
    };
    for (const Case c : {Case{1, true}, Case{2, false}}) {
        store.SetString(PathOf(u"guarded.exe"), u"Debugger", u"x");
        store.ProtectKey(PathOf(u"guarded.exe"));
        for (std::uint64_t i = 1; i <= static_cast<std::uint64_t>(c.failedWrites); ++i) {
            store.FailOperation("SetKeySecurity", i, 1450);
        }
        const RepairResult result = RemoveDebugger(store, u"guarded.exe");
        EXPECT_EQ(result.succeeded(), c.succeeded) << c.failedWrites << " failed writes";
        ASSERT_FALSE(result.changes.empty());
        if (c.succeeded) {
            EXPECT_EQ(result.changes.back().kind, Change::Kind::kRestoredSecurity);
        } else {
            ASSERT_TRUE(result.failure);
            EXPECT_EQ(result.failure->attempted.kind, Change::Kind::kRestoredSecurity);
            EXPECT_EQ(result.failure->code, 1450);
        }
        store.RemoveTree(PathOf(u"guarded.exe"));
    }
}

TEST_F(IfeoCore, AFailedKeyQueryOrValueReadIsNotAnEmptyKey) {
    Redirect(u"a.exe", u"x");
    store.FailOperation("QueryInfoKey", 1);
    ScanResult scan = Scan();
    EXPECT_TRUE(scan.entries.empty());
    ASSERT_EQ(scan.unread.size(), 1u);
    EXPECT_EQ(scan.unread[0].step, Step::kQueryKey);

    store.FailOperation("QueryValue", 1, kRegAccessDenied);
    scan = Scan();
    EXPECT_TRUE(scan.entries.empty());
    ASSERT_EQ(scan.unread.size(), 1u);
    EXPECT_EQ(scan.unread[0].step, Step::kReadValue);
    EXPECT_EQ(scan.unread[0].key, PathOf(u"a.exe"));
}

TEST_F(IfeoCore, AnIfeoKeyThatCannotBeOpenedSaysSo) {
    store.DenyOpen(kIfeoKeyPath);
    const ScanResult scan = Scan();
    EXPECT_FALSE(scan.opened());
    EXPECT_EQ(scan.openResult, kRegAccessDenied);
    ASSERT_EQ(scan.unread.size(), 1u);
    EXPECT_EQ(scan.unread[0].step, Step::kOpenKey);
    // A missing key is not a readable, empty one either.
    MemoryRegistry empty;
    EXPECT_FALSE(ScanIfeo(empty).opened());
}

TEST_F(IfeoCore, ScansTheViewItIsGiven) {
    store.SetString(kWow64IfeoKeyPath + u"\\w.exe", u"Debugger", u"C:\\w32.exe");
    Redirect(u"n.exe", u"C:\\n.exe");
    const ScanResult scan = Scan(kWow64IfeoKeyPath, EntryKind::kWow64Debugger);
    ASSERT_EQ(scan.entries.size(), 1u);
    EXPECT_EQ(scan.entries[0].kind, EntryKind::kWow64Debugger);
    EXPECT_EQ(scan.entries[0].key, kWow64IfeoKeyPath + u"\\w.exe");
}

TEST_F(IfeoCore, RemoveDebuggerReportsTheValueItRemovedAndCanHandBackItsKey) {
    Redirect(u"a.exe", u"x");
    store.SetString(PathOf(u"a.exe"), u"Other", u"kept");
    UniqueKey opened(store);
    const RepairResult result = RemoveDebugger(store, u"a.exe", &opened);
    ASSERT_TRUE(result.succeeded());
    ASSERT_EQ(result.changes.size(), 1u);
    EXPECT_EQ(result.changes[0].kind, Change::Kind::kDeletedValue);
    EXPECT_EQ(result.changes[0].key, PathOf(u"a.exe"));
    EXPECT_EQ(result.changes[0].value, u"Debugger");
    EXPECT_EQ(store.OpenHandleCount(), 1u);
    opened.Reset();
    EXPECT_EQ(store.OpenHandleCount(), 0u);
    EXPECT_TRUE(store.KeyExists(PathOf(u"a.exe")));
    EXPECT_TRUE(Scan().entries.empty());
}

TEST_F(IfeoCore, ARepairThatFailsChangesNothingAndSaysWhereAndWhy) {
    Redirect(u"a.exe", u"x");
    const std::string before = store.Dump();
    store.RefuseDeletion(PathOf(u"a.exe"));
    for (const RepairResult& result : {RemoveDebugger(store, u"a.exe"), DeleteEntry(store, u"a.exe")}) {
        ASSERT_TRUE(result.failure);
        EXPECT_TRUE(Deletions(result).empty());
        EXPECT_EQ(result.failure->attempted.key, PathOf(u"a.exe"));
        EXPECT_NE(result.failure->code, kRegOk);
    }
    const RepairResult gone = RemoveDebugger(store, u"missing.exe");
    ASSERT_TRUE(gone.failure);
    EXPECT_EQ(gone.failure->code, kRegFileNotFound);
    EXPECT_EQ(store.Dump(), before);
    EXPECT_EQ(store.OpenHandleCount(), 0u);
}

TEST_F(IfeoCore, AnEmptyNameNeverReachesTheIfeoKeyItself) {
    Redirect(u"a.exe", u"x");
    store.SetString(kIfeoKeyPath, u"Debugger", u"on the IFEO key itself");
    const std::string before = store.Dump();
    EXPECT_FALSE(RemoveDebugger(store, Text()).succeeded());
    EXPECT_FALSE(DeleteEntry(store, Text()).succeeded());
    EXPECT_EQ(store.Dump(), before);
    // In a list, the names before the empty one are deleted, then it stops.
    const RepairResult result = DeleteEntries(store, {u"a.exe", Text()});
    EXPECT_EQ(result.changes.size(), 1u);
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->code, kRegInvalidParameter);
    MemoryRegistry expected;
    expected.SetString(kIfeoKeyPath, u"Debugger", u"on the IFEO key itself");
    EXPECT_EQ(store.Dump(), expected.Dump());
}

TEST_F(IfeoCore, DeleteEntriesGoesInOrderAndStopsAtTheFirstFailure) {
    for (const Text name : {u"a.exe", u"b.exe", u"c.exe"}) Redirect(name, u"x");
    store.RefuseDeletion(PathOf(u"b.exe"));
    const RepairResult result = DeleteEntries(store, {u"a.exe", u"b.exe", u"c.exe"});
    ASSERT_EQ(Deletions(result).size(), 1u);
    EXPECT_EQ(Deletions(result)[0].key, PathOf(u"a.exe"));
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->attempted.kind, Change::Kind::kDeletedKey);
    EXPECT_EQ(result.failure->attempted.key, PathOf(u"b.exe"));
    EXPECT_FALSE(store.KeyExists(PathOf(u"a.exe")));
    EXPECT_TRUE(store.KeyExists(PathOf(u"b.exe")));
    EXPECT_TRUE(store.KeyExists(PathOf(u"c.exe")));
    EXPECT_EQ(store.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace vornex::testing
