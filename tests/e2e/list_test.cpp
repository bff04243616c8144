// The list: lines in sorted order, each leading to its own command, and a
// vertical scroll bar only once the lines no longer fit.
#include <algorithm>
#include <cstdio>

#include "tests/e2e/e2e_fixture.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

class List : public VornexE2E {
protected:
    // Starts over with an empty IFEO key holding just these redirections.
    void RelaunchWith(const std::vector<std::wstring>& names) {
        if (app_ && app_.Running()) CloseAndExpectExit();
        DeleteTree(HKEY_LOCAL_MACHINE, kIfeoPath);
        CreateKey(HKEY_LOCAL_MACHINE, kIfeoPath);
        for (const auto& name : names) Redirect(name, CommandOf(name));
        Launch();
    }
    static std::wstring CommandOf(const std::wstring& name) { return L"C:\\hijack\\" + name + L" --run"; }

    // The order in which the registry hands the subkeys to the scan.
    static std::vector<std::wstring> EnumerationOrder() {
        RegKey key;
        EXPECT_EQ(TryOpenKey(HKEY_LOCAL_MACHINE, kIfeoPath, KEY_READ, key), ERROR_SUCCESS);
        std::vector<std::wstring> names;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD length = 256;
            if (RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            names.emplace_back(name, length);
        }
        return names;
    }

    bool ScrollBarShown() const { return (StyleOf(Ctl(IDC_LSTLISTKEY)) & WS_VSCROLL) != 0; }
};

TEST_F(List, AScrollBarComesOnlyOnceTheLinesNoLongerFitAndNothingMoves) {
    RelaunchWith({L"line-00.exe"});
    HWND list = Ctl(IDC_LSTLISTKEY);
    const int item = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
    const int inside = Height(ClientRectOf(list));
    ASSERT_GT(item, 0);
    EXPECT_EQ(inside % item, 0) << "the list is trimmed to whole lines of " << item << " pixels";
    const int fit = inside / item;
    if (item * 96 == 12 * ScreenDpi()) {
        EXPECT_EQ(fit, 16) << "with 12-pixel lines the list shows 16 of them";
    } else {
        // The design's 16 lines assume a font with 12-pixel lines at 96 DPI.
        std::printf("note: list lines are %d pixels high here; %d lines fit\n", item, fit);
    }
    EXPECT_FALSE(ScrollBarShown());
    const int fullWidth = Width(ClientRectOf(list));
    const std::vector<RECT> layout = ControlRects();
    CloseAndExpectExit();

    for (const int count : {fit, std::max(17, fit + 1)}) {
        std::vector<std::wstring> names;
        for (int i = 0; i < count; ++i) {
            wchar_t name[32];
            std::swprintf(name, 32, L"line-%02d.exe", i);
            names.push_back(name);
        }
        RelaunchWith(names);
        list = Ctl(IDC_LSTLISTKEY);
        ASSERT_EQ(ListBoxLines(list), names);
        const bool expectBar = count > fit;
        EXPECT_EQ(ScrollBarShown(), expectBar) << count << " lines";
        // The bar takes its width from the lines, not from the window.
        EXPECT_EQ(Width(ClientRectOf(list)), fullWidth - (expectBar ? GetSystemMetrics(SM_CXVSCROLL) : 0))
            << count << " lines";
        EXPECT_EQ(ControlRects(), layout) << "a control moved with " << count << " lines";
        if (expectBar) Screenshot(L"list-with-scroll-bar");
        // The last line is reachable and explains itself.
        ClickLine(count - 1);
        EXPECT_EQ(TextOfCtl(IDC_LBLDETAIL), DetailHeading(names.back()));
        EXPECT_EQ(ControlRects(), layout) << "a control moved after scrolling";
        CloseAndExpectExit();
    }
}

TEST_F(List, NamesAppearSortedAndEachLineLeadsToItsOwnCommand) {
    // Hyphens, punctuation, case and Chinese (by pinyin: 安 before 北, though
    // U+5317 comes before U+5B89) put the platform's order apart from the
    // registry's.
    const std::vector<std::wstring> names{L"zeta.exe", L"b-c.exe",  L"ba.exe",   L"_x.exe",
                                          L"Alpha.exe", L"北京.exe", L"安全.exe", L"ALPHA2.exe"};
    RelaunchWith(names);
    const std::vector<std::wstring> sorted = SortedLikeTheList(names);
    ASSERT_NE(EnumerationOrder(), sorted) << "the seed must reach the scan in an unsorted order";
    const std::vector<std::wstring> lines = ListBoxLines(Ctl(IDC_LSTLISTKEY));
    ASSERT_EQ(lines, sorted);

    for (int i = static_cast<int>(lines.size()) - 1; i >= 0; --i) {
        const std::wstring& name = lines[static_cast<std::size_t>(i)];
        ClickLine(i);
        EXPECT_EQ(TextOfCtl(IDC_LBLDETAIL), DetailHeading(name)) << "line " << i;
        EXPECT_EQ(TextOfCtl(IDC_TXTDETAIL), DetailAdvice(name, CommandOf(name))) << "line " << i;
    }
    Screenshot(L"list-sorted");
    CloseAndExpectExit();
}

}  // namespace
}  // namespace vornex::e2e
