// Start-up of the real program: what the scan lists, and the window itself.
#include "layout.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/e2e/test_options.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

std::wstring W(const char16_t* text) {
    return std::wstring(text, text + std::char_traits<char16_t>::length(text));
}

TEST_F(VornexE2E, StartupListsEveryStringDebuggerValueSorted) {
    Redirect(L"zeta.exe", L"C:\\evil\\z.exe");
    Redirect(L"Alpha.exe", L"\"C:\\Program Files\\a.exe\" -x");
    Redirect(L"shouting.exe", L"s.exe", L"DEBUGGER");
    Redirect(L"c\u0101lc.exe", L"calc-lookalike.exe");
    Redirect(L"expand.exe", L"%SystemRoot%\\x.exe", L"Debugger", REG_EXPAND_SZ);
    Redirect(L"Your Image File Name Here without a path", L"template.exe");
    SetString(HKEY_LOCAL_MACHINE, SubkeyPath(L"mitigated.exe"), L"MitigationOptions", L"1");
    const RegSnapshot before = IfeoSnapshot();

    Launch();
    const std::vector<std::wstring> expected =
        SortedLikeTheList({L"zeta.exe", L"Alpha.exe", L"shouting.exe", L"c\u0101lc.exe"});
    EXPECT_EQ(ListBoxLines(Ctl(IDC_LSTLISTKEY)), expected);
    EXPECT_EQ(ListBoxSelection(Ctl(IDC_LSTLISTKEY)), -1);
    EXPECT_EQ(TextOfCtl(IDC_LBLCOUNT), L"被重定向的应用程序 4 个，点击文件名查看重定向数据。");
    EXPECT_TRUE(IsEnabled(Ctl(IDC_CMDFIX)));
    EXPECT_FALSE(IsEnabled(Ctl(IDC_CMDDELETE)));
    EXPECT_FALSE(IsEnabled(Ctl(IDC_CMDDELETE1)));
    EXPECT_TRUE(IsEnabled(Ctl(IDC_CMDQUIT)));
    EXPECT_EQ(TextOfCtl(IDC_TXTDETAIL), L"");
    EXPECT_EQ(TextOfCtl(IDC_LBLDETAIL), L"");
    EXPECT_TRUE(WaitUntil([&] { return FocusedWindow(window_) == Ctl(IDC_LSTLISTKEY); }, 2000))
        << "the list should have the focus";
    EXPECT_EQ(FindMessageBox(app_.pid()), nullptr);
    Screenshot(L"startup-with-redirections");

    CloseAndExpectExit();
    EXPECT_EQ(Diff(before, IfeoSnapshot()), L"") << "start-up and close change nothing";
}

