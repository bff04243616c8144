// Keyboard and mouse on the real window, all as real input (SendInput):
// selecting lines, the tab order, access keys, Enter, Space and Esc.
#include <utility>

#include "tests/e2e/e2e_fixture.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

class Interaction : public VornexE2E {
protected:
    // a.exe, b.exe and c.exe, each redirected to a command of its own.
    void SeedAndLaunch() {
        for (const auto& [name, command] : entries_) Redirect(name, command);
        before_ = IfeoSnapshot();
        Launch();
        ASSERT_EQ(ListBoxLines(Ctl(IDC_LSTLISTKEY)), (std::vector<std::wstring>{L"a.exe", L"b.exe", L"c.exe"}));
    }

    // The selection handler ran for this line of the seeded list.
    void ExpectDetailsFor(int line, const std::vector<std::pair<std::wstring, std::wstring>>& listed) {
        const auto& [name, command] = listed[static_cast<std::size_t>(line)];
        EXPECT_TRUE(WaitUntil([&] { return TextOfCtl(IDC_LBLDETAIL) == DetailHeading(name); }, 3000))
            << "heading " << Utf8(Escape(TextOfCtl(IDC_LBLDETAIL))) << " for line " << line;
        EXPECT_EQ(ListBoxSelection(Ctl(IDC_LSTLISTKEY)), line);
        EXPECT_EQ(TextOfCtl(IDC_TXTDETAIL), DetailAdvice(name, command));
        EXPECT_TRUE(IsEnabled(Ctl(IDC_CMDDELETE)));
        EXPECT_TRUE(IsEnabled(Ctl(IDC_CMDDELETE1)));
    }
    void ExpectDetailsFor(int line) { ExpectDetailsFor(line, entries_); }

    // Tab (or Shift+Tab) once per control, expecting the focus on each in turn.
    void ExpectTabWalk(const std::vector<int>& ids, unsigned modifiers) {
        for (std::size_t step = 0; step < ids.size(); ++step) {
            Press(VK_TAB, modifiers);
            ASSERT_TRUE(FocusComesTo(ids[step])) << (modifiers & kShift ? "Shift+Tab" : "Tab") << " number "
                                                 << step + 1;
        }
    }

    void ExpectQuestionAndCancel() {
        HWND box = nullptr;
        const MessageBoxInfo info = ExpectMessageBox(&box);
        ASSERT_NE(box, nullptr) << "the warning of the automatic repair should come";
        EXPECT_EQ(info.title, L"警告");
        Answer(box, IDCANCEL);
    }

    void ExpectNotice(const std::wstring& text) {
        HWND box = nullptr;
        const MessageBoxInfo info = ExpectMessageBox(&box);
        ASSERT_NE(box, nullptr) << "expected the notice " << Utf8(text);
        EXPECT_EQ(info.text, text);
        Answer(box, IDOK);
    }

    void ExpectEnded() {
        ASSERT_TRUE(app_.WaitForExit(5000)) << "the program did not end";
        EXPECT_EQ(app_.ExitCode().value_or(0xFFFF), 0u);
    }

    const std::vector<std::pair<std::wstring, std::wstring>> entries_{
        {L"a.exe", L"C:\\x\\a-hijack.exe"},
        {L"b.exe", L"b-hijack.exe /q"},
        {L"c.exe", L"\"C:\\Program Files\\c.exe\" -run"},
    };
    RegSnapshot before_;
};

TEST_F(Interaction, AClickOnALineSelectsItAndExplainsIt) {
    SeedAndLaunch();
    for (int line : {1, 0, 2}) {
        ClickLine(line);
        ExpectDetailsFor(line);
    }
    EXPECT_TRUE(IsEnabled(Ctl(IDC_CMDFIX)));
    EXPECT_TRUE(FocusComesTo(IDC_LSTLISTKEY));
    CloseAndExpectExit();
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"") << "selecting changes nothing";
}

