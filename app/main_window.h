#pragma once
#include <windows.h>

#include <array>
#include <memory>

#include "app/frm_main.h"
#include "app/main_window_controls.h"
#include "win32/handles.h"

namespace vornex {

// frmMain on Win32: creates the window and its ten controls, offers the
// control operations to the handlers and forwards the window's events to them.
class MainWindow : public MainWindowControls {
public:
    explicit MainWindow(RegistrySession& session);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow() override;

    // Creates the window hidden, runs Form_Load, then shows it; false if the
    // window could not be created.
    bool Create(HINSTANCE instance);
    HWND hwnd() const { return hwnd_; }
    // Gives the window's keys to the dialog manager (Tab, arrows, access keys,
    // Enter, Esc); true if the message was handled and needs no dispatch.
    bool PreTranslateMessage(MSG& message);

    void ListClear() override;
    int ListAdd(const Text& line) override;
    int ListCount() override;
    int ListSelectedIndex() override;
    Text ListSelectedText() override;
    void SetDetailText(const Text& text) override;
    void SetDetailCaption(const Text& caption) override;
    void SetDetailColor(std::uint32_t colorBgr) override;
    void SetCountCaption(const Text& caption) override;
    void SetButtonEnabled(Button button, bool enabled) override;
    void SetFormCaption(const Text& caption) override;
    void ShowForm() override;
    int ShowMessage(const Text& text, const Text& title, unsigned style) override;
    void EndProgram() override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls(HINSTANCE instance);
    void OnCommand(int id, int code);
    void OnEnterKey();
    LRESULT OnColorStatic(HDC dc, HWND control);
    void OnDrawBanner(const DRAWITEMSTRUCT& item);
    void FitLabel(int id, bool wrap);
    HWND Control(int id) const { return GetDlgItem(hwnd_, id); }

    FrmMain form_;
    HWND hwnd_ = nullptr;  // null before Create and from WM_NCDESTROY on
    int dpi_ = 96;
    win32::UniqueFont font_;
    win32::UniqueBitmap banner_;
    win32::UniqueIcon largeIcon_;
    win32::UniqueIcon smallIcon_;
    COLORREF detailColor_;
    HWND focusBeforeDeactivation_ = nullptr;
};

}  // namespace vornex
