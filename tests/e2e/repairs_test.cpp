// The selection and the four buttons, driven through the real window.
#include "tests/e2e/e2e_fixture.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

class Repairs : public VornexE2E {
protected:
    // a.exe (with a second value), b.exe and c.exe, listed in that order.
    void SeedAndLaunch() {
        Redirect(L"a.exe", L"\"C:\\bad dir\\a.exe\" /quiet");
        SetString(HKEY_LOCAL_MACHINE, SubkeyPath(L"a.exe"), L"MitigationOptions", L"keep");
        Redirect(L"b.exe", L"b-hijack.exe");
        Redirect(L"c.exe", L"c-hijack.exe");
        SetString(HKEY_LOCAL_MACHINE, SubkeyPath(L"unlisted.exe"), L"GlobalFlag", L"0");
        before_ = IfeoSnapshot();
        Launch();
        ASSERT_EQ(ListBoxLines(Ctl(IDC_LSTLISTKEY)), (std::vector<std::wstring>{L"a.exe", L"b.exe", L"c.exe"}));
    }
    // Expects a notice with this text, answers it.
    void ExpectNotice(const std::wstring& text) {
        HWND box = nullptr;
        const MessageBoxInfo info = ExpectMessageBox(&box);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(info.title, L"提示");
        EXPECT_EQ(info.text, text);
        EXPECT_EQ(info.buttons, std::vector<int>{IDOK});
        EXPECT_EQ(info.icon, MessageBoxIcon::Information) << IconName(info.icon);
        Answer(box, IDOK);
    }
    void ExpectNoMessageFor(int ms) {
        SleepMs(ms);
        EXPECT_EQ(FindMessageBox(app_.pid()), nullptr) << "a failure must end quietly";
    }
    RegSnapshot before_;
};

TEST_F(Repairs, SelectingALineExplainsItsRedirection) {
    SeedAndLaunch();
    ClickLine(0);
    EXPECT_TRUE(IsEnabled(Ctl(IDC_CMDDELETE1)));
    EXPECT_TRUE(IsEnabled(Ctl(IDC_CMDFIX)));
    EXPECT_EQ(TextOfCtl(IDC_LBLDETAIL), L"下面是 a.exe 的重定向情况及处理建议，请谨慎选择操作方式！");
    EXPECT_EQ(TextOfCtl(IDC_TXTDETAIL),
              L"a.exe被重定向到\"C:\\bad dir\\a.exe\" /quiet，如没有安装a.exe，请点击“手工删除”。"
              L"如果安装了a.exe并确认被劫持，请点击“手工修复”。");
    Screenshot(L"selected-line");
    ClickLine(2);
    EXPECT_EQ(TextOfCtl(IDC_LBLDETAIL), L"下面是 c.exe 的重定向情况及处理建议，请谨慎选择操作方式！");
    CloseAndExpectExit();
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"");
}

TEST_F(Repairs, ManualRepairRemovesOnlyTheDebuggerValue) {
    SeedAndLaunch();
    ClickLine(0);
    ClickButton(IDC_CMDDELETE);
    ExpectNotice(L"已成功修复！");
    EXPECT_TRUE(WaitUntil([&] { return ListBoxCount(Ctl(IDC_LSTLISTKEY)) == 2; }, 3000));
    EXPECT_EQ(ListBoxLines(Ctl(IDC_LSTLISTKEY)), (std::vector<std::wstring>{L"b.exe", L"c.exe"}));
    EXPECT_FALSE(IsEnabled(Ctl(IDC_CMDDELETE)));
    EXPECT_EQ(TextOfCtl(IDC_TXTDETAIL), L"");
    RegSnapshot expected = before_;
    expected.RemoveValue(L"a.exe", L"Debugger");
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");
    CloseAndExpectExit();
}