TEST_F(VornexE2E, StartupWithNothingFoundShowsTheNoticeOverTheVisibleWindow) {
    SetString(HKEY_LOCAL_MACHINE, SubkeyPath(L"harmless.exe"), L"GlobalFlag", L"0");
    app_ = Process::Start(Options().exe);
    HWND box = nullptr;
    const MessageBoxInfo info = ExpectMessageBox(&box);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(info.title, L"提示");
    EXPECT_EQ(info.text, L"没有发现IFEO重定向！谢谢使用本工具！");
    EXPECT_EQ(info.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(info.icon, MessageBoxIcon::Information) << IconName(info.icon);

    WindowFilter filter;
    filter.className = VORNEX_WINDOW_CLASS;
    window_ = FindTopLevel(app_.pid(), filter);
    ASSERT_NE(window_, nullptr) << "the window must be visible under the notice";
    EXPECT_EQ(GetWindow(box, GW_OWNER), window_);
    EXPECT_EQ(TextOfCtl(IDC_LBLCOUNT), L"被重定向的应用程序 0 个。");
    Screenshot(L"startup-nothing-found");

    Answer(box, IDOK);
    EXPECT_EQ(ListBoxCount(Ctl(IDC_LSTLISTKEY)), 0);
    EXPECT_FALSE(IsEnabled(Ctl(IDC_CMDFIX)));
    EXPECT_FALSE(IsEnabled(Ctl(IDC_CMDDELETE)));
    EXPECT_FALSE(IsEnabled(Ctl(IDC_CMDDELETE1)));
    EXPECT_TRUE(IsEnabled(Ctl(IDC_CMDQUIT)));
    Screenshot(L"startup-nothing-found-after-notice");
    CloseAndExpectExit();
}

TEST_F(VornexE2E, WindowHasItsCaptionFrameAndStoredPlace) {
    Redirect(L"a.exe", L"x.exe");
    Launch();
    EXPECT_EQ(TextOf(window_), kCaption);
    const DWORD style = StyleOf(window_);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(IsIconic(window_) || IsZoomed(window_));

    const int dpi = ScreenDpi();
    const RECT client = ClientRectOf(window_);
    EXPECT_EQ(Width(client), layout::TwipsToPixels(layout::kClientWidthTwips, dpi));
    EXPECT_EQ(Height(client), layout::TwipsToPixels(layout::kClientHeightTwips, dpi));
    const POINT origin = ClientOriginOnScreen(window_);
    EXPECT_EQ(origin.x, layout::TwipsToPixels(layout::kClientLeftTwips, dpi));
    EXPECT_EQ(origin.y, layout::TwipsToPixels(layout::kClientTopTwips, dpi));
    CloseAndExpectExit();
}

TEST_F(VornexE2E, ControlsStandAtTheirDesignRectanglesInTabOrder) {
    Redirect(L"a.exe", L"x.exe");
    Launch();
    const int dpi = ScreenDpi();
    const std::vector<HWND> children = Children(window_);
    ASSERT_EQ(children.size(), layout::kControls.size());
    const wchar_t* classes[] = {L"ListBox", L"Button", L"Button", L"Button", L"Static",
                                L"Static",  L"Static", L"Edit",   L"Button", L"Static"};
    for (std::size_t i = 0; i < children.size(); ++i) {
        const auto& design = layout::kControls[i];
        EXPECT_EQ(ControlIdOf(children[i]), design.id) << "creation (tab) order at " << i;
        EXPECT_EQ(_wcsicmp(ClassNameOf(children[i]).c_str(), classes[i]), 0) << design.id;
        const layout::PixelRect want = layout::ToPixels(design.twips, dpi);
        const RECT got = RectInParent(children[i]);
        EXPECT_EQ(got.left, want.left) << "control " << design.id;
        EXPECT_EQ(got.top, want.top) << "control " << design.id;
        const bool autoSized = design.id == IDC_LABEL1 || design.id == IDC_LBLDETAIL;
        const bool integralHeight = design.id == IDC_LSTLISTKEY;
        if (design.id != IDC_LABEL1) {
            EXPECT_EQ(Width(got), want.width) << "control " << design.id;
        }
        if (!autoSized && !integralHeight) {
            EXPECT_EQ(Height(got), want.height) << "control " << design.id;
        }
        if (integralHeight) {
            // The list trims itself to whole lines of its font.
            const int item = static_cast<int>(SendMessageW(children[i], LB_GETITEMHEIGHT, 0, 0));
            EXPECT_LE(Height(got), want.height);
            EXPECT_GT(Height(got), want.height - item);
        }
    }
    EXPECT_EQ(TextOfCtl(IDC_CMDDELETE1), L"手工删除(&D)");
    EXPECT_EQ(TextOfCtl(IDC_CMDDELETE), L"手工修复(&M)");
    EXPECT_EQ(TextOfCtl(IDC_CMDFIX), L"自动修复(&A)");
    EXPECT_EQ(TextOfCtl(IDC_CMDQUIT), L"退出(&Q)");
    EXPECT_EQ(TextOfCtl(IDC_LABEL1), W(u"使用中有任何问题或建议请到论坛提出。bbs.vornex-help.org"));
    EXPECT_TRUE(StyleOf(Ctl(IDC_LSTLISTKEY)) & LBS_SORT);
    EXPECT_TRUE(StyleOf(Ctl(IDC_TXTDETAIL)) & ES_MULTILINE);
    EXPECT_FALSE(StyleOf(Ctl(IDC_TXTDETAIL)) & (WS_VSCROLL | WS_HSCROLL));
    CloseAndExpectExit();
}

}  // namespace
}  // namespace vornex::e2e
