#include "wd_window.h"

#include "wd_process.h"
#include "wd_text.h"

#include <cwchar>

namespace windriver {

namespace {

struct EnumState {
    DWORD pid;
    bool visibleOnly;
    std::vector<HWND>* out;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lp) {
    auto* st = reinterpret_cast<EnumState*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == st->pid && (!st->visibleOnly || ::IsWindowVisible(hwnd))) st->out->push_back(hwnd);
    return TRUE;
}

struct ChildState {
    HWND parent;
    std::vector<HWND>* out;
};

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lp) {
    auto* st = reinterpret_cast<ChildState*>(lp);
    // EnumChildWindows walks all descendants; keep the direct ones.
    if (::GetAncestor(hwnd, GA_PARENT) == st->parent) st->out->push_back(hwnd);
    return TRUE;
}

LRESULT SendTimeout(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, const char* what,
                    int timeoutMs = kMessageTimeoutMs) {
    DWORD_PTR result = 0;
    ::SetLastError(0);
    if (!::SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                               static_cast<UINT>(timeoutMs), &result)) {
        DWORD err = ::GetLastError();
        ThrowError(std::string(what) + " to " + Utf8(Describe(hwnd)), err ? err : ERROR_TIMEOUT);
    }
    return static_cast<LRESULT>(result);
}

bool Matches(HWND hwnd, const WindowFilter& f) {
    if (f.visibleOnly && !::IsWindowVisible(hwnd)) return false;
    if (!f.className.empty() && ClassNameOf(hwnd) != f.className) return false;
    if (!f.caption.empty()) {
        std::wstring text;
        try {
            text = TextOf(hwnd, 500);
        } catch (const Error&) {
            return false;
        }
        if (f.captionContains ? text.find(f.caption) == std::wstring::npos : text != f.caption)
            return false;
    }
    return true;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD pid, bool visibleOnly) {
    std::vector<HWND> out;
    EnumState st{pid, visibleOnly, &out};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&st));
    return out;
}

HWND FindTopLevel(DWORD pid, const WindowFilter& filter) {
    for (HWND h : TopLevelWindows(pid, filter.visibleOnly))
        if (Matches(h, filter)) return h;
    return nullptr;
}

HWND WaitForTopLevel(DWORD pid, const WindowFilter& filter, int timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopLevel(pid, filter)) != nullptr; }, timeoutMs);
    return found;
}

HWND FindMessageBox(DWORD pid) {
    WindowFilter f;
    f.className = L"#32770";
    return FindTopLevel(pid, f);
}

HWND WaitForMessageBox(DWORD pid, int timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindMessageBox(pid)) != nullptr; }, timeoutMs);
    return found;
}

bool WaitForNoMessageBox(DWORD pid, int timeoutMs) {
    return WaitUntil([&] { return FindMessageBox(pid) == nullptr; }, timeoutMs);
}

bool WaitForWindowGone(HWND hwnd, int timeoutMs) {
    return WaitUntil([&] { return !::IsWindow(hwnd) || !::IsWindowVisible(hwnd); }, timeoutMs);
}

HWND Child(HWND parent, int controlId) { return ::GetDlgItem(parent, controlId); }

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> out;
    ChildState st{parent, &out};
    ::EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&st));
    return out;
}

