#pragma once
// Finding and reading another process's windows. Reads go through
// SendMessageTimeoutW so a hung target fails the test instead of hanging it.
#include <windows.h>

#include <string>
#include <vector>

namespace windriver {

constexpr int kDefaultTimeoutMs = 5000;
// For single reads from a target that is normally responsive.
constexpr int kMessageTimeoutMs = 2000;

struct WindowFilter {
    std::wstring className;         // empty: any class
    std::wstring caption;           // empty: any caption
    bool captionContains = false;   // substring match instead of equality
    bool visibleOnly = true;
};

// Top-level windows (EnumWindows) owned by pid, in Z order.
std::vector<HWND> TopLevelWindows(DWORD pid, bool visibleOnly = false);
HWND FindTopLevel(DWORD pid, const WindowFilter& filter);
HWND WaitForTopLevel(DWORD pid, const WindowFilter& filter, int timeoutMs = kDefaultTimeoutMs);

// The visible message box (#32770) of pid, or nullptr.
HWND FindMessageBox(DWORD pid);
HWND WaitForMessageBox(DWORD pid, int timeoutMs = kDefaultTimeoutMs);
// True once pid shows no message box.
bool WaitForNoMessageBox(DWORD pid, int timeoutMs = kDefaultTimeoutMs);
// True once hwnd is destroyed or hidden.
bool WaitForWindowGone(HWND hwnd, int timeoutMs = kDefaultTimeoutMs);

HWND Child(HWND parent, int controlId);  // GetDlgItem
// Direct children only, in creation order.
std::vector<HWND> Children(HWND parent);

std::wstring ClassNameOf(HWND hwnd);
int ControlIdOf(HWND hwnd);
DWORD ProcessOf(HWND hwnd);
DWORD ThreadOf(HWND hwnd);

// WM_GETTEXT (GetWindowTextW gives "" for another process's EDIT).
// Throws Error if hwnd is no window or does not answer in time.
std::wstring TextOf(HWND hwnd, int timeoutMs = kMessageTimeoutMs);

// List boxes. Each throws Error on LB_ERR or timeout.
int ListBoxCount(HWND listBox);
std::wstring ListBoxLine(HWND listBox, int index);
std::vector<std::wstring> ListBoxLines(HWND listBox);
int ListBoxSelection(HWND listBox);  // -1 when nothing is selected
RECT ListBoxItemRect(HWND listBox, int index);  // client coordinates

bool IsEnabled(HWND hwnd);
bool IsVisible(HWND hwnd);  // the window and all its ancestors
DWORD StyleOf(HWND hwnd);
DWORD ExStyleOf(HWND hwnd);

RECT WindowRectOnScreen(HWND hwnd);
RECT RectInParent(HWND child);      // in the parent's client coordinates
RECT ClientRectOf(HWND hwnd);       // left/top are 0
POINT ClientOriginOnScreen(HWND hwnd);
RECT ClientRectOnScreen(HWND hwnd);
int Width(const RECT& r);
int Height(const RECT& r);

// The keyboard focus / active window of the GUI thread that owns hwnd
// (GetGUIThreadInfo); nullptr when there is none.
HWND FocusedWindow(HWND anyWindowOfThread);
HWND ActiveWindow(HWND anyWindowOfThread);

}  // namespace windriver
