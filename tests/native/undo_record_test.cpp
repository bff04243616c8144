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

Text PathOf(const Text& name) { return kIfeoKeyPath + u'\\' + name; }

// A record in one line: each key's name, whether it goes whole or is a link,
// and its values as name:type:bytes ("-" for one named, not recorded).
std::string Summary(const UndoRecord& record) {
    std::string out;
    for (const UndoKey& key : record.keys) {
        out += ToUtf8(key.path.substr(kIfeoKeyPath.size() + 1)) + (key.link ? " link" : key.wholeKey ? " whole" : "");
        for (const UndoValue& v : key.values) {
            out += " " + ToUtf8(v.name) + ":" + std::to_string(v.type) + ":" +
                   (v.recorded ? std::to_string(v.data.size()) : "-");
        }
        out += ";";
    }
    return out;
}

void Seed(MemoryRegistry& store) {
    store.SetString(PathOf(u"a.exe"), u"DEBUGGER", u"x");  // 4 bytes
    store.SetValue(PathOf(u"a.exe"), u"PerfOptions", kRegDword, {3, 0, 0, 0});
    store.SetValue(PathOf(u"a.exe"), u"", 0, {});
    store.SetString(PathOf(u"b.exe"), u"Debugger", u"y");
}

class UndoRecords : public ::testing::Test {
protected:
    UndoRecords() {
        Seed(store);
        undo.atKeep = [this] { return store.Dump(); };
    }
    MemoryRegistry store;
    RecordingUndo undo;
};

TEST_F(UndoRecords, EachRepairRecordsWhatItRemovesBeforeChangingAnything) {
    const std::string before = store.Dump();
    ASSERT_TRUE(RemoveDebugger(store, u"a.exe", nullptr, &undo).succeeded());
    EXPECT_EQ(Summary(undo.kept), "a.exe DEBUGGER:1:4;");
    EXPECT_EQ(undo.registryAtKeep, before);

    // What changed since the scan is what is recorded.
    ASSERT_EQ(ScanIfeo(store).entries.size(), 1u);
    store.SetString(PathOf(u"a.exe"), u"Debugger", u"changed");
    const std::string changed = store.Dump();
    ASSERT_TRUE(DeleteEntries(store, {u"a.exe", u"b.exe"}, nullptr, &undo).succeeded());
    EXPECT_EQ(Summary(undo.kept), "a.exe whole PerfOptions:4:4 :0:0 Debugger:1:16;b.exe whole Debugger:1:4;");
    EXPECT_EQ(undo.registryAtKeep, changed);
    EXPECT_EQ(store.OpenHandleCount(), 0u);
}

TEST_F(UndoRecords, ALinkIsRecordedAsALinkWithItsTargetAndNothingBehindIt) {
    store.CreateLink(PathOf(u"linked.exe"), PathOf(u"a.exe"));
    ASSERT_TRUE(DeleteEntry(store, u"linked.exe", nullptr, &undo).succeeded());
    EXPECT_EQ(Summary(undo.kept), "linked.exe link;");
    EXPECT_FALSE(undo.kept.keys[0].linkTarget.empty());
}

TEST_F(UndoRecords, AKeyDenyingTheAdministratorsIsReadWithBackupIntent) {
    store.DenyAdministrators(PathOf(u"b.exe"));
    ASSERT_TRUE(DeleteEntry(store, u"b.exe", nullptr, &undo).succeeded());
    EXPECT_EQ(Summary(undo.kept), "b.exe whole Debugger:1:4;");
}

// Nothing is removed without its record: a keeper that cannot keep it, or a
// key that cannot be read even with backup intent, stops the repair whole.
TEST(UndoRecordsRefused, NoRecordNoChange) {
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
        {"a value read fails", [](MemoryRegistry& s, RecordingUndo&) { s.FailOperation("EnumValue", 2, kRegReadFault); },
         kRegReadFault},
    };
    for (const Case& c : cases) {
        for (bool wholeKeys : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (wholeKeys ? ", deletions" : ", value repair"));
            MemoryRegistry store;
            RecordingUndo undo;
            Seed(store);
            c.arrange(store, undo);
            const std::string before = store.Dump();
            const RepairResult result = wholeKeys ? DeleteEntries(store, {u"a.exe", u"b.exe"}, nullptr, &undo)
                                                  : RemoveDebugger(store, u"b.exe", nullptr, &undo);
            ASSERT_FALSE(result.succeeded());
            EXPECT_EQ(result.failure->code, c.code);
            EXPECT_TRUE(result.changes.empty());
            EXPECT_EQ(store.Dump(), before);
        }
    }
}

// A key stuffed to make its record impossible: past the bound the values
// are named with their sizes, and the key still goes. 10,000 values are all kept.
TEST_F(UndoRecords, DataPastTheBoundIsNamedNotRecordedAndTheRepairGoesOn) {
    undo.atKeep = nullptr;  // dumping this much is slow, and nothing here needs it
    const std::size_t stuffed = kUndoDataBound / kMiB + 2;
    for (std::size_t i = 0; i < stuffed; ++i) {
        store.SetValue(PathOf(u"b.exe"), u"v" + DecimalText(static_cast<unsigned long>(i)), kRegBinary,
                       std::vector<unsigned char>(kMiB, 0xAB));
    }
    for (unsigned long i = 0; i < 10000; ++i) store.SetValue(PathOf(u"a.exe"), u"n" + DecimalText(i), kRegDword, {1, 0, 0, 0});
    ASSERT_TRUE(DeleteEntries(store, {u"a.exe", u"b.exe"}, nullptr, &undo).succeeded());
    EXPECT_FALSE(store.KeyExists(PathOf(u"b.exe")));
    EXPECT_EQ(undo.kept.keys[0].values.size(), 10003u);
    std::size_t recorded = 0, named = 0;
    for (const UndoValue& value : undo.kept.keys[1].values) {
        recorded += value.data.size();
        if (!value.recorded) {
            ++named;
            EXPECT_EQ(value.size, kMiB);
        }
    }
    EXPECT_LE(recorded, kUndoDataBound);
    EXPECT_GE(named, 2u);
    EXPECT_TRUE(undo.kept.keys[1].values.front().recorded) << "the Debugger value comes first and fits";
}

}  // namespace
}  // namespace vornex::testing