std::wstring ClassNameOf(HWND hwnd) {
    wchar_t buf[256];
    int n = ::GetClassNameW(hwnd, buf, 256);
    return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

int ControlIdOf(HWND hwnd) { return ::GetDlgCtrlID(hwnd); }

DWORD ProcessOf(HWND hwnd) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

DWORD ThreadOf(HWND hwnd) { return ::GetWindowThreadProcessId(hwnd, nullptr); }

std::wstring TextOf(HWND hwnd, int timeoutMs) {
    if (!::IsWindow(hwnd)) ThrowError("TextOf: not a window", ERROR_INVALID_WINDOW_HANDLE);
    // The text may change between the two messages; a buffer that came
    // back full may hold a cut text, so read again with more room.
    size_t room = static_cast<size_t>(SendTimeout(hwnd, WM_GETTEXTLENGTH, 0, 0, "WM_GETTEXTLENGTH", timeoutMs)) + 64;
    for (;;) {
        std::wstring buf(room, L'\0');
        auto got = static_cast<size_t>(SendTimeout(hwnd, WM_GETTEXT, buf.size(),
                                                   reinterpret_cast<LPARAM>(buf.data()), "WM_GETTEXT",
                                                   timeoutMs));
        if (got + 1 < room) {
            buf.resize(got);
            return buf;
        }
        room *= 2;
    }
}

int ListBoxCount(HWND listBox) {
    auto n = SendTimeout(listBox, LB_GETCOUNT, 0, 0, "LB_GETCOUNT");
    if (n == LB_ERR) ThrowError("LB_GETCOUNT", ERROR_INVALID_PARAMETER);
    return static_cast<int>(n);
}

std::wstring ListBoxLine(HWND listBox, int index) {
    auto len = SendTimeout(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0, "LB_GETTEXTLEN");
    if (len == LB_ERR) ThrowError("LB_GETTEXTLEN " + std::to_string(index), ERROR_INVALID_INDEX);
    std::wstring buf(static_cast<size_t>(len) + 1, L'\0');
    auto got = SendTimeout(listBox, LB_GETTEXT, static_cast<WPARAM>(index),
                           reinterpret_cast<LPARAM>(buf.data()), "LB_GETTEXT");
    if (got == LB_ERR) ThrowError("LB_GETTEXT " + std::to_string(index), ERROR_INVALID_INDEX);
    buf.resize(static_cast<size_t>(got < len ? got : len));
    return buf;
}

std::vector<std::wstring> ListBoxLines(HWND listBox) {
    std::vector<std::wstring> out;
    int n = ListBoxCount(listBox);
    for (int i = 0; i < n; ++i) out.push_back(ListBoxLine(listBox, i));
    return out;
}

int ListBoxSelection(HWND listBox) {
    return static_cast<int>(SendTimeout(listBox, LB_GETCURSEL, 0, 0, "LB_GETCURSEL"));
}

RECT ListBoxItemRect(HWND listBox, int index) {
    RECT r{};
    if (SendTimeout(listBox, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r),
                    "LB_GETITEMRECT") == LB_ERR)
        ThrowError("LB_GETITEMRECT " + std::to_string(index), ERROR_INVALID_INDEX);
    return r;
}

bool IsEnabled(HWND hwnd) { return ::IsWindowEnabled(hwnd) != FALSE; }
bool IsVisible(HWND hwnd) { return ::IsWindowVisible(hwnd) != FALSE; }
DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE)); }
DWORD ExStyleOf(HWND hwnd) { return static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE)); }

RECT WindowRectOnScreen(HWND hwnd) {
    RECT r{};
    if (!::GetWindowRect(hwnd, &r)) ThrowLastError("GetWindowRect");
    return r;
}

RECT RectInParent(HWND child) {
    RECT r = WindowRectOnScreen(child);
    HWND parent = ::GetAncestor(child, GA_PARENT);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

RECT ClientRectOf(HWND hwnd) {
    RECT r{};
    if (!::GetClientRect(hwnd, &r)) ThrowLastError("GetClientRect");
    return r;
}

POINT ClientOriginOnScreen(HWND hwnd) {
    POINT p{0, 0};
    if (!::ClientToScreen(hwnd, &p)) ThrowLastError("ClientToScreen");
    return p;
}

RECT ClientRectOnScreen(HWND hwnd) {
    RECT r = ClientRectOf(hwnd);
    POINT o = ClientOriginOnScreen(hwnd);
    ::OffsetRect(&r, o.x, o.y);
    return r;
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

HWND FocusedWindow(HWND anyWindowOfThread) {
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    if (!::GetGUIThreadInfo(ThreadOf(anyWindowOfThread), &gti)) return nullptr;
    return gti.hwndFocus;
}

HWND ActiveWindow(HWND anyWindowOfThread) {
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    if (!::GetGUIThreadInfo(ThreadOf(anyWindowOfThread), &gti)) return nullptr;
    return gti.hwndActive;
}

}  // namespace windriver
