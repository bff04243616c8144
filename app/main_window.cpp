#include "main_window.h"

#include <string>
#include <utility>

#include "app/guarded.h"
#include "app/texts.h"
#include "banner.h"
#include "control_ids.h"
#include "layout.h"
#include "resource.h"
#include "win32/wide_text.h"

namespace vornex {

namespace {

using win32::Wide;

const wchar_t kForumLine[] = L"使用中有任何问题或建议请到论坛提出。bbs.vornex-help.org";
constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

struct ControlKind {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
    const wchar_t* text;
};

constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
// Labels show names exactly: an "&" in an executable's name is no access key.
constexpr DWORD kOneLineLabel = SS_LEFTNOWORDWRAP | SS_NOPREFIX;

ControlKind KindOf(ControlId id) {
    switch (id) {
        case IDC_LSTLISTKEY:
            return {L"LISTBOX", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_SORT | LBS_HASSTRINGS,
                    WS_EX_CLIENTEDGE, L""};
        case IDC_CMDFIX: return {L"BUTTON", kButton, 0, L"自动修复(&A)"};
        case IDC_CMDDELETE: return {L"BUTTON", kButton, 0, L"手工修复(&M)"};
        case IDC_CMDQUIT: return {L"BUTTON", kButton, 0, L"退出(&Q)"};
        case IDC_CMDDELETE1: return {L"BUTTON", kButton, 0, L"手工删除(&D)"};
        case IDC_LABEL1: return {L"STATIC", kOneLineLabel, 0, kForumLine};
        case IDC_LBLCOUNT: return {L"STATIC", kOneLineLabel, 0, L""};
        case IDC_LBLDETAIL: return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0, L""};
        case IDC_TXTDETAIL:
            return {L"EDIT", WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL, WS_EX_CLIENTEDGE, L""};
        case IDC_IMAGE1: return {L"STATIC", SS_OWNERDRAW, WS_EX_CLIENTEDGE, L""};
    }
    return {L"STATIC", 0, 0, L""};
}

int ButtonId(Button button) {
    switch (button) {
        case Button::cmdDelete: return IDC_CMDDELETE;
        case Button::cmdDelete1: return IDC_CMDDELETE1;
        case Button::cmdFix: return IDC_CMDFIX;
    }
    return 0;
}


std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool IsPushButton(HWND window) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    return lstrcmpiW(className, L"BUTTON") == 0;
}

}  // namespace

MainWindow::MainWindow(RegistrySession& session)
    : form_(session, *this), detailColor_(GetSysColor(COLOR_BTNTEXT)) {}

MainWindow::~MainWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
}

bool MainWindow::Create(HINSTANCE instance) {
    dpi_ = GetDeviceCaps(win32::ScreenDc().get(), LOGPIXELSY);
    auto loadIcon = [instance](int metric) {
        const int size = GetSystemMetrics(metric);
        return win32::UniqueIcon(static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(IDI_VORNEX), IMAGE_ICON, size, size, 0)));
    };
    largeIcon_ = loadIcon(SM_CXICON);
    smallIcon_ = loadIcon(SM_CXSMICON);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = largeIcon_.get();
    windowClass.hIconSm = smallIcon_.get();
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = VORNEX_WINDOW_CLASS;
    if (!RegisterClassExW(&windowClass)) return false;

    RECT frame{layout::TwipsToPixels(layout::kClientLeftTwips, dpi_),
               layout::TwipsToPixels(layout::kClientTopTwips, dpi_), 0, 0};
    frame.right = frame.left + layout::TwipsToPixels(layout::kClientWidthTwips, dpi_);
    frame.bottom = frame.top + layout::TwipsToPixels(layout::kClientHeightTwips, dpi_);
    AdjustWindowRectEx(&frame, kFrameStyle, FALSE, 0);
    if (!CreateWindowExW(0, VORNEX_WINDOW_CLASS, Wide(texts::kWindowTitle).c_str(), kFrameStyle, frame.left, frame.top,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                         instance, this)) {
        return false;
    }
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_.get()));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    CreateControls(instance);
    focusBeforeDeactivation_ = Control(IDC_LSTLISTKEY);

    GuardedWin32(hwnd_, false, [this] {
        if (form_.Form_Initialize()) form_.Form_Load();
        return true;
    });
    if (!IsWindowVisible(hwnd_)) ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    SetFocus(Control(IDC_LSTLISTKEY));
    return true;
}

