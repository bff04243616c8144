// Entries malware guards: a key whose security lets everyone read but nobody
// change, a registry link under the IFEO key, and commands too long to show.
// Each repair is checked against the whole store.
#include "tests/native/form_fixture.h"

namespace vornex::testing {
namespace {

const Text kTarget = u"SOFTWARE\\Vendor\\Settings";

class Guarded : public FormTest {
protected:
    void SelectLine(const Text& name) {
        for (std::size_t i = 0; i < window.lines.size(); ++i) {
            if (window.lines[i] == name) {
                window.Select(static_cast<int>(i));
                form.lstListKey_Click();
                return;
            }
        }
        FAIL() << ToUtf8(name) << " is not listed";
    }
    std::vector<Text> MessageTexts() const {
        std::vector<Text> out;
        for (const auto& m : window.messages) out.push_back(m.text);
        return out;
    }
    // A read-only entry with another value beside its Debugger value.
    static void SeedReadOnly(MemoryRegistry& r) {
        r.CreateKey(kIfeoKeyPath);
        r.SetString(SubkeyPath(u"guarded.exe"), u"Debugger", u"C:\\evil.exe");
        r.SetString(SubkeyPath(u"guarded.exe"), u"MitigationOptions", u"keep");
        r.ProtectKey(SubkeyPath(u"guarded.exe"));
    }
    // A link entry pointing at a key outside the IFEO key, which holds the command.
    static void SeedLink(MemoryRegistry& r) {
        r.CreateKey(kIfeoKeyPath);
        r.SetString(kTarget, u"Debugger", u"C:\\through-link.exe");
        r.SetString(kTarget, u"Precious", u"data of another program");
        r.CreateLink(SubkeyPath(u"linked.exe"), kTarget);
    }
};

TEST_F(Guarded, AReadOnlyEntryIsListedAndExplained) {
    SeedReadOnly(store);
    Scan();
    ASSERT_EQ(window.lines, std::vector<Text>{u"guarded.exe"});
    EXPECT_EQ(form.strDebugger[0], u"C:\\evil.exe");
    SelectLine(u"guarded.exe");
    EXPECT_EQ(window.detailText, texts::DetailAdvice(u"guarded.exe", u"C:\\evil.exe"));
}

TEST_F(Guarded, RepairOfAReadOnlyEntryKeepsItsOtherValuesAndItsOwnSecurity) {
    SeedReadOnly(store);
    Scan();
    SelectLine(u"guarded.exe");
    form.cmdDelete_Click();
    MemoryRegistry expected;
    SeedReadOnly(expected);
    UniqueKey key(expected);
    ASSERT_TRUE(key.Open(kLocalMachine, SubkeyPath(u"guarded.exe"), kKeyRead));
    expected.TakeOverKey(kLocalMachine, SubkeyPath(u"guarded.exe"), LinkMode::kFollow);
    expected.RemoveTree(SubkeyPath(u"guarded.exe"));
    expected.SetString(SubkeyPath(u"guarded.exe"), u"MitigationOptions", u"keep");
    expected.ProtectKey(SubkeyPath(u"guarded.exe"));
    key.Reset();
    EXPECT_EQ(store.Dump(), expected.Dump());
    EXPECT_EQ(MessageTexts(), (std::vector<Text>{texts::kRepaired, texts::kNothingFound}));
    EXPECT_EQ(store.OpenHandleCount(), 0u);
}

TEST_F(Guarded, DeleteOfAReadOnlyEntryRemovesItsSubkey) {
    SeedReadOnly(store);
    Redirect(u"other.exe", u"x");
    Scan();
    SelectLine(u"guarded.exe");
    form.cmdDelete1_Click();
    EXPECT_FALSE(store.KeyExists(SubkeyPath(u"guarded.exe")));
    EXPECT_EQ(window.lines, std::vector<Text>{u"other.exe"});
    EXPECT_EQ(MessageTexts(), std::vector<Text>{texts::kDeleted});
}

// D:P(D;;KA;;;BA)(A;;KR;;;WD): it redirects every standard user while an
// elevated program is refused at every open. Read with backup intent, it is
// listed like any other entry and repaired through the takeover.
class DenyAdministrators : public Guarded, public ::testing::WithParamInterface<int> {};

TEST_P(DenyAdministrators, IsReadWithBackupIntentListedRepairedAndItsSecurityPutBack) {
    const Text path = SubkeyPath(u"hidden.exe");
    store.SetString(path, u"Debugger", u"C:\\evil.exe");
    store.SetString(path, u"MitigationOptions", u"keep");
    store.DenyAdministrators(path);
    Redirect(u"other.exe", u"x");
    Scan();
    EXPECT_EQ(window.lines, (std::vector<Text>{u"hidden.exe", u"other.exe"}));
    EXPECT_TRUE(window.messages.empty()) << "read whole: nothing to report";
    MemoryRegistry expected;
    expected.CreateKey(kIfeoKeyPath);
    expected.SetString(SubkeyPath(u"other.exe"), u"Debugger", u"x");
    if (GetParam() == 0) {
        expected.SetString(path, u"MitigationOptions", u"keep");
        expected.DenyAdministrators(path);
    }
    const std::string scanned = store.Dump();

    SelectLine(u"hidden.exe");
    GetParam() == 0 ? form.cmdDelete_Click() : form.cmdDelete1_Click();
    EXPECT_EQ(store.Dump(), expected.Dump()) << "before:\n" << scanned;
    EXPECT_EQ(window.lines, std::vector<Text>{u"other.exe"});
    EXPECT_EQ(MessageTexts(), std::vector<Text>{GetParam() == 0 ? texts::kRepaired : texts::kDeleted});
}

INSTANTIATE_TEST_SUITE_P(RepairAndDelete, DenyAdministrators, ::testing::Values(0, 1));

TEST_F(Guarded, ATakeoverThatIsRefusedChangesNothingAndStaysSilent) {
    SeedReadOnly(store);
    store.RefuseTakeover(SubkeyPath(u"guarded.exe"));
    Scan();
    const std::string before = store.Dump();
    SelectLine(u"guarded.exe");
    const std::vector<Text> lines = window.lines;
    form.cmdDelete_Click();
    form.cmdDelete1_Click();
    EXPECT_EQ(store.Dump(), before);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(window.lines, lines);
    EXPECT_TRUE(window.cmdDeleteEnabled) << "a failed repair leaves the window as it was";
}

TEST_F(Guarded, ATakeoverThatFailsHalfWayIsUndone) {
    SeedReadOnly(store);
    store.FailTakeoverHalfWay(SubkeyPath(u"guarded.exe"));
    Scan();
    const std::string before = store.Dump();
    SelectLine(u"guarded.exe");
    form.cmdDelete_Click();
    EXPECT_EQ(store.Dump(), before) << "the owner it took must be given back";
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(Guarded, AFailedChangeAfterATakeoverPutsTheSecurityBack) {
    SeedReadOnly(store);
    store.CreateKey(SubkeyPath(u"guarded.exe\\nested"));  // a key with subkeys is not deleted
    Scan();
    const std::string before = store.Dump();
    SelectLine(u"guarded.exe");
    form.cmdDelete1_Click();
    EXPECT_EQ(store.Dump(), before);
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(Guarded, OnlyTheRefusingKeysSecurityIsTakenOver) {
    SeedReadOnly(store);
    store.ProtectKey(kIfeoKeyPath + u"\\sibling.exe");
    store.SetString(kIfeoKeyPath + u"\\sibling.exe", u"Debugger", u"y");
    Redirect(u"open.exe", u"z");
    Scan();
    window.answers.push_back(kAnswerOk);
    form.cmdFix_Click();
    EXPECT_FALSE(store.KeyExists(SubkeyPath(u"guarded.exe")));
    EXPECT_FALSE(store.KeyExists(SubkeyPath(u"sibling.exe")));
    EXPECT_FALSE(store.KeyExists(SubkeyPath(u"open.exe")));
    // The IFEO key itself kept its own security.
    MemoryRegistry expected;
    expected.CreateKey(kIfeoKeyPath);
    EXPECT_EQ(store.Dump(), expected.Dump());
}

TEST_F(Guarded, ALinkEntryIsListedWithTheCommandTheLoaderReadsThroughIt) {
    SeedLink(store);
    Scan();
    ASSERT_EQ(window.lines, std::vector<Text>{u"linked.exe"});
    EXPECT_EQ(form.strDebugger[0], u"C:\\through-link.exe");
}

// Every button removes the link itself and leaves the key it points at as it was.
class GuardedLink : public Guarded, public ::testing::WithParamInterface<int> {};

TEST_P(GuardedLink, EveryRepairRemovesTheLinkAndNeverItsTarget) {
    SeedLink(store);
    Redirect(u"plain.exe", u"p");
    Scan();
    SelectLine(u"linked.exe");
    switch (GetParam()) {
        case 0: form.cmdDelete_Click(); break;
        case 1: form.cmdDelete1_Click(); break;
        default: form.cmdFix_Click(); break;
    }
    MemoryRegistry expected;
    SeedLink(expected);
    expected.RemoveTree(SubkeyPath(u"linked.exe"));
    if (GetParam() != 2) expected.SetString(SubkeyPath(u"plain.exe"), u"Debugger", u"p");
    EXPECT_EQ(store.Dump(), expected.Dump());
    EXPECT_FALSE(window.messages.empty()) << "the repair said it succeeded";
}

INSTANTIATE_TEST_SUITE_P(Buttons, GuardedLink, ::testing::Values(0, 1, 2));

TEST_F(Guarded, AnEntryReplacedByALinkAfterTheScanIsStillRemovedAsALink) {
    Redirect(u"swap.exe", u"x");
    Scan();
    store.RemoveTree(SubkeyPath(u"swap.exe"));
    store.SetString(kTarget, u"Debugger", u"C:\\evil.exe");
    store.CreateLink(SubkeyPath(u"swap.exe"), kTarget);
    SelectLine(u"swap.exe");
    form.cmdDelete1_Click();
    EXPECT_FALSE(store.KeyExists(SubkeyPath(u"swap.exe")));
    EXPECT_TRUE(store.KeyExists(kTarget));
}

TEST_F(Guarded, ALongCommandIsShownByItsStartWithAMarkAndItsLength) {
    const Text longCommand = u"C:\\x.exe " + Text(40000, u'a');
    Redirect(u"b-long.exe", longCommand);
    Redirect(u"a-longer.exe", u"C:\\y.exe " + Text(50000, u'b'));  // listed first: the table shifts
    Redirect(u"short.exe", Text(FrmMain::kCommandShown, u's'));
    Scan();
    ASSERT_EQ(window.lines, (std::vector<Text>{u"a-longer.exe", u"b-long.exe", u"short.exe"}));
    EXPECT_EQ(form.strDebugger[1], longCommand.substr(0, FrmMain::kCommandKept));
    SelectLine(u"b-long.exe");
    EXPECT_EQ(window.detailText,
              texts::DetailAdvice(u"b-long.exe", longCommand.substr(0, FrmMain::kCommandShown) +
                                                     u"……（命令过长，共 40009 个字符，这里只显示前 4096 个）"));
    SelectLine(u"a-longer.exe");
    EXPECT_NE(window.detailText.find(u"共 50009 个字符"), Text::npos);
    SelectLine(u"short.exe");  // exactly as long as is shown whole
    EXPECT_EQ(window.detailText, texts::DetailAdvice(u"short.exe", Text(FrmMain::kCommandShown, u's')));
}

TEST_F(Guarded, ACutNeverSplitsASurrogatePair) {
    Text command(FrmMain::kCommandShown - 1, u'x');
    for (int i = 0; i < 100; ++i) command += u"\U0001F600";
    Redirect(u"emoji.exe", command);
    Scan();
    SelectLine(u"emoji.exe");
    EXPECT_NE(window.detailText.find(Text(FrmMain::kCommandShown - 1, u'x') + u"……"), Text::npos);
}

}  // namespace
}  // namespace vornex::testing
