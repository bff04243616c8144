// The auto-size labels, the red of lblDetail and the editable txtDetail,
// checked on the real window and on its pixels.
#include <algorithm>
#include <cstdio>
#include <functional>

#include "layout.h"
#include "tests/e2e/e2e_fixture.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

bool IsRed(std::uint32_t rgb) {
    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return r >= 160 && g <= 100 && b <= 100;
}

bool IsDark(std::uint32_t rgb) {
    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return r <= 100 && g <= 100 && b <= 100;
}

int Count(const Image& image, int top, int bottom, const std::function<bool(std::uint32_t)>& which) {
    int n = 0;
    for (int y = std::max(top, 0); y < std::min(bottom, image.height); ++y) {
        for (int x = 0; x < image.width; ++x) n += which(image.At(x, y)) ? 1 : 0;
    }
    return n;
}

class Detail : public VornexE2E {
protected:
    Image LabelPixels() const { return CaptureRect(WindowRectOnScreen(Ctl(IDC_LBLDETAIL))); }

    // Gives lblDetail a caption from outside: it is then painted in whatever
    // foreground colour the window holds for it at that moment.
    void ProbeCaption(const std::wstring& text) const {
        DWORD_PTR ignored = 0;
        ASSERT_TRUE(SendMessageTimeoutW(Ctl(IDC_LBLDETAIL), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                        SMTO_ABORTIFHUNG, kMessageTimeoutMs, &ignored));
    }
    // Waits for text pixels in the label (dark or red) and counts the red ones.
    int RedTextPixels() const {
        Image image;
        WaitUntil(
            [&] {
                image = LabelPixels();
                return Count(image, 0, image.height, [](std::uint32_t p) { return IsRed(p) || IsDark(p); }) > 20;
            },
            2000);
        return Count(image, 0, image.height, IsRed);
    }
    int DarkTextPixels() const {
        const Image image = LabelPixels();
        return Count(image, 0, image.height, IsDark);
    }

