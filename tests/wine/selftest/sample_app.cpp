// A small window with the controls the driver library must handle: a
// sorted list box, a multi-line edit, buttons that open message boxes.
#include <windows.h>

#include <string>

#include "sample_ids.h"

namespace {

HWND g_status = nullptr;
HWND g_lastFocus = nullptr;

void SetStatus(const std::wstring& s) { SetWindowTextW(g_status, s.c_str()); }

HWND Make(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, DWORD exStyle, int x, int y,
          int w, int h, int id) {
    HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                             nullptr);
    // Without WM_SETFONT a control uses the System font: CJK shows as bars.
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return c;
}

void OnCreate(HWND hwnd) {
    Make(hwnd, L"STATIC", L"水果列表：", 0, 0, 10, 14, 220, 20, IDC_SAMPLE_LABEL);
    HWND list = Make(hwnd, L"LISTBOX", L"",
                     LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 0,
                     kSampleListX, kSampleListY, kSampleListW, kSampleListH, IDC_SAMPLE_LIST);
    for (const wchar_t* line : kSampleLines) SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    Make(hwnd, L"EDIT", kSampleEditText, ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP,
         WS_EX_CLIENTEDGE, 250, 40, 330, 110, IDC_SAMPLE_EDIT);
    Make(hwnd, L"BUTTON", L"信息(&I)", BS_PUSHBUTTON | WS_TABSTOP, 0, 10, 170, 120, 30, IDC_SAMPLE_INFO);
    Make(hwnd, L"BUTTON", L"询问(&Q)", BS_PUSHBUTTON | WS_TABSTOP, 0, 140, 170, 120, 30, IDC_SAMPLE_ASK);
    HWND disabled =
        Make(hwnd, L"BUTTON", L"禁用", BS_PUSHBUTTON | WS_TABSTOP, 0, 270, 170, 120, 30, IDC_SAMPLE_DISABLED);
    EnableWindow(disabled, FALSE);
    g_status = Make(hwnd, L"STATIC", L"就绪", SS_LEFT, 0, 10, 220, 570, 24, IDC_SAMPLE_STATUS);
    Make(hwnd, L"BUTTON", L"关闭(&X)", BS_PUSHBUTTON | WS_TABSTOP, 0, 460, 350, 120, 30, IDC_SAMPLE_CLOSE);
    SetFocus(list);
    g_lastFocus = list;
}

void OnCommand(HWND hwnd, int id, int code, HWND ctl) {
    switch (id) {
        case IDC_SAMPLE_LIST:
            if (code == LBN_SELCHANGE) {
                int sel = static_cast<int>(SendMessageW(ctl, LB_GETCURSEL, 0, 0));
                std::wstring text(static_cast<size_t>(SendMessageW(ctl, LB_GETTEXTLEN, sel, 0)) + 1, L'\0');
                SendMessageW(ctl, LB_GETTEXT, sel, reinterpret_cast<LPARAM>(text.data()));
                text.resize(wcslen(text.c_str()));
                SetStatus(L"选中: " + text);
            } else if (code == LBN_DBLCLK) {
                // In the label: the button-up after it sends LBN_SELCHANGE,
                // which rewrites the status line.
                int sel = static_cast<int>(SendMessageW(ctl, LB_GETCURSEL, 0, 0));
                SetDlgItemTextW(hwnd, IDC_SAMPLE_LABEL, (L"双击: " + std::to_wstring(sel)).c_str());
            }
            break;
        case IDC_SAMPLE_INFO:
            SetStatus(L"结果: " + std::to_wstring(MessageBoxW(hwnd, L"你好", L"提示", MB_ICONINFORMATION)));
            break;
        case IDC_SAMPLE_ASK:
            SetStatus(L"结果: " +
                      std::to_wstring(MessageBoxW(hwnd, L"继续吗？", L"询问", MB_OKCANCEL | MB_ICONQUESTION)));
            break;
        case IDC_SAMPLE_DISABLED:
            SetStatus(L"disabled button clicked");
            break;
        case IDC_SAMPLE_CLOSE:
            DestroyWindow(hwnd);
            break;
        default:
            break;
    }
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            OnCreate(hwnd);
            return 0;
        case WM_COMMAND:
            OnCommand(hwnd, LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONUP: {
            // Where a click on the bare client area landed, for the driver.
            POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            SetStatus(std::wstring(msg == WM_LBUTTONDOWN ? L"左键 " : L"右键 ") + std::to_wstring(p.x) + L"," +
                      std::to_wstring(p.y));
            return 0;
        }
        case WM_NEXTDLGCTL: {
            // A multi-line EDIT asks for the next control this way on Tab;
            // only DefDlgProc would answer it, and this is no dialog.
            HWND next = LOWORD(lp) ? reinterpret_cast<HWND>(wp)
                                   : GetNextDlgTabItem(hwnd, GetFocus(), wp != 0);
            if (next) SetFocus(next);
            return 0;
        }
        case WM_ACTIVATE:
            // Give the focus back to the control that had it, as a dialog does.
            if (LOWORD(wp) == WA_INACTIVE) {
                HWND f = GetFocus();
                if (f && IsChild(hwnd, f)) g_lastFocus = f;
            } else if (g_lastFocus) {
                SetFocus(g_lastFocus);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(WD_SAMPLE_EXIT_CODE);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int show) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = WD_SAMPLE_CLASS;
    if (!RegisterClassExW(&wc)) return 1;

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT r{0, 0, kSampleClientW, kSampleClientH};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    HWND hwnd = CreateWindowExW(0, WD_SAMPLE_CLASS, WD_SAMPLE_CAPTION, style, 40, 40, r.right - r.left,
                                r.bottom - r.top, nullptr, nullptr, inst, nullptr);
    if (!hwnd) return 1;
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Tab, arrows and Alt+letter work only through IsDialogMessageW.
        if (!IsDialogMessageW(hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