TEST_F(Interaction, ArrowKeysMoveTheSelectionAndExplainIt) {
    SeedAndLaunch();
    ASSERT_TRUE(FocusComesTo(IDC_LSTLISTKEY));
    // From the start, with nothing selected: which line the first key picks
    // is the list's own affair; whichever it is gets explained.
    Press(VK_DOWN);
    ASSERT_TRUE(WaitUntil([&] { return ListBoxSelection(Ctl(IDC_LSTLISTKEY)) >= 0; }, 3000));
    ExpectDetailsFor(ListBoxSelection(Ctl(IDC_LSTLISTKEY)));

    Press(VK_HOME);
    ExpectDetailsFor(0);
    Press(VK_DOWN);
    ExpectDetailsFor(1);
    Press(VK_DOWN);
    ExpectDetailsFor(2);
    Press(VK_UP);
    ExpectDetailsFor(1);
    Press(VK_END);
    ExpectDetailsFor(2);
    Press(VK_HOME);
    ExpectDetailsFor(0);
    EXPECT_TRUE(FocusComesTo(IDC_LSTLISTKEY));
    EXPECT_EQ(FindMessageBox(app_.pid()), nullptr);
    CloseAndExpectExit();
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"");
}

TEST_F(Interaction, TabPassesOverLabelsAndDisabledButtons) {
    SeedAndLaunch();
    ASSERT_FALSE(IsEnabled(Ctl(IDC_CMDDELETE)));
    ASSERT_FALSE(IsEnabled(Ctl(IDC_CMDDELETE1)));
    ASSERT_TRUE(FocusComesTo(IDC_LSTLISTKEY));
    ExpectTabWalk({IDC_CMDFIX, IDC_CMDQUIT, IDC_TXTDETAIL, IDC_LSTLISTKEY}, kNoModifier);
    ExpectTabWalk({IDC_TXTDETAIL, IDC_CMDQUIT, IDC_CMDFIX, IDC_LSTLISTKEY}, kShift);
    // Walking the order presses nothing.
    EXPECT_EQ(FindMessageBox(app_.pid()), nullptr);
    EXPECT_EQ(ListBoxSelection(Ctl(IDC_LSTLISTKEY)), -1);
    CloseAndExpectExit();
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"");
}

TEST_F(Interaction, TabVisitsEveryEnabledButtonInTabIndexOrder) {
    SeedAndLaunch();
    ClickLine(1);
    ASSERT_TRUE(FocusComesTo(IDC_LSTLISTKEY));
    ExpectTabWalk({IDC_CMDFIX, IDC_CMDDELETE, IDC_CMDQUIT, IDC_TXTDETAIL, IDC_CMDDELETE1, IDC_LSTLISTKEY},
                  kNoModifier);
    ExpectTabWalk({IDC_CMDDELETE1, IDC_TXTDETAIL, IDC_CMDQUIT, IDC_CMDDELETE, IDC_CMDFIX, IDC_LSTLISTKEY},
                  kShift);
    EXPECT_EQ(FindMessageBox(app_.pid()), nullptr);
    ExpectDetailsFor(1);
    CloseAndExpectExit();
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"");
}

TEST_F(Interaction, EscPressesNoButtonAndEnterInTheListNeither) {
    SeedAndLaunch();
    ASSERT_TRUE(FocusComesTo(IDC_LSTLISTKEY));
    Press(VK_RETURN);
    ExpectNoReactionFor(400);
    Press(VK_ESCAPE);
    ExpectNoReactionFor(400);

    ClickLine(0);
    Press(VK_RETURN);
    ExpectNoReactionFor(400);
    EXPECT_TRUE(FocusComesTo(IDC_LSTLISTKEY));
    // Esc on each focused control: none of them is a cancel button.
    for (int id : {IDC_CMDFIX, IDC_CMDDELETE, IDC_CMDQUIT, IDC_TXTDETAIL, IDC_CMDDELETE1}) {
        Press(VK_TAB);
        ASSERT_TRUE(FocusComesTo(id));
        Press(VK_ESCAPE);
        ExpectNoReactionFor(300);
        EXPECT_TRUE(FocusComesTo(id)) << "Esc moved the focus";
        if (id == IDC_TXTDETAIL) {
            // Without a default button Enter in the text box presses nothing.
            Press(VK_RETURN);
            ExpectNoReactionFor(300);
        }
    }
    ExpectDetailsFor(0);
    CloseAndExpectExit();
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"") << "Enter or Esc changed the registry";
}

