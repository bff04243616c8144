// What a repair hands its undo keeper: exactly what it removes, read just
// before the first change, and nothing changed when no record can be had.
#include <gtest/gtest.h>

#include "core/ifeo_repair.h"
#include "core/ifeo_scan.h"
#include "tests/doubles/memory_registry.h"
#include "tests/doubles/recording_undo.h"

namespace vornex::testing {
namespace {

constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::size_t kMiB = 1024 * 1024;

class UndoRecords : public ::testing::Test {
protected:
    UndoRecords() {
        store.CreateKey(kIfeoKeyPath);
        undo.atKeep = [this] { return store.Dump(); };
    }
    static Text PathOf(const Text& name) { return kIfeoKeyPath + u'\\' + name; }
    void Redirect(const Text& name, const Text& valueName = u"Debugger") {
        store.SetString(PathOf(name), valueName, u"C:\\evil.exe");
    }
    // The record must be taken from the registry as it stood before any change.
    void ExpectKeptBeforeChanging(const std::string& before) {
        EXPECT_EQ(undo.keeps, 1);
        EXPECT_EQ(undo.registryAtKeep, before);
        EXPECT_EQ(store.OpenHandleCount(), 0u);
    }
    MemoryRegistry store;
    RecordingUndo undo;
};

TEST_F(UndoRecords, AValueRepairRecordsTheDebuggerValueAsStoredAndNothingElse) {
    Redirect(u"game.exe", u"DEBUGGER");
    store.SetValue(PathOf(u"game.exe"), u"PerfOptions", kRegDword, {3, 0, 0, 0});
    const std::string before = store.Dump();
    ASSERT_TRUE(RemoveDebugger(store, u"game.exe", nullptr, &undo).succeeded());
    ExpectKeptBeforeChanging(before);
    ASSERT_EQ(undo.kept.keys.size(), 1u);
    const UndoKey& key = undo.kept.keys[0];
    EXPECT_EQ(key.path, PathOf(u"game.exe"));
    EXPECT_FALSE(key.wholeKey);
    ASSERT_EQ(key.values.size(), 1u);
    EXPECT_EQ(key.values[0].name, u"DEBUGGER");
    EXPECT_EQ(key.values[0].type, kRegSz);
    EXPECT_EQ(key.values[0].data.size(), (Text(u"C:\\evil.exe").size() + 1) * 2);
}

TEST_F(UndoRecords, DeletionsRecordEverySubkeyWholeBeforeTheFirstIsDeleted) {
    Redirect(u"a.exe");
    store.SetValue(PathOf(u"a.exe"), u"MitigationOptions", kRegBinary, {1, 2, 3});
    store.SetValue(PathOf(u"a.exe"), u"", 0, {});
    Redirect(u"b.exe");
    const std::string before = store.Dump();
    ASSERT_TRUE(DeleteEntries(store, {u"a.exe", u"b.exe"}, nullptr, &undo).succeeded());
    ExpectKeptBeforeChanging(before);
    ASSERT_EQ(undo.kept.keys.size(), 2u);
    EXPECT_TRUE(undo.kept.keys[0].wholeKey);
    ASSERT_EQ(undo.kept.keys[0].values.size(), 3u);
    EXPECT_EQ(undo.kept.keys[0].values[1].data, (std::vector<unsigned char>{1, 2, 3}));
    EXPECT_EQ(undo.kept.keys[0].values[2].name, u"");
    EXPECT_EQ(undo.kept.keys[1].path, PathOf(u"b.exe"));
}

TEST_F(UndoRecords, WhatChangedSinceTheScanIsWhatIsRecorded) {
    Redirect(u"a.exe");
    ASSERT_EQ(ScanIfeo(store).entries.size(), 1u);
    store.SetString(PathOf(u"a.exe"), u"Debugger", u"C:\\changed.exe");
    store.SetValue(PathOf(u"a.exe"), u"Added", kRegDword, {7, 0, 0, 0});
    ASSERT_TRUE(DeleteEntry(store, u"a.exe", nullptr, &undo).succeeded());
    ASSERT_EQ(undo.kept.keys[0].values.size(), 2u);
    EXPECT_EQ(TextFromRegistryData(undo.kept.keys[0].values[0].data.data(), undo.kept.keys[0].values[0].data.size()),
              u"C:\\changed.exe");
}

TEST_F(UndoRecords, ALinkIsRecordedAsALinkWithItsTargetAndNothingBehindIt) {
    store.SetString(u"SOFTWARE\\Elsewhere", u"Debugger", u"x");
    store.CreateLink(PathOf(u"linked.exe"), u"SOFTWARE\\Elsewhere");
    for (bool wholeKey : {false, true}) {
        RecordingUndo one;
        const RepairResult result = wholeKey ? DeleteEntry(store, u"linked.exe", nullptr, &one)
                                             : RemoveDebugger(store, u"linked.exe", nullptr, &one);
        ASSERT_TRUE(result.succeeded());
        ASSERT_EQ(one.kept.keys.size(), 1u);
        EXPECT_TRUE(one.kept.keys[0].link);
        EXPECT_FALSE(one.kept.keys[0].linkTarget.empty());
        EXPECT_TRUE(one.kept.keys[0].values.empty());
        store.CreateLink(PathOf(u"linked.exe"), u"SOFTWARE\\Elsewhere");
    }
}

// Nothing is removed without its record: a keeper that cannot keep it, or a
// key that cannot be read even with backup intent, stops the repair whole.
TEST_F(UndoRecords, NoRecordNoChange) {
    struct Case {
        const char* what;
        std::function<void(MemoryRegistry&, RecordingUndo&)> arrange;
        RegResult code;
    };
    const std::vector<Case> cases = {
        {"the keeper refuses", [](MemoryRegistry&, RecordingUndo& u) { u.refuse = kRegDiskFull; }, kRegDiskFull},
        {"unreadable even with backup intent",
         [](MemoryRegistry& s, RecordingUndo&) {
             s.DenyAdministrators(PathOf(u"b.exe"));
             s.RefuseBackupIntent();
         },
         kRegAccessDenied},
        {"a value read fails", [](MemoryRegistry& s, RecordingUndo&) { s.FailOperation("EnumValue", 3, kRegReadFault); },
         kRegReadFault},
    };
    for (const Case& c : cases) {
        for (bool wholeKeys : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (wholeKeys ? ", deletions" : ", value repair"));
            MemoryRegistry s;
            s.SetString(PathOf(u"a.exe"), u"Debugger", u"x");
            s.SetString(PathOf(u"b.exe"), u"Debugger", u"y");
            s.SetString(PathOf(u"b.exe"), u"Other", u"z");
            RecordingUndo u;
            c.arrange(s, u);
            const std::string before = s.Dump();
            const RepairResult result = wholeKeys ? DeleteEntries(s, {u"a.exe", u"b.exe"}, nullptr, &u)
                                                  : RemoveDebugger(s, u"b.exe", nullptr, &u);
            ASSERT_FALSE(result.succeeded());
            EXPECT_EQ(result.failure->code, c.code);
            EXPECT_TRUE(result.changes.empty());
            EXPECT_EQ(s.Dump(), before);
        }
    }
}

TEST_F(UndoRecords, AKeyDenyingTheAdministratorsIsReadWithBackupIntent) {
    Redirect(u"locked.exe");
    store.DenyAdministrators(PathOf(u"locked.exe"));
    ASSERT_TRUE(DeleteEntry(store, u"locked.exe", nullptr, &undo).succeeded());
    ASSERT_EQ(undo.kept.keys[0].values.size(), 1u);
    EXPECT_FALSE(undo.kept.keys[0].values[0].data.empty());
    EXPECT_FALSE(store.KeyExists(PathOf(u"locked.exe")));
}

// A key stuffed to make its record impossible: past the bound the values
// are named with their sizes, and the key still goes.
TEST_F(UndoRecords, DataPastTheBoundIsNamedNotRecordedAndTheRepairGoesOn) {
    Redirect(u"stuffed.exe");
    const std::size_t stuffed = kUndoDataBound / kMiB + 2;
    for (std::size_t i = 0; i < stuffed; ++i) {
        store.SetValue(PathOf(u"stuffed.exe"), u"v" + DecimalText(static_cast<unsigned long>(i)), kRegBinary,
                       std::vector<unsigned char>(kMiB, 0xAB));
    }
    ASSERT_TRUE(DeleteEntry(store, u"stuffed.exe", nullptr, &undo).succeeded());
    EXPECT_FALSE(store.KeyExists(PathOf(u"stuffed.exe")));
    std::size_t recordedBytes = 0, named = 0;
    for (const UndoValue& value : undo.kept.keys[0].values) {
        recordedBytes += value.data.size();
        if (!value.recorded) {
            ++named;
            EXPECT_EQ(value.size, kMiB);
            EXPECT_TRUE(value.data.empty());
        }
    }
    EXPECT_LE(recordedBytes, kUndoDataBound);
    EXPECT_GE(named, 2u);
    EXPECT_TRUE(undo.kept.keys[0].values.front().recorded) << "the Debugger value comes first and fits";
}

TEST_F(UndoRecords, TenThousandValuesAreAllRecorded) {
    Redirect(u"many.exe");
    for (unsigned long i = 0; i < 10000; ++i) {
        store.SetValue(PathOf(u"many.exe"), u"n" + DecimalText(i), kRegDword, {1, 0, 0, 0});
    }
    ASSERT_TRUE(DeleteEntry(store, u"many.exe", nullptr, &undo).succeeded());
    EXPECT_EQ(undo.kept.keys[0].values.size(), 10001u);
}

}  // namespace
}  // namespace vornex::testing
