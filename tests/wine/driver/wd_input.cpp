#include "wd_input.h"

#include "wd_process.h"
#include "wd_window.h"

#include <cstdlib>
#include <vector>

namespace windriver {

namespace {

bool Send(std::vector<INPUT>& inputs) {
    if (inputs.empty()) return true;
    UINT n = ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return n == inputs.size();
}

// Normalised 0..65535 over the primary screen, aimed at the pixel's middle
// so the rounding back to pixels lands on it.
LONG Normalise(LONG v, int extent) {
    if (extent <= 0) return 0;
    long long n = (static_cast<long long>(v) * 65536 + 32768) / extent;
    if (n < 0) n = 0;
    if (n > 65535) n = 65535;
    return static_cast<LONG>(n);
}

INPUT MouseEvent(POINT p, DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = Normalise(p.x, ::GetSystemMetrics(SM_CXSCREEN));
    in.mi.dy = Normalise(p.y, ::GetSystemMetrics(SM_CYSCREEN));
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | flags;
    return in;
}

bool IsExtendedKey(WORD vk) {
    switch (vk) {
        case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN:
        case VK_HOME: case VK_END: case VK_PRIOR: case VK_NEXT:
        case VK_INSERT: case VK_DELETE: case VK_RCONTROL: case VK_RMENU:
        case VK_DIVIDE: case VK_NUMLOCK: case VK_APPS:
            return true;
        default:
            return false;
    }
}

INPUT KeyEvent(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (IsExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
    return in;
}

// Two single clicks close in time and place would make a double click;
// wait the double-click time out instead.
void AvoidAccidentalDoubleClick(POINT p) {
    static POINT lastPos{-100000, -100000};
    static unsigned long long lastTime = 0;
    const auto now = NowMs();
    const unsigned long long dblTime = ::GetDoubleClickTime();
    if (std::abs(p.x - lastPos.x) <= ::GetSystemMetrics(SM_CXDOUBLECLK) &&
        std::abs(p.y - lastPos.y) <= ::GetSystemMetrics(SM_CYDOUBLECLK) && now - lastTime <= dblTime)
        ::Sleep(static_cast<DWORD>(dblTime - (now - lastTime) + 20));
    lastPos = p;
    lastTime = NowMs();
}

}  // namespace

bool PostClick(HWND button) { return ::PostMessageW(button, BM_CLICK, 0, 0) != FALSE; }

bool BringToForeground(HWND topLevel, int timeoutMs) {
    if (::GetForegroundWindow() == topLevel) return true;
    ::SetForegroundWindow(topLevel);
    return WaitUntil([&] { return ::GetForegroundWindow() == topLevel; }, timeoutMs);
}

bool MoveMouse(POINT screen) {
    std::vector<INPUT> in{MouseEvent(screen, 0)};
    return Send(in);
}

// Moves the pointer and waits until the system has it there: a press sent
// at once was now and then taken at the pointer's previous place.
bool MovePointerTo(POINT screen) {
    std::vector<INPUT> move{MouseEvent(screen, 0)};
    if (!Send(move)) return false;
    WaitUntil([&] {
        POINT at{};
        return ::GetCursorPos(&at) && at.x == screen.x && at.y == screen.y;
    }, 500);
    return true;
}

bool ClickAt(POINT screen, MouseButton button) {
    DWORD down = button == MouseButton::Left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN;
    DWORD up = button == MouseButton::Left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP;
    AvoidAccidentalDoubleClick(screen);
    if (!MovePointerTo(screen)) return false;
    std::vector<INPUT> in{MouseEvent(screen, down), MouseEvent(screen, up)};
    return Send(in);
}

bool DoubleClickAt(POINT screen) {
    AvoidAccidentalDoubleClick(screen);
    if (!MovePointerTo(screen)) return false;
    std::vector<INPUT> in{MouseEvent(screen, MOUSEEVENTF_LEFTDOWN), MouseEvent(screen, MOUSEEVENTF_LEFTUP),
                          MouseEvent(screen, MOUSEEVENTF_LEFTDOWN), MouseEvent(screen, MOUSEEVENTF_LEFTUP)};
    return Send(in);
}

bool DragMouse(POINT from, POINT to, int steps) {
    if (steps < 1) steps = 1;
    AvoidAccidentalDoubleClick(from);
    std::vector<INPUT> press{MouseEvent(from, 0), MouseEvent(from, MOUSEEVENTF_LEFTDOWN)};
    if (!Send(press)) return false;
    // Separate moves give a modal size or move loop the time to follow them.
    for (int i = 1; i <= steps; ++i) {
        ::Sleep(15);
        POINT p{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
        std::vector<INPUT> move{MouseEvent(p, 0)};
        if (!Send(move)) return false;
    }
    ::Sleep(15);
    std::vector<INPUT> release{MouseEvent(to, MOUSEEVENTF_LEFTUP)};
    return Send(release);
}

POINT CenterOf(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

bool ClickCenter(HWND control, MouseButton button) {
    RECT r{};
    if (!::GetWindowRect(control, &r)) return false;
    return ClickAt(CenterOf(r), button);
}

bool ClickListBoxLine(HWND listBox, int index) {
    RECT item = ListBoxItemRect(listBox, index);
    RECT client = ClientRectOf(listBox);
    POINT mid = CenterOf(item);
    if (!::PtInRect(&client, mid)) {
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(listBox, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0,
                              SMTO_ABORTIFHUNG, kMessageTimeoutMs, &ignored);
        item = ListBoxItemRect(listBox, index);
        mid = CenterOf(item);
        if (!::PtInRect(&client, mid)) return false;
    }
    ::MapWindowPoints(listBox, HWND_DESKTOP, &mid, 1);
    return ClickAt(mid);
}

bool PressKey(WORD vk, unsigned modifiers) {
    std::vector<INPUT> in;
    if (modifiers & kCtrl) in.push_back(KeyEvent(VK_CONTROL, false));
    if (modifiers & kAlt) in.push_back(KeyEvent(VK_MENU, false));
    if (modifiers & kShift) in.push_back(KeyEvent(VK_SHIFT, false));
    in.push_back(KeyEvent(vk, false));
    in.push_back(KeyEvent(vk, true));
    if (modifiers & kShift) in.push_back(KeyEvent(VK_SHIFT, true));
    if (modifiers & kAlt) in.push_back(KeyEvent(VK_MENU, true));
    if (modifiers & kCtrl) in.push_back(KeyEvent(VK_CONTROL, true));
    return Send(in);
}

bool TypeText(const std::wstring& text) {
    std::vector<INPUT> in;
    for (wchar_t c : text) {
        // Each UTF-16 unit separately, surrogates included.
        for (bool up : {false, true}) {
            INPUT e{};
            e.type = INPUT_KEYBOARD;
            e.ki.wScan = static_cast<WORD>(c);
            e.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
            in.push_back(e);
        }
    }
    return Send(in);
}

}  // namespace windriver