TEST_F(Interaction, EnterAndSpaceOnAFocusedButtonPressIt) {
    SeedAndLaunch();
    ASSERT_TRUE(FocusComesTo(IDC_LSTLISTKEY));
    Press(VK_TAB);
    ASSERT_TRUE(FocusComesTo(IDC_CMDFIX));
    Press(VK_RETURN);
    ExpectQuestionAndCancel();
    ASSERT_TRUE(FocusComesTo(IDC_CMDFIX)) << "the focus comes back from the box";
    Press(VK_SPACE);
    ExpectQuestionAndCancel();
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"");

    ClickLine(0);
    ExpectTabWalk({IDC_CMDFIX, IDC_CMDDELETE}, kNoModifier);
    Press(VK_SPACE);
    ExpectNotice(L"已成功修复！");
    ASSERT_TRUE(WaitUntil([&] { return ListBoxCount(Ctl(IDC_LSTLISTKEY)) == 2; }, 3000));
    RegSnapshot expected = before_;
    expected.RemoveValue(L"a.exe", L"Debugger");
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");

    ClickLine(0);
    ExpectDetailsFor(0, {entries_[1], entries_[2]});
    Press(VK_TAB, kShift);
    ASSERT_TRUE(FocusComesTo(IDC_CMDDELETE1));
    Press(VK_RETURN);
    ExpectNotice(L"已成功删除！");
    ASSERT_TRUE(WaitUntil([&] { return ListBoxCount(Ctl(IDC_LSTLISTKEY)) == 1; }, 3000));
    expected.RemoveKey(L"b.exe");
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");

    ASSERT_TRUE(FocusComesTo(IDC_LSTLISTKEY)) << "the disabled button passed the focus on";
    ExpectTabWalk({IDC_CMDFIX, IDC_CMDQUIT}, kNoModifier);
    Press(VK_RETURN);
    ExpectEnded();
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");
}

TEST_F(Interaction, AccessKeysOfDisabledButtonsDoNothing) {
    SeedAndLaunch();
    ASSERT_TRUE(FocusComesTo(IDC_LSTLISTKEY));
    for (WORD key : {'M', 'D'}) {
        Press(key, kAlt);
        ExpectNoReactionFor(400);
    }
    EXPECT_EQ(ListBoxSelection(Ctl(IDC_LSTLISTKEY)), -1);
    EXPECT_EQ(ListBoxCount(Ctl(IDC_LSTLISTKEY)), 3);
    // No menu or other mode caught the keys: the list still takes them.
    EXPECT_TRUE(FocusComesTo(IDC_LSTLISTKEY));
    Press(VK_DOWN);
    ASSERT_TRUE(WaitUntil([&] { return ListBoxSelection(Ctl(IDC_LSTLISTKEY)) >= 0; }, 3000));
    ExpectDetailsFor(ListBoxSelection(Ctl(IDC_LSTLISTKEY)));
    CloseAndExpectExit();
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"");
}

TEST_F(Interaction, WithNothingListedOnlyAltQAnswers) {
    SetString(HKEY_LOCAL_MACHINE, SubkeyPath(L"harmless.exe"), L"GlobalFlag", L"0");
    before_ = IfeoSnapshot();
    Launch();
    ExpectNotice(L"没有发现IFEO重定向！谢谢使用本工具！");
    ASSERT_FALSE(IsEnabled(Ctl(IDC_CMDFIX)));
    for (WORD key : {'A', 'M', 'D'}) {
        Press(key, kAlt);
        ExpectNoReactionFor(400);
    }
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"");
    Press('Q', kAlt);
    ExpectEnded();
}

TEST_F(Interaction, AccessKeysPressTheirButtonsWhenEnabled) {
    SeedAndLaunch();
    Press('A', kAlt);
    ExpectQuestionAndCancel();
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"");

    ClickLine(0);
    Press('M', kAlt);
    ExpectNotice(L"已成功修复！");
    ASSERT_TRUE(WaitUntil([&] { return ListBoxCount(Ctl(IDC_LSTLISTKEY)) == 2; }, 3000));
    RegSnapshot expected = before_;
    expected.RemoveValue(L"a.exe", L"Debugger");
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");

    // The scan disabled the manual buttons again.
    Press('D', kAlt);
    ExpectNoReactionFor(400);
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");

    ClickLine(0);
    Press('D', kAlt);
    ExpectNotice(L"已成功删除！");
    ASSERT_TRUE(WaitUntil([&] { return ListBoxCount(Ctl(IDC_LSTLISTKEY)) == 1; }, 3000));
    expected.RemoveKey(L"b.exe");
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");

    Press('Q', kAlt);
    ExpectEnded();
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");
}

TEST_F(Interaction, AltQEndsTheProgramFromTheTextBoxToo) {
    SeedAndLaunch();
    ClickLine(2);
    ExpectTabWalk({IDC_CMDFIX, IDC_CMDDELETE, IDC_CMDQUIT, IDC_TXTDETAIL}, kNoModifier);
    Press('Q', kAlt);
    ExpectEnded();
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"");
}

}  // namespace
}  // namespace vornex::e2e
