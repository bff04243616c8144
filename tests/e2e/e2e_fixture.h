#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "control_ids.h"
#include "win_driver.h"

namespace vornex::e2e {

inline const std::wstring kIfeoPath =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
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
    // Closes the window as a user would and expects a clean exit.
    void CloseAndExpectExit();
    // Saves <out>/<name>.bmp of the whole screen (the harness turns it into PNG).
    void Screenshot(const std::wstring& name) const;

    windriver::Process app_;
    HWND window_ = nullptr;
};

}  // namespace vornex::e2e
