#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "control_ids.h"
#include "core/ifeo.h"
#include "win32/wide_text.h"
#include "win_driver.h"

// Rectangles compare and print in test expectations.
inline bool operator==(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }
inline bool operator!=(const RECT& a, const RECT& b) { return !(a == b); }
inline void PrintTo(const RECT& r, std::ostream* os) {
    *os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}

namespace vornex::e2e {

inline const std::wstring kIfeoPath = win32::Wide(kIfeoKeyPath);
inline const std::wstring kCaption = L"IFEO检测修复工具 By Qelmor";

// One scenario against the real Vornex.exe and the prefix's real registry:
// the IFEO key is emptied before and after, the program is started and ended.
class VornexE2E : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static void Redirect(const std::wstring& name, const std::wstring& command,
                         const std::wstring& valueName = L"Debugger", DWORD type = REG_SZ);
    static std::wstring SubkeyPath(const std::wstring& name) { return kIfeoPath + L"\\" + name; }
    static windriver::RegSnapshot IfeoSnapshot() { return windriver::Snapshot(HKEY_LOCAL_MACHINE, kIfeoPath); }
    // The order a sorted list box gives these names in the user's locale.
    static std::vector<std::wstring> SortedLikeTheList(std::vector<std::wstring> names);

    // The texts the selection handler writes for a line.
    static std::wstring DetailHeading(const std::wstring& name);
    static std::wstring DetailAdvice(const std::wstring& name, const std::wstring& command);
    // The user-interface font the program gives its controls, made here the
    // same way (its own font handles are valid only in its process).
    static windriver::Font UiFont();
    // Line height and text extent of `text` in UiFont().
    static int UiLineHeight();
    static SIZE UiTextExtent(const std::wstring& text);

    // Starts Vornex.exe and waits for its window to be visible.
    void Launch();
    HWND Ctl(int id) const { return GetDlgItem(window_, id); }
    std::wstring TextOfCtl(int id) const { return windriver::TextOf(Ctl(id)); }
    // Waits for a message box of the program and reads it.
    windriver::MessageBoxInfo ExpectMessageBox(HWND* box);
    // Answers the box and waits for it to go.
    void Answer(HWND box, int button);
    // Selects a line with a real mouse click and waits for the details.
    void ClickLine(int index);
    // Clicks a button with real input.
    void ClickButton(int id);
    // Real key presses into the window, brought to the foreground first.
    void Press(WORD vk, unsigned modifiers = windriver::kNoModifier);
    // Waits until the keyboard focus is on control `id`.
    ::testing::AssertionResult FocusComesTo(int id, int timeoutMs = 2000) const;
    // Every child's rectangle in the client area, in creation order.
    std::vector<RECT> ControlRects() const;
    // Waits out `ms` and expects that nothing answered: no message box, and
    // the program still runs.
    void ExpectNoReactionFor(int ms);
    // Closes the window as a user would and expects a clean exit.
    void CloseAndExpectExit();
    // Saves <out>/<name>.bmp of the whole screen (the harness turns it into PNG).
    void Screenshot(const std::wstring& name) const;

    windriver::Process app_;
    HWND window_ = nullptr;
};

}  // namespace vornex::e2e