TEST_F(Repairs, ManualRepairRemovesAnUpperCaseValueAndTheLastEntryBringsBothNotices) {
    Redirect(L"upper.exe", L"x.exe", L"DEBUGGER");
    before_ = IfeoSnapshot();
    Launch();
    ClickLine(0);
    ClickButton(IDC_CMDDELETE);
    ExpectNotice(L"已成功修复！");
    ExpectNotice(L"没有发现IFEO重定向！谢谢使用本工具！");
    RegSnapshot expected = before_;
    expected.RemoveValue(L"upper.exe", L"DEBUGGER");
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");
    EXPECT_EQ(TextOfCtl(IDC_LBLCOUNT), L"被重定向的应用程序 0 个。");
    CloseAndExpectExit();
}

TEST_F(Repairs, ManualDeleteRemovesTheWholeSubkey) {
    SeedAndLaunch();
    ClickLine(1);
    ClickButton(IDC_CMDDELETE1);
    ExpectNotice(L"已成功删除！");
    EXPECT_TRUE(WaitUntil([&] { return ListBoxCount(Ctl(IDC_LSTLISTKEY)) == 2; }, 3000));
    RegSnapshot expected = before_;
    expected.RemoveKey(L"b.exe");
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");
    CloseAndExpectExit();
}

TEST_F(Repairs, ADeletionTheRegistryRefusesEndsQuietly) {
    Redirect(L"nested.exe", L"n.exe");
    CreateKey(HKEY_LOCAL_MACHINE, SubkeyPath(L"nested.exe\\inner"));
    before_ = IfeoSnapshot();
    Launch();
    ClickLine(0);
    const std::wstring advice = TextOfCtl(IDC_TXTDETAIL);
    ClickButton(IDC_CMDDELETE1);
    ExpectNoMessageFor(700);
    EXPECT_EQ(ListBoxSelection(Ctl(IDC_LSTLISTKEY)), 0);
    EXPECT_EQ(TextOfCtl(IDC_TXTDETAIL), advice);
    EXPECT_TRUE(IsEnabled(Ctl(IDC_CMDDELETE)) && IsEnabled(Ctl(IDC_CMDDELETE1)));
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"");
    CloseAndExpectExit();
}

TEST_F(Repairs, AutomaticRepairAsksAndCancelChangesNothing) {
    SeedAndLaunch();
    ClickButton(IDC_CMDFIX);
    HWND box = nullptr;
    const MessageBoxInfo info = ExpectMessageBox(&box);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(info.title, L"警告");
    EXPECT_EQ(info.text, L"不建议使用自动修复功能！\r\n使用自动修复可能会删除有用项，确定要自动修复吗？");
    EXPECT_EQ(info.buttons, (std::vector<int>{IDOK, IDCANCEL}));
    EXPECT_EQ(info.defaultButton, IDOK);
    EXPECT_EQ(info.icon, MessageBoxIcon::Question) << IconName(info.icon);
    Screenshot(L"automatic-repair-question");
    Answer(box, IDCANCEL);
    ExpectNoMessageFor(500);
    EXPECT_EQ(ListBoxCount(Ctl(IDC_LSTLISTKEY)), 3);
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"");
    CloseAndExpectExit();
}

TEST_F(Repairs, AutomaticRepairDeletesEveryListedSubkeyAndNothingElse) {
    SeedAndLaunch();
    ClickLine(2);
    ClickButton(IDC_CMDFIX);
    HWND box = nullptr;
    ExpectMessageBox(&box);
    ASSERT_NE(box, nullptr);
    Answer(box, IDOK);
    ExpectNotice(L"已成功删除所有被重定向的项！");
    ExpectNotice(L"没有发现IFEO重定向！谢谢使用本工具！");
    RegSnapshot expected = before_;
    expected.RemoveKey(L"a.exe");
    expected.RemoveKey(L"b.exe");
    expected.RemoveKey(L"c.exe");
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");
    EXPECT_FALSE(IsEnabled(Ctl(IDC_CMDFIX)));
    CloseAndExpectExit();
}

TEST_F(Repairs, QuitEndsTheProgramAtOnce) {
    SeedAndLaunch();
    ClickLine(1);
    ClickButton(IDC_CMDQUIT);
    ASSERT_TRUE(app_.WaitForExit(5000));
    EXPECT_EQ(app_.ExitCode().value_or(0xFFFF), 0u);
    EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"");
}

}  // namespace
}  // namespace vornex::e2e