void MainWindow::CreateControls(HINSTANCE instance) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
    }
    HGDIOBJ font = font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(DEFAULT_GUI_FONT);
    banner_ = LoadBanner(instance);

    for (const auto& control : layout::kControls) {
        const ControlKind kind = KindOf(control.id);
        const layout::PixelRect r = layout::ToPixels(control.twips, dpi_);
        HWND child = CreateWindowExW(kind.exStyle, kind.className, kind.text,
                                     WS_CHILD | WS_VISIBLE | kind.style, r.left, r.top, 0, 0, hwnd_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
                                     instance, nullptr);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        // Sized once its font is in: the list trims its height to whole lines
        // when it is sized, and not every list does that again on WM_SETFONT.
        SetWindowPos(child, nullptr, 0, 0, r.width, r.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    FitLabel(IDC_LABEL1, false);
    FitLabel(IDC_LBLDETAIL, true);
}

// The auto-size labels: Label1 takes the width of its one line, lblDetail keeps
// its width and grows by a line for each line its caption wraps onto.
void MainWindow::FitLabel(int id, bool wrap) {
    HWND label = Control(id);
    const std::wstring text = WindowText(label);
    win32::ScreenDc dc;
    win32::SelectedObject selected(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.get(), &metrics);
    const layout::PixelRect design = layout::ToPixels(layout::Find(static_cast<ControlId>(id)).twips, dpi_);
    RECT bounds{0, 0, wrap ? design.width : 0x7FFF, 0};
    const UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (wrap ? DT_WORDBREAK : DT_SINGLELINE);
    if (!text.empty()) DrawTextW(dc.get(), text.c_str(), -1, &bounds, format);
    const int width = wrap ? design.width : bounds.right;
    const int height = std::max<int>(bounds.bottom, metrics.tmHeight);
    SetWindowPos(label, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(label, nullptr, TRUE);
}

bool MainWindow::PreTranslateMessage(MSG& message) {
    // A multi-line edit under the dialog manager turns Esc into a WM_CLOSE for
    // its parent (a dialog's Cancel), which would end this program. Esc clicks
    // no button here and has nothing to do in the text box: it never gets it.
    if ((message.message == WM_KEYDOWN || message.message == WM_CHAR) && message.wParam == VK_ESCAPE &&
        message.hwnd == Control(IDC_TXTDETAIL)) {
        return true;
    }
    return hwnd_ && IsDialogMessageW(hwnd_, &message) != FALSE;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    return GuardedWin32(hwnd, LRESULT{0}, [&] { return self->HandleMessage(message, wParam, lParam); });
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CTLCOLORSTATIC:
            return OnColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM:
            if (wParam == IDC_IMAGE1) {
                OnDrawBanner(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            break;
        case WM_NEXTDLGCTL: {
            // A multi-line edit asks its parent for the next control on Tab.
            HWND next = lParam ? reinterpret_cast<HWND>(wParam)
                               : GetNextDlgTabItem(hwnd_, GetFocus(), wParam != 0);
            if (next) SetFocus(next);
            return 0;
        }
        case WM_ACTIVATE:
            // A plain window forgets which child had the focus when a message
            // box takes it; give it back on return.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(hwnd_, focus)) focusBeforeDeactivation_ = focus;
            } else if (focusBeforeDeactivation_ && IsWindow(focusBeforeDeactivation_)) {
                SetFocus(focusBeforeDeactivation_);
                return 0;
            }
            break;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            // The window's last message: its handle is dead from here on, and
            // nothing may use it or destroy it again.
            HWND window = std::exchange(hwnd_, nullptr);
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return DefWindowProcW(window, message, wParam, lParam);
        }
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void MainWindow::OnCommand(int id, int code) {
    if (id == IDOK) return OnEnterKey();
    if (id == IDC_LSTLISTKEY) {
        if (code == LBN_SELCHANGE) form_.lstListKey_Click();
        return;
    }
    if (code != BN_CLICKED) return;
    // A disabled button gives no click, however the command arrived.
    if (!IsWindowEnabled(Control(id))) return;
    switch (id) {
        case IDC_CMDDELETE: return form_.cmdDelete_Click();
        case IDC_CMDDELETE1: return form_.cmdDelete1_Click();
        case IDC_CMDFIX: return form_.cmdFix_Click();
        case IDC_CMDQUIT: return form_.cmdQuit_Click();
    }
}

// There is no default button: Enter presses only a button that has the focus.
void MainWindow::OnEnterKey() {
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus) && IsPushButton(focus) && IsWindowEnabled(focus)) {
        SendMessageW(focus, BM_CLICK, 0, 0);
    }
}

LRESULT MainWindow::OnColorStatic(HDC dc, HWND control) {
    SetTextColor(dc, control == Control(IDC_LBLDETAIL) ? detailColor_ : GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void MainWindow::OnDrawBanner(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    if (!banner_) return;
    BITMAP info{};
    GetObjectW(banner_.get(), sizeof info, &info);
    win32::UniqueMemoryDc memory(CreateCompatibleDC(item.hDC));
    if (!memory) return;
    win32::SelectedObject selected(memory.get(), banner_.get());
    BitBlt(item.hDC, 0, 0, info.bmWidth, info.bmHeight, memory.get(), 0, 0, SRCCOPY);
}

void MainWindow::ListClear() { SendMessageW(Control(IDC_LSTLISTKEY), LB_RESETCONTENT, 0, 0); }

int MainWindow::ListAdd(const Text& line) {
    const std::wstring wide = Wide(line);
    return static_cast<int>(SendMessageW(Control(IDC_LSTLISTKEY), LB_ADDSTRING, 0,
                                         reinterpret_cast<LPARAM>(wide.c_str())));
}

int MainWindow::ListCount() {
    return static_cast<int>(SendMessageW(Control(IDC_LSTLISTKEY), LB_GETCOUNT, 0, 0));
}

int MainWindow::ListSelectedIndex() {
    return static_cast<int>(SendMessageW(Control(IDC_LSTLISTKEY), LB_GETCURSEL, 0, 0));
}

Text MainWindow::ListSelectedText() {
    HWND list = Control(IDC_LSTLISTKEY);
    const LRESULT index = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (index < 0) return Text();
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0) return Text();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    if (copied < 0) return Text();
    text.resize(static_cast<std::size_t>(copied));
    return Text(text.begin(), text.end());
}

void MainWindow::SetDetailText(const Text& text) {
    SetWindowTextW(Control(IDC_TXTDETAIL), Wide(text).c_str());
}

void MainWindow::SetDetailCaption(const Text& caption) {
    SetWindowTextW(Control(IDC_LBLDETAIL), Wide(caption).c_str());
    FitLabel(IDC_LBLDETAIL, true);
}

void MainWindow::SetDetailColor(std::uint32_t colorBgr) {
    detailColor_ = static_cast<COLORREF>(colorBgr);
    InvalidateRect(Control(IDC_LBLDETAIL), nullptr, TRUE);
}

void MainWindow::SetCountCaption(const Text& caption) {
    SetWindowTextW(Control(IDC_LBLCOUNT), Wide(caption).c_str());
}

void MainWindow::SetButtonEnabled(Button button, bool enabled) {
    HWND control = Control(ButtonId(button));
    const bool hadFocus = GetFocus() == control;
    EnableWindow(control, enabled ? TRUE : FALSE);
    // A disabled button cannot keep the focus; pass it on along the tab order.
    if (!enabled && hadFocus) SetFocus(GetNextDlgTabItem(hwnd_, control, FALSE));
    if (!enabled && focusBeforeDeactivation_ == control) {
        focusBeforeDeactivation_ = GetNextDlgTabItem(hwnd_, control, FALSE);
    }
}

void MainWindow::SetFormCaption(const Text& caption) { SetWindowTextW(hwnd_, Wide(caption).c_str()); }

void MainWindow::ShowForm() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
}

int MainWindow::ShowMessage(const Text& text, const Text& title, unsigned style) {
    return MessageBoxW(hwnd_, Wide(text).c_str(), Wide(title).c_str(), style);
}

void MainWindow::EndProgram() { ExitProcess(0); }

}  // namespace vornex
