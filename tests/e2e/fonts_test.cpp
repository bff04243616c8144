// Every text the window and its message boxes show has a glyph for each of
// its characters in the font it is drawn with. The program's font handles are
// valid only in its process, so the same fonts are made here from the system's
// non-client metrics, which is where the program takes its font from.
#include <algorithm>
#include <set>

#include "tests/e2e/e2e_fixture.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

// The characters of `text` that `font` has no glyph for, as \u escapes.
std::wstring MissingGlyphs(HFONT font, const std::wstring& text) {
    WindowDC dc(nullptr);
    SelectGuard selected(dc.get(), font);
    std::vector<WORD> glyphs(text.size());
    if (GetGlyphIndicesW(dc.get(), text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) {
        return L"<GetGlyphIndicesW failed>";
    }
    std::wstring missing;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Line breaks are layout, not glyphs.
        if (text[i] == L'\r' || text[i] == L'\n') continue;
        if (glyphs[i] == 0xFFFF) missing += Escape(std::wstring(1, text[i]));
    }
    return missing;
}

Font CaptionFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return Font(CreateFontIndirectW(&metrics.lfCaptionFont));
}

class Fonts : public VornexE2E {
protected:
    // Reads the box, checks its texts, answers it with `answer`.
    void CheckBoxAndAnswer(int answer) {
        HWND box = nullptr;
        const MessageBoxInfo info = ExpectMessageBox(&box);
        ASSERT_NE(box, nullptr);
        seen_.insert(info.text);
        EXPECT_EQ(MissingGlyphs(ui_.get(), info.text), L"") << "message " << Utf8(Escape(info.text));
        EXPECT_EQ(MissingGlyphs(caption_.get(), info.title), L"") << "title " << Utf8(Escape(info.title));
        for (int id : info.buttons) {
            const std::wstring label = TextOf(GetDlgItem(box, id));
            EXPECT_FALSE(label.empty());
            EXPECT_EQ(MissingGlyphs(ui_.get(), label), L"") << "button " << Utf8(Escape(label));
        }
        Answer(box, answer);
    }

    Font ui_ = UiFont();
    Font caption_ = CaptionFont();
    std::set<std::wstring> seen_;
};

TEST_F(Fonts, TheCheckFindsAMissingGlyph) {
    // An unassigned code point has no glyph in any font: the check can fail.
    EXPECT_NE(MissingGlyphs(ui_.get(), L"a\u0378b"), L"");
    EXPECT_EQ(MissingGlyphs(ui_.get(), L"ab"), L"");
}

TEST_F(Fonts, EveryControlTextHasAGlyphForEachCharacter) {
    Redirect(L"北京.exe", L"C:\\恶意\\程序.exe “引号”");
    Redirect(L"notepad.exe", L"calc.exe");
    Redirect(L"中文名称.exe", L"D:\\工具\\x.exe");
    Launch();
    const std::vector<std::wstring> lines = ListBoxLines(Ctl(IDC_LSTLISTKEY));
    ClickLine(static_cast<int>(std::find(lines.begin(), lines.end(), L"北京.exe") - lines.begin()));

    // The controls really draw with this font: the list's lines and the
    // labels take its measures (the System font's would differ).
    const int line = UiLineHeight();
    EXPECT_EQ(SendMessageW(Ctl(IDC_LSTLISTKEY), LB_GETITEMHEIGHT, 0, 0), line);
    EXPECT_EQ(Height(RectInParent(Ctl(IDC_LBLDETAIL))), line);
    EXPECT_EQ(Width(RectInParent(Ctl(IDC_LABEL1))), UiTextExtent(TextOfCtl(IDC_LABEL1)).cx);

    for (HWND child : Children(window_)) {
        const int id = ControlIdOf(child);
        if (id == IDC_LSTLISTKEY) continue;
        const std::wstring text = TextOf(child);
        if (id != IDC_IMAGE1) {
            EXPECT_FALSE(text.empty()) << "control " << id << " shows no text to check";
        }
        EXPECT_EQ(MissingGlyphs(ui_.get(), text), L"") << "control " << id << ": " << Utf8(Escape(text));
    }
    for (const auto& text : lines) {
        EXPECT_EQ(MissingGlyphs(ui_.get(), text), L"") << "list line " << Utf8(Escape(text));
    }
    EXPECT_EQ(MissingGlyphs(caption_.get(), TextOf(window_)), L"") << "window caption";
    CloseAndExpectExit();
}

TEST_F(Fonts, EveryMessageBoxTextHasAGlyphForEachCharacter) {
    Redirect(L"a.exe", L"a-hijack.exe");
    Redirect(L"b.exe", L"b-hijack.exe");
    Redirect(L"c.exe", L"c-hijack.exe");
    Launch();
    ClickLine(0);
    ClickButton(IDC_CMDDELETE);
    CheckBoxAndAnswer(IDOK);
    ASSERT_TRUE(WaitUntil([&] { return ListBoxCount(Ctl(IDC_LSTLISTKEY)) == 2; }, 3000));
    ClickLine(0);
    ClickButton(IDC_CMDDELETE1);
    CheckBoxAndAnswer(IDOK);
    ASSERT_TRUE(WaitUntil([&] { return ListBoxCount(Ctl(IDC_LSTLISTKEY)) == 1; }, 3000));
    ClickButton(IDC_CMDFIX);
    CheckBoxAndAnswer(IDOK);  // the warning, with OK and Cancel
    CheckBoxAndAnswer(IDOK);  // all deleted
    CheckBoxAndAnswer(IDOK);  // nothing found
    EXPECT_EQ(seen_, (std::set<std::wstring>{
                         L"已成功修复！",
                         L"已成功删除！",
                         L"不建议使用自动修复功能！\r\n使用自动修复可能会删除有用项，确定要自动修复吗？",
                         L"已成功删除所有被重定向的项！",
                         L"没有发现IFEO重定向！谢谢使用本工具！",
                     }))
        << "every message the program has";
    CloseAndExpectExit();
}

}  // namespace
}  // namespace vornex::e2e
