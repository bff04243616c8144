// Selection details and the four buttons, over the in-memory store.
#include "tests/native/form_fixture.h"
#include "tests/doubles/recording_undo.h"

namespace vornex::testing {
namespace {

class Handlers : public FormTest {
protected:
    // Three listed entries, the store as it was after seeding, and a clean log.
    void SeedThree() {
        Redirect(u"c.exe", u"cc");
        Redirect(u"a.exe", u"aa");
        store.SetString(SubkeyPath(u"a.exe"), u"MitigationOptions", u"keep");
        Redirect(u"b.exe", u"bb");
        Scan();
        ASSERT_EQ(window.lines, (std::vector<Text>{u"a.exe", u"b.exe", u"c.exe"}));
        window.events.clear();
        store.ClearCallLog();
    }
    void SelectLine(int index) {
        window.Select(index);
        form.lstListKey_Click();
    }
    // A second store laid out like the first, to compare whole contents.
    std::string DumpAfter(void (*edit)(MemoryRegistry&)) {
        MemoryRegistry expected;
        expected.CreateKey(kIfeoKeyPath);
        expected.SetString(SubkeyPath(u"c.exe"), u"Debugger", u"cc");
        expected.SetString(SubkeyPath(u"a.exe"), u"Debugger", u"aa");
        expected.SetString(SubkeyPath(u"a.exe"), u"MitigationOptions", u"keep");
        expected.SetString(SubkeyPath(u"b.exe"), u"Debugger", u"bb");
        edit(expected);
        return expected.Dump();
    }
    std::vector<Text> MessageTexts() const {
        std::vector<Text> out;
        for (const auto& m : window.messages) out.push_back(m.text);
        return out;
    }
};

TEST_F(Handlers, SelectingALineExplainsItAndEnablesTheManualButtons) {
    SeedThree();
    SelectLine(1);
    EXPECT_TRUE(window.cmdDeleteEnabled);
    EXPECT_TRUE(window.cmdDelete1Enabled);
    EXPECT_TRUE(window.cmdFixEnabled);
    EXPECT_EQ(window.detailColor, 255u);
    EXPECT_EQ(window.detailCaption, texts::DetailHeading(u"b.exe"));
    EXPECT_EQ(window.detailText, texts::DetailAdvice(u"b.exe", u"bb"));
    EXPECT_EQ(window.events,
              (std::vector<std::string>{"Enable cmdDelete", "Enable cmdDelete1", "SetDetailColor 255",
                                        "SetDetailCaption " + ToUtf8(texts::DetailHeading(u"b.exe")),
                                        "SetDetailText " + ToUtf8(texts::DetailAdvice(u"b.exe", u"bb"))}));
    EXPECT_TRUE(store.CallLog().empty()) << "a selection reads no registry";

    SelectLine(2);
    EXPECT_EQ(window.detailText, texts::DetailAdvice(u"c.exe", u"cc"));
}

TEST_F(Handlers, AQuotedCommandWithArgumentsStandsInTheAdviceAsStored) {
    Redirect(u"q.exe", u"\"C:\\Program Files\\x y.exe\" -a \"b c\"");
    Scan();
    SelectLine(0);
    EXPECT_EQ(window.detailText,
              texts::DetailAdvice(u"q.exe", u"\"C:\\Program Files\\x y.exe\" -a \"b c\""));
}

TEST_F(Handlers, AClickWithoutASelectionChangesNothing) {
    SeedThree();
    SelectLine(-1);
    EXPECT_TRUE(window.events.empty());
    EXPECT_FALSE(window.cmdDeleteEnabled);
}

TEST_F(Handlers, TheHeadingStaysRedAfterAScanEmptiedIt) {
    SeedThree();
    SelectLine(0);
    Scan();
    EXPECT_TRUE(window.detailCaption.empty());
    EXPECT_EQ(window.detailColor, 255u);
    EXPECT_FALSE(window.cmdDeleteEnabled);
}

TEST_F(Handlers, ManualRepairRemovesOnlyTheDebuggerValueThenRescans) {
    SeedThree();
    SelectLine(0);
    form.cmdDelete_Click();
    EXPECT_EQ(store.Dump(), DumpAfter([](MemoryRegistry& r) {
                  r.RemoveTree(SubkeyPath(u"a.exe"));
                  r.SetString(SubkeyPath(u"a.exe"), u"MitigationOptions", u"keep");
              }));
    EXPECT_EQ(MessageTexts(), std::vector<Text>{u"已成功修复！"});
    EXPECT_EQ(window.messages[0].title, u"提示");
    EXPECT_EQ(window.messages[0].style, 64u);
    EXPECT_EQ(window.lines, (std::vector<Text>{u"b.exe", u"c.exe"}));
    EXPECT_FALSE(window.cmdDeleteEnabled);
    ExpectConsistent();
}

TEST_F(Handlers, ManualRepairRemovesAValueStoredInUpperCase) {
    Redirect(u"up.exe", u"x", u"DEBUGGER");
    store.SetString(SubkeyPath(u"up.exe"), u"Other", u"o");
    Scan();
    SelectLine(0);
    form.cmdDelete_Click();
    EXPECT_TRUE(store.KeyExists(SubkeyPath(u"up.exe")));
    EXPECT_EQ(MessageTexts(), (std::vector<Text>{u"已成功修复！", texts::kNothingFound}));
    EXPECT_EQ(store.Dump().find("DEBUGGER"), std::string::npos);
    EXPECT_NE(store.Dump().find("Other"), std::string::npos);
}

TEST_F(Handlers, ManualDeleteRemovesTheWholeSubkey) {
    SeedThree();
    SelectLine(0);
    form.cmdDelete1_Click();
    EXPECT_EQ(store.Dump(), DumpAfter([](MemoryRegistry& r) { r.RemoveTree(SubkeyPath(u"a.exe")); }));
    EXPECT_EQ(MessageTexts(), std::vector<Text>{u"已成功删除！"});
    EXPECT_EQ(window.lines, (std::vector<Text>{u"b.exe", u"c.exe"}));
    ExpectConsistent();
}

TEST_F(Handlers, TheRepairShowsItsNoticeBeforeTheScanAndClosesItsKeyLast) {
    SeedThree();
    SelectLine(0);
    window.events.clear();
    form.cmdDelete1_Click();
    ASSERT_GE(window.events.size(), 2u);
    EXPECT_EQ(window.events[0], "ShowMessage 已成功删除！");
    EXPECT_EQ(window.events[1], "Disable cmdDelete");
    EXPECT_EQ(store.CallLog().back(), "CloseKey");
    EXPECT_EQ(store.OpenHandleCount(), 0u);
}

struct RefusedCase {
    const char* name;
    void (*arrange)(MemoryRegistry&);
    void (*press)(FrmMain&);
};

class RefusedRepair : public Handlers, public ::testing::WithParamInterface<RefusedCase> {};

// Whatever stops a manual repair, it ends without a word and the window stays.
TEST_P(RefusedRepair, EndsQuietlyAndLeavesTheWindowAsItWas) {
    SeedThree();
    SelectLine(1);
    const FakeWindow before = window;
    GetParam().arrange(store);
    const std::string storeBefore = store.Dump();
    GetParam().press(form);
    for (const auto& message : window.messages) {
        EXPECT_EQ(message.title, u"警告") << "only the automatic repair's question may show";
    }
    EXPECT_EQ(window.lines, before.lines);
    EXPECT_EQ(window.selected, 1);
    EXPECT_EQ(window.detailText, before.detailText);
    EXPECT_EQ(window.detailCaption, before.detailCaption);
    EXPECT_TRUE(window.cmdDeleteEnabled && window.cmdDelete1Enabled && window.cmdFixEnabled);
    EXPECT_EQ(store.Dump(), storeBefore);
    EXPECT_EQ(store.OpenHandleCount(), 0u);
}

const RefusedCase kRefusedCases[] = {
    {"DeleteOfASubkeyWithSubkeys", [](MemoryRegistry& r) { r.CreateKey(FormTest::SubkeyPath(u"b.exe\\nested")); },
     [](FrmMain& f) { f.cmdDelete1_Click(); }},
    {"DeleteOfAnEntryRemovedSinceTheScan", [](MemoryRegistry& r) { r.RemoveTree(FormTest::SubkeyPath(u"b.exe")); },
     [](FrmMain& f) { f.cmdDelete1_Click(); }},
    {"RepairOfAnEntryRemovedSinceTheScan", [](MemoryRegistry& r) { r.RemoveTree(FormTest::SubkeyPath(u"b.exe")); },
     [](FrmMain& f) { f.cmdDelete_Click(); }},
    {"RepairOfAValueRemovedSinceTheScan",
     [](MemoryRegistry& r) {
         r.RemoveTree(FormTest::SubkeyPath(u"b.exe"));
         r.CreateKey(FormTest::SubkeyPath(u"b.exe"));
     },
     [](FrmMain& f) { f.cmdDelete_Click(); }},
    {"RepairWhenTheSubkeyCannotBeOpened", [](MemoryRegistry& r) { r.DenyOpen(FormTest::SubkeyPath(u"b.exe")); },
     [](FrmMain& f) { f.cmdDelete_Click(); }},
    {"DeleteWhenTheIfeoKeyCannotBeOpened", [](MemoryRegistry& r) { r.DenyOpen(kIfeoKeyPath); },
     [](FrmMain& f) { f.cmdDelete1_Click(); }},
    {"RepairRefusedByTheRegistry", [](MemoryRegistry& r) { r.RefuseDeletion(FormTest::SubkeyPath(u"b.exe")); },
     [](FrmMain& f) { f.cmdDelete_Click(); }},
    {"FixWhenTheIfeoKeyCannotBeOpened", [](MemoryRegistry& r) { r.DenyOpen(kIfeoKeyPath); },
     [](FrmMain& f) { f.cmdFix_Click(); }},
};

INSTANTIATE_TEST_SUITE_P(Handlers, RefusedRepair, ::testing::ValuesIn(kRefusedCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(Handlers, ManualButtonsWithoutASelectionTouchNothing) {
    SeedThree();
    window.Select(-1);
    const std::string before = store.Dump();
    form.cmdDelete_Click();
    form.cmdDelete1_Click();
    EXPECT_EQ(store.Dump(), before);
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(Handlers, FixAsksFirstAndCancelOpensNothing) {
    SeedThree();
    window.answers.push_back(2);  // Cancel
    form.cmdFix_Click();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text,
              u"不建议使用自动修复功能！\r\n使用自动修复可能会删除有用项，确定要自动修复吗？");
    EXPECT_EQ(window.messages[0].title, u"警告");
    EXPECT_EQ(window.messages[0].style, 33u);
    EXPECT_TRUE(store.CallLog().empty());
    EXPECT_EQ(window.lines.size(), 3u);
}

TEST_F(Handlers, FixDeletesEveryListedSubkeyWhateverIsSelected) {
    SeedThree();
    store.CreateKey(SubkeyPath(u"unlisted.exe"));
    SelectLine(2);
    form.cmdFix_Click();
    EXPECT_FALSE(store.KeyExists(SubkeyPath(u"a.exe")));
    EXPECT_FALSE(store.KeyExists(SubkeyPath(u"b.exe")));
    EXPECT_FALSE(store.KeyExists(SubkeyPath(u"c.exe")));
    EXPECT_TRUE(store.KeyExists(SubkeyPath(u"unlisted.exe")));
    EXPECT_EQ(MessageTexts().size(), 3u);
    EXPECT_EQ(MessageTexts()[1], u"已成功删除所有被重定向的项！");
    EXPECT_EQ(MessageTexts()[2], texts::kNothingFound);
    EXPECT_EQ(window.countCaption, u"被重定向的应用程序 0 个。");
    EXPECT_FALSE(window.cmdFixEnabled);
}

TEST_F(Handlers, FixStopsAtTheFirstRefusedDeletionAndKeepsTheList) {
    SeedThree();
    store.RefuseDeletion(SubkeyPath(u"b.exe"));
    form.cmdFix_Click();
    EXPECT_FALSE(store.KeyExists(SubkeyPath(u"a.exe")));
    EXPECT_TRUE(store.KeyExists(SubkeyPath(u"b.exe")));
    EXPECT_TRUE(store.KeyExists(SubkeyPath(u"c.exe")));
    EXPECT_EQ(MessageTexts().size(), 1u) << "only the question";
    EXPECT_EQ(window.lines.size(), 3u);
    EXPECT_EQ(store.OpenHandleCount(), 0u);
}

TEST_F(Handlers, RemovingTheLastEntryShowsBothNotices) {
    Redirect(u"only.exe", u"x");
    Scan();
    SelectLine(0);
    form.cmdDelete1_Click();
    EXPECT_EQ(MessageTexts(), (std::vector<Text>{u"已成功删除！", texts::kNothingFound}));
    EXPECT_TRUE(window.lines.empty());
}

TEST_F(Handlers, QuitEndsTheProgramWithoutTouchingTheRegistry) {
    SeedThree();
    SelectLine(0);
    store.ClearCallLog();
    form.cmdQuit_Click();
    EXPECT_TRUE(window.ended);
    EXPECT_TRUE(store.CallLog().empty());
    EXPECT_TRUE(window.messages.empty());
}

}  // namespace
}  // namespace vornex::testing

namespace vornex::testing {
namespace {

// Each live repair hands its keeper the entries its button acts on; one that
// cannot keep the record ends the handler silently with nothing changed.
TEST(HandlerUndo, EveryRepairIsRecordedFirstOrNotMade) {
    using Click = void (FrmMain::*)();
    const std::vector<std::pair<Click, std::vector<Text>>> buttons = {
        {&FrmMain::cmdDelete_Click, {u"b.exe"}},
        {&FrmMain::cmdDelete1_Click, {u"b.exe"}},
        {&FrmMain::cmdFix_Click, {u"a.exe", u"b.exe"}},
    };
    for (const auto& [click, names] : buttons) {
        for (RegResult refuse : {kRegOk, kRegDiskFull}) {
            MemoryRegistry store;
            FakeWindow window;
            std::vector<Text> askedFor;
            int kept = 0;
            LiveSession live(store, Text(), [&](const Text&, const std::vector<Text>& entries) {
                askedFor = entries;
                auto undo = std::make_unique<RecordingUndo>();
                undo->refuse = refuse;
                undo->atKeep = [&] { return std::to_string(++kept); };
                return undo;
            });
            FrmMain form(live, window);
            store.SetString(FormTest::SubkeyPath(u"a.exe"), u"Debugger", u"x");
            store.SetString(FormTest::SubkeyPath(u"b.exe"), u"Debugger", u"y");
            form.Form_Load();
            window.Select(1);
            const std::string before = store.Dump();
            (form.*click)();
            EXPECT_EQ(askedFor, names);
            EXPECT_EQ(kept, 1);
            if (refuse != kRegOk) {
                EXPECT_EQ(store.Dump(), before);
                EXPECT_LE(window.messages.size(), 1u) << "only the question, if any";
            } else {
                EXPECT_NE(store.Dump(), before);
            }
        }
    }
}

}  // namespace
}  // namespace vornex::testing