    // How many lines of `width` pixels `text` takes in the UI font, by the
    // platform's own word wrapping.
    static int WrappedLines(const std::wstring& text, int width) {
        const Font font = UiFont();
        WindowDC dc(nullptr);
        SelectGuard selected(dc.get(), font.get());
        RECT bounds{0, 0, width, 0};
        DrawTextW(dc.get(), text.c_str(), -1, &bounds, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        return Height(bounds) / UiLineHeight();
    }

    layout::PixelRect Design(ControlId id) const { return layout::ToPixels(layout::Find(id).twips, ScreenDpi()); }

    void ExpectNotice(const std::wstring& text) {
        HWND box = nullptr;
        const MessageBoxInfo info = ExpectMessageBox(&box);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(info.text, text);
        Answer(box, IDOK);
    }
};

TEST_F(Detail, ALongHeadingWrapsOntoWholeLinesWithinTheLabelsWidth) {
    const std::vector<std::wstring> names{
        L"s.exe",
        L"a program with a long name.exe",
        L"a program with a really long name that needs a third line for the heading to be shown in full.exe",
    };
    for (const auto& name : names) Redirect(name, L"x.exe");
    Launch();
    const layout::PixelRect design = Design(IDC_LBLDETAIL);
    const int line = UiLineHeight();
    const std::vector<std::wstring> listed = ListBoxLines(Ctl(IDC_LSTLISTKEY));
    for (std::size_t n = 0; n < names.size(); ++n) {
        const std::wstring heading = DetailHeading(names[n]);
        const int lines = WrappedLines(heading, design.width);
        ASSERT_EQ(lines, static_cast<int>(n) + 1) << "the seed should make headings of 1, 2 and 3 lines";
        ClickLine(static_cast<int>(std::find(listed.begin(), listed.end(), names[n]) - listed.begin()));
        ASSERT_TRUE(WaitUntil([&] { return TextOfCtl(IDC_LBLDETAIL) == heading; }, 3000));
        const RECT got = RectInParent(Ctl(IDC_LBLDETAIL));
        EXPECT_EQ(got.left, design.left);
        EXPECT_EQ(got.top, design.top);
        EXPECT_EQ(Width(got), design.width) << "the label keeps its width";
        EXPECT_EQ(Height(got), lines * line) << lines << " lines of " << line << " pixels";
        if (lines == 3) Screenshot(L"detail-three-line-heading");
        // Every line holds red text: the caption really wraps there. The text
        // box lies over what grows past its top (a 12-pixel font fills the
        // space with two lines), so only what shows above it is looked at.
        const int shown = RectInParent(Ctl(IDC_TXTDETAIL)).top - got.top;
        int looked = 0;
        ASSERT_TRUE(WaitUntil(
            [&] {
                const Image image = LabelPixels();
                looked = 0;
                for (int k = 0; k < lines && (k + 1) * line - shown <= line / 2; ++k, ++looked) {
                    if (Count(image, k * line, std::min((k + 1) * line, shown), IsRed) < 10) return false;
                }
                return true;
            },
            2000))
            << "a line of the " << lines << "-line heading shows no red text";
        EXPECT_GE(looked, std::min(lines, 2)) << "the first two lines show above the text box";
    }
    CloseAndExpectExit();
}

TEST_F(Detail, Label1IsOneLineAsWideAsItsText) {
    Redirect(L"a.exe", L"x.exe");
    Launch();
    const std::wstring text = TextOfCtl(IDC_LABEL1);
    const SIZE extent = UiTextExtent(text);
    const layout::PixelRect design = Design(IDC_LABEL1);
    const RECT got = RectInParent(Ctl(IDC_LABEL1));
    EXPECT_EQ(got.left, design.left);
    EXPECT_EQ(got.top, design.top);
    EXPECT_EQ(Width(got), extent.cx) << "the width follows the text";
    EXPECT_EQ(Height(got), UiLineHeight()) << "one line";
    EXPECT_LE(got.right, Width(ClientRectOf(window_))) << "the line fits in the window";
    if (extent.cx * 96 != 330 * ScreenDpi()) {
        // 330 pixels is the width of this text in a font of 6-pixel half-width cells.
        std::printf("note: Label1 is %ld pixels wide in this font\n", extent.cx);
    }
    // Its text is drawn (in the button-text colour), and not in red.
    const Image image = CaptureRect(WindowRectOnScreen(Ctl(IDC_LABEL1)));
    EXPECT_GT(Count(image, 0, image.height, IsDark), 50);
    EXPECT_EQ(Count(image, 0, image.height, IsRed), 0);
    CloseAndExpectExit();
}

TEST_F(Detail, TheHeadingKeepsItsRedAfterAScanEmptiedIt) {
    Redirect(L"a.exe", L"a-hijack.exe");
    Redirect(L"b.exe", L"b-hijack.exe");
    Launch();
    ASSERT_TRUE(BringToForeground(window_));
    // Before any selection the label shows the button-text colour: the probe
    // tells the two colours apart.
    ProbeCaption(L"探测 probe");
    EXPECT_EQ(RedTextPixels(), 0) << "no red before a selection";
    EXPECT_GT(DarkTextPixels(), 20);
    ProbeCaption(L"");

    ClickLine(0);
    EXPECT_GT(RedTextPixels(), 50) << "the selected entry's heading is red";
    Screenshot(L"detail-red-heading");

    ClickButton(IDC_CMDDELETE);
    ExpectNotice(L"已成功修复！");
    ASSERT_TRUE(WaitUntil([&] { return ListBoxCount(Ctl(IDC_LSTLISTKEY)) == 1; }, 3000));
    EXPECT_EQ(TextOfCtl(IDC_LBLDETAIL), L"") << "the scan empties the heading";
    ASSERT_TRUE(BringToForeground(window_));
    // No selection since the scan, so no new colour was set: what shows is
    // the colour the label kept.
    ProbeCaption(L"探测 probe");
    EXPECT_GT(RedTextPixels(), 20) << "the emptied heading lost its red";
    EXPECT_EQ(DarkTextPixels(), 0);

    ClickLine(0);
    EXPECT_EQ(TextOfCtl(IDC_LBLDETAIL), DetailHeading(L"b.exe"));
    EXPECT_GT(RedTextPixels(), 50);
    CloseAndExpectExit();
}

TEST_F(Detail, TypingIntoTheTextBoxChangesNothingAndTheNextSelectionReplacesIt) {
    Redirect(L"a.exe", L"a-hijack.exe");
    Redirect(L"b.exe", L"b-hijack.exe");
    const RegSnapshot before = IfeoSnapshot();
    Launch();
    ClickLine(0);
    const std::wstring heading = TextOfCtl(IDC_LBLDETAIL);
    ASSERT_TRUE(BringToForeground(window_));
    ASSERT_TRUE(ClickCenter(Ctl(IDC_TXTDETAIL)));
    ASSERT_TRUE(FocusComesTo(IDC_TXTDETAIL));
    // Letters of the access keys too: in the text box they are just text.
    ASSERT_TRUE(PressKey(VK_END, kCtrl));
    ASSERT_TRUE(TypeText(L" 用户输入 qmda"));
    ASSERT_TRUE(WaitUntil([&] { return TextOfCtl(IDC_TXTDETAIL).find(L" 用户输入 qmda") != std::wstring::npos; },
                          3000))
        << "typing should reach the text box: " << Utf8(Escape(TextOfCtl(IDC_TXTDETAIL)));
    ASSERT_TRUE(PressKey(VK_BACK));
    ASSERT_TRUE(WaitUntil([&] { return TextOfCtl(IDC_TXTDETAIL).find(L" 用户输入 qmd") != std::wstring::npos; },
                          3000));
    ExpectNoReactionFor(300);
    EXPECT_EQ(Diff(before, IfeoSnapshot()), L"") << "typing changed the registry";
    EXPECT_EQ(ListBoxSelection(Ctl(IDC_LSTLISTKEY)), 0);
    EXPECT_EQ(TextOfCtl(IDC_LBLDETAIL), heading);
    EXPECT_TRUE(IsEnabled(Ctl(IDC_CMDDELETE)) && IsEnabled(Ctl(IDC_CMDDELETE1)) && IsEnabled(Ctl(IDC_CMDFIX)));
    Screenshot(L"detail-typed-text");

    ClickLine(1);
    EXPECT_EQ(TextOfCtl(IDC_TXTDETAIL), DetailAdvice(L"b.exe", L"b-hijack.exe"))
        << "the next selection replaces what was typed";

    // Typed text goes at the next scan too.
    ASSERT_TRUE(ClickCenter(Ctl(IDC_TXTDETAIL)));
    ASSERT_TRUE(TypeText(L"again"));
    ASSERT_TRUE(WaitUntil([&] { return TextOfCtl(IDC_TXTDETAIL).find(L"again") != std::wstring::npos; }, 3000));
    ClickButton(IDC_CMDDELETE);
    ExpectNotice(L"已成功修复！");
    ASSERT_TRUE(WaitUntil([&] { return ListBoxCount(Ctl(IDC_LSTLISTKEY)) == 1; }, 3000));
    EXPECT_EQ(TextOfCtl(IDC_TXTDETAIL), L"");
    CloseAndExpectExit();
}

}  // namespace
}  // namespace vornex::e2e
