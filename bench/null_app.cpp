// The least program that does what Vornex.exe's start-up shows: a window with
// a sorted list of N lines, or with none and a notice box over it. Its
// start-up is the floor Vornex.exe's is measured against.
//   vornex_bench_null N
#include <windows.h>

#include <cwchar>
#include <string>

#include "app/control_ids.h"

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    const int lines = static_cast<int>(std::wcstol(commandLine, nullptr, 10));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"VornexBenchNull";
    if (!RegisterClassExW(&windowClass)) return 1;
    HWND window = CreateWindowExW(0, L"VornexBenchNull", L"null",
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 319, 173,
                                  408, 542, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY | LBS_SORT |
                                    LBS_HASSTRINGS,
                                9, 24, 385, 196, window,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LSTLISTKEY)),
                                instance, nullptr);
    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    for (int i = 0; i < lines; ++i) {
        const std::wstring line = L"program" + std::to_wstring(i) + L".exe";
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    if (lines == 0) MessageBoxW(window, L"none", L"notice", MB_OK | MB_ICONINFORMATION);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
