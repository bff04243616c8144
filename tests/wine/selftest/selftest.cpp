// Self-test of the win_driver library: drives wd_sample_app.exe with every
// library function and checks what comes back.
//
//   wd_selftest.exe [--out DIR]        screenshots go to DIR (default: exe folder)
//   wd_selftest.exe --child-args ...   (used by the test itself)
#include <algorithm>
#include <cwchar>
#include <exception>
#include <string>
#include <vector>

#include "sample_ids.h"
#include "win_driver.h"

using namespace windriver;

namespace {

// Arguments that need every quoting rule; the child gets them back exactly.
const std::vector<std::wstring> kTrickyArgs = {
    L"plain", L"two words", L"quote\"inside", L"trailing\\", L"back\\\\\"slash", L"", L"中文 参数", L"a\\b c\\",
};

int ChildArgs(int argc, wchar_t** argv) {
    std::vector<std::wstring> got(argv + 2, argv + argc);
    return got == kTrickyArgs ? 0 : 3;
}

std::vector<std::wstring> ExpectedListOrder() {
    std::vector<std::wstring> lines(std::begin(kSampleLines), std::end(kSampleLines));
    // LBS_SORT compares like this; a hand-written order would guess.
    std::stable_sort(lines.begin(), lines.end(), [](const std::wstring& a, const std::wstring& b) {
        return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
               CSTR_LESS_THAN;
    });
    return lines;
}

std::wstring RectText(const RECT& r) {
    return L"(" + std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L")-(" + std::to_wstring(r.right) +
           L"," + std::to_wstring(r.bottom) + L")";
}

bool SameRect(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return -1;
    return (static_cast<long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

std::wstring ButtonsText(const std::vector<int>& ids) {
    std::wstring s;
    for (int id : ids) s += (s.empty() ? L"" : L",") + ButtonName(id);
    return s;
}

bool WaitForText(HWND hwnd, const std::wstring& expected, int timeoutMs = kDefaultTimeoutMs) {
    return WaitUntil([&] { return TextOf(hwnd) == expected; }, timeoutMs);
}

void CheckHandlesAndText(Checker& c) {
    Handle ev(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    c.Check(ev.valid(), L"Handle owns an event");
    HANDLE raw = ev.get();
    Handle moved(std::move(ev));
    c.Check(!ev && moved.get() == raw, L"Handle hands its ownership on when moved");
    moved.reset();
    DWORD flags = 0;
    c.Check(!moved && !GetHandleInformation(raw, &flags), L"Handle::reset closes the handle");
    Handle none(INVALID_HANDLE_VALUE);
    c.Check(!none, L"INVALID_HANDLE_VALUE counts as no handle");

    {
        WindowDC screen(nullptr);
        MemoryDC mem(CreateCompatibleDC(screen.get()));
        Bitmap bmp(CreateCompatibleBitmap(screen.get(), 8, 8));
        Font font(CreateFontW(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Marlett"));
        Brush brush(CreateSolidBrush(RGB(1, 2, 3)));
        bool ok = screen && mem && bmp && font && brush;
        wchar_t face[64] = L"";
        {
            SelectGuard selBitmap(mem.get(), bmp.get());
            SelectGuard selFont(mem.get(), font.get());
            GetTextFaceW(mem.get(), 64, face);
            RECT r{0, 0, 8, 8};
            FillRect(mem.get(), &r, brush.get());
            ok = ok && GetPixel(mem.get(), 2, 2) == RGB(1, 2, 3);
        }
        c.Check(ok, L"WindowDC, MemoryDC, Bitmap, Font, Brush and SelectGuard");
        c.Equal(L"Marlett", face, L"Marlett is in the prefix (title bar buttons)");
    }
    Icon icon(CopyIcon(LoadIconW(nullptr, IDI_QUESTION)));
    c.Check(icon.valid(), L"Icon owns a copied icon");
    LocalMem local(LocalAlloc(LMEM_FIXED, 16));
    c.Check(local.valid(), L"LocalMem owns LocalAlloc memory");
    RegKey key;
    c.Equal(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, key.put()),
            L"RegKey::put as an out-parameter");

    const std::wstring chinese = L"中文 ü é";
    c.Equal(chinese, Wide(Utf8(chinese)), L"Utf8 and Wide round trip");
    c.Check(Utf8(L"中文") == "\xe4\xb8\xad\xe6\x96\x87", L"Utf8 gives UTF-8 bytes");
    c.Check(ErrorText(ERROR_ACCESS_DENIED).rfind(L"5", 0) == 0, L"ErrorText starts with the code",
            ErrorText(ERROR_ACCESS_DENIED));
    c.Equal(L"a\\0b\\r\\n\\\"", Escape(std::wstring(L"a\0b\r\n\"", 6)), L"Escape shows NUL, CR, LF, quote");
    DWORD code = 0;
    try {
        ThrowError("test", ERROR_FILE_NOT_FOUND);
    } catch (const Error& e) {
        code = e.code();
    }
    c.Equal(ERROR_FILE_NOT_FOUND, code, L"Error carries its code");
    SetLastError(ERROR_INVALID_HANDLE);
    code = 0;
    try {
        ThrowLastError("test");
    } catch (const Error& e) {
        code = e.code();
    }
    c.Equal(ERROR_INVALID_HANDLE, code, L"ThrowLastError takes GetLastError");
    c.Check(Describe(nullptr).find(L"not a window") != std::wstring::npos, L"Describe a non-window");
}

void CheckWaitUntil(Checker& c) {
    int calls = 0;
    c.Check(WaitUntil([&] { return ++calls >= 5; }, 2000) && calls == 5, L"WaitUntil returns once the condition holds");
    auto t0 = NowMs();
    bool r = WaitUntil([] { return false; }, 150);
    auto took = NowMs() - t0;
    c.Check(!r && took >= 150 && took < 1000, L"WaitUntil gives up after its timeout",
            L"returned " + std::to_wstring(r) + L" after " + std::to_wstring(took) + L" ms");
}

void CheckProcessBasics(Checker& c, const std::wstring& self, const std::wstring& app) {
    c.Equal(L"\"a b\\\\\"", QuoteArgument(L"a b\\"), L"QuoteArgument doubles backslashes before the closing quote");
    c.Equal(L"\"C:\\a b\\x.exe\" 1 \"two words\"", BuildCommandLine(L"C:\\a b\\x.exe", {L"1", L"two words"}),
            L"BuildCommandLine");
    {
        Process child = Process::Start(self, [] {
            std::vector<std::wstring> a{L"--child-args"};
            a.insert(a.end(), kTrickyArgs.begin(), kTrickyArgs.end());
            return a;
        }());
        c.Check(child.pid() != 0, L"Process::Start gives a pid");
        c.Check(child.WaitForExit(10000), L"Process::WaitForExit sees the child exit");
        c.Check(WaitForSingleObject(child.handle(), 0) == WAIT_OBJECT_0, L"Process::handle is the process");
        auto code = child.ExitCode();
        c.Check(code && *code == 0, L"arguments arrive unchanged in the child (exit code 0)",
                L"exit code " + (code ? std::to_wstring(*code) : L"none") + L", command line " + child.commandLine());
    }
    {
        Process p = Process::Start(app);
        c.Check(p.Running(), L"Process::Running while the app runs");
        c.Check(!p.WaitForExit(100), L"Process::WaitForExit times out on a running app");
        c.Check(!p.ExitCode().has_value(), L"Process::ExitCode is empty while it runs");
        c.Check(WaitForTopLevel(p.pid(), WindowFilter{WD_SAMPLE_CLASS, L"", false, true}) != nullptr,
                L"second app instance shows its window");
        c.Check(p.Terminate(0xDEAD), L"Process::Terminate ends the app");
        auto code = p.ExitCode();
        c.Equal(0xDEAD, code ? static_cast<long long>(*code) : -1, L"terminated app has the given exit code");
    }
    DWORD pid = 0;
    {
        Process p = Process::Start(app);
        pid = p.pid();
        WaitForTopLevel(pid, WindowFilter{WD_SAMPLE_CLASS, L"", false, true});
    }
    Handle h(OpenProcess(SYNCHRONIZE, FALSE, pid));
    c.Check(!h || WaitForSingleObject(h.get(), 2000) == WAIT_OBJECT_0,
            L"a Process going out of scope terminates its app");
}

void CheckRegistry(Checker& c) {
    const HKEY hklm = HKEY_LOCAL_MACHINE;
    const std::wstring root = L"Software\\WinDriverSelfTest";
    DeleteTree(hklm, root);

    CreateKey(hklm, root + L"\\Sub\\Deep");
    c.Check(KeyExists(hklm, root + L"\\Sub\\Deep"), L"CreateKey makes the whole path");

    // Odd values that only raw bytes can make: an embedded NUL, no terminator.
    SetValue(hklm, root, L"Debugger", REG_SZ, L"a\0b", 8);
    SetValue(hklm, root, L"Unterminated", REG_SZ, L"abcX", 6);
    SetDword(hklm, root, L"Number", 0x1234);
    const BYTE bin[] = {0x00, 0xff, 0x10};
    SetValue(hklm, root + L"\\Sub", L"Bin", REG_BINARY, bin, sizeof bin);
    SetValue(hklm, root + L"\\Sub", L"", REG_SZ, L"默认", 6);
    SetValue(hklm, root + L"\\Sub\\Deep", L"Multi", REG_MULTI_SZ, L"x\0yz\0", 12);
    SetString(hklm, root + L"\\Sub\\Deep", L"中文名", L"C:\\路径\\程序.exe");

    RegSnapshot snap = Snapshot(hklm, root);
    c.Check(snap.exists && snap.keys.size() == 3, L"Snapshot reads the key and its two subkeys", Dump(snap));
    const RegValue* dbg = snap.FindValue(L"", L"DEBUGGER");
    c.Check(dbg && dbg->type == REG_SZ && dbg->data == std::vector<BYTE>{'a', 0, 0, 0, 'b', 0, 0, 0},
            L"raw REG_SZ with an embedded NUL is stored byte for byte", dbg ? FormatValue(*dbg) : L"missing");
    const RegValue* unterminated = snap.FindValue(L"", L"Unterminated");
    c.Check(unterminated && unterminated->data.size() == 6, L"an unterminated REG_SZ keeps its 6 bytes",
            unterminated ? FormatValue(*unterminated) : L"missing");
    c.Equal(L"REG_SZ \"abc\" (6 bytes, no terminator)", unterminated ? FormatValue(*unterminated) : L"",
            L"FormatValue marks a missing terminator");

    RegSnapshot expected;
    expected.rootName = root;
    expected.PutValue(L"", RegValue{L"Debugger", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0}});
    expected.PutValue(L"", RegValue{L"Unterminated", REG_SZ, {'a', 0, 'b', 0, 'c', 0}});
    expected.PutValue(L"", DwordValue(L"Number", 0x1234));
    expected.PutValue(L"Sub", RegValue{L"Bin", REG_BINARY, {0x00, 0xff, 0x10}});
    expected.PutValue(L"Sub", StringValue(L"", L"默认"));
    expected.PutValue(L"Sub\\Deep", RegValue{L"Multi", REG_MULTI_SZ, Utf16Bytes(std::wstring(L"x\0yz\0", 5), true)});
    expected.PutValue(L"Sub\\Deep", StringValue(L"中文名", L"C:\\路径\\程序.exe"));
    c.Check(snap == expected, L"Snapshot equals the snapshot built by hand", Diff(expected, snap));
    RegSnapshot edited = expected;
    edited.PutKey(L"Extra\\Deeper");
    c.Check(edited.FindKey(L"extra") && edited.FindKey(L"EXTRA\\deeper") && edited != expected,
            L"PutKey adds a key and its parents");
    c.Check(edited.RemoveKey(L"Extra") && !edited.FindKey(L"Extra\\Deeper") && edited == expected,
            L"RemoveKey removes the subtree");
    c.Equal(L"REG_MULTI_SZ", TypeName(REG_MULTI_SZ), L"TypeName");

    SetString(hklm, root, L"Debugger", L"other.exe");
    DeleteValue(hklm, root, L"NUMBER");  // names ignore case
    SetDword(hklm, root + L"\\Sub\\Deep\\New", L"x", 1);
    RegSnapshot changed = Snapshot(hklm, root);
    std::wstring diff = Diff(snap, changed);
    c.Note(L"a diff looks like this:\n" + diff);
    c.Check(diff.find(L"~ value \"Debugger\"") != std::wstring::npos &&
                diff.find(L"- missing value \"Number\"") != std::wstring::npos &&
                diff.find(L"+ extra key [" + root + L"\\Sub\\Deep\\New]") != std::wstring::npos,
            L"Diff names the changed, removed and added entries", diff);

    RegSnapshot derived = snap;
    derived.PutValue(L"", StringValue(L"Debugger", L"other.exe"));
    derived.RemoveValue(L"", L"number");
    derived.PutValue(L"Sub\\Deep\\New", DwordValue(L"x", 1));
    c.Check(derived == changed, L"an expected state derived from a snapshot matches", Diff(derived, changed));
    c.Check(Diff(changed, changed).empty(), L"Diff of equal snapshots is empty");

    // A deny-all DACL: opens for reading fail until it is lifted.
    const std::wstring locked = root + L"\\Locked";
    CreateKey(hklm, locked);
    std::wstring original = GetKeySddl(hklm, locked);
    c.Check(original.rfind(L"D:", 0) == 0, L"GetKeySddl returns a DACL", original);
    SetKeySddl(hklm, locked, L"D:P(D;;KA;;;WD)");
    RegKey k;
    LONG rc = TryOpenKey(hklm, locked, KEY_READ, k);
    c.Equal(ERROR_ACCESS_DENIED, rc, L"a key with a deny DACL cannot be opened for reading");
    RegSnapshot withLocked = Snapshot(hklm, root);
    const RegKeyState* ls = withLocked.FindKey(L"Locked");
    c.Check(ls && !ls->readable && ls->openError == ERROR_ACCESS_DENIED, L"Snapshot marks the unreadable key",
            Dump(withLocked));
    SetKeySddl(hklm, locked, original);
    c.Equal(ERROR_SUCCESS, TryOpenKey(hklm, locked, KEY_READ, k), L"lifting the DACL makes it readable again");

    c.Check(DeleteTree(hklm, root), L"DeleteTree removes a key with subkeys");
    c.Check(!KeyExists(hklm, root), L"the tree is gone");
    c.Check(!DeleteTree(hklm, root), L"DeleteTree of a missing key reports false");
    RegSnapshot gone = Snapshot(hklm, root);
    c.Check(!gone.exists && !Diff(snap, gone).empty(), L"Snapshot of a missing key, and its diff");
}

struct SampleWindows {
    HWND main = nullptr, label = nullptr, list = nullptr, edit = nullptr, info = nullptr, ask = nullptr,
         disabled = nullptr, status = nullptr, close = nullptr;
};

void CheckFinding(Checker& c, const Process& app, SampleWindows& w) {
    auto t0 = NowMs();
    w.main = WaitForTopLevel(app.pid(), WindowFilter{WD_SAMPLE_CLASS, L"", false, true});
    c.Check(w.main != nullptr, L"the app's window appears (" + std::to_wstring(NowMs() - t0) + L" ms)");
    if (!w.main) throw std::runtime_error("no window: cannot go on");
    c.Equal(WD_SAMPLE_CAPTION, TextOf(w.main), L"caption with Chinese text");
    c.Equal(w.main, FindTopLevel(app.pid(), WindowFilter{L"", L"示例", true, true}), L"find by part of the caption");
    c.Equal(w.main, FindTopLevel(app.pid(), WindowFilter{WD_SAMPLE_CLASS, WD_SAMPLE_CAPTION, false, true}),
            L"find by class and whole caption");
    c.Equal(nullptr, WaitForTopLevel(app.pid(), WindowFilter{L"", L"no such caption", false, true}, 100),
            L"no window for a wrong caption");
    auto tops = TopLevelWindows(app.pid(), true);
    c.Check(std::find(tops.begin(), tops.end(), w.main) != tops.end(), L"TopLevelWindows lists it");
    c.Equal(static_cast<long long>(app.pid()), ProcessOf(w.main), L"ProcessOf");
    c.Equal(static_cast<long long>(app.mainThreadId()), ThreadOf(w.main), L"ThreadOf is the main thread");

    std::vector<HWND> kids = Children(w.main);
    std::vector<std::wstring> ids;
    for (HWND k : kids) ids.push_back(std::to_wstring(ControlIdOf(k)));
    c.Equal(std::vector<std::wstring>{L"100", L"101", L"102", L"103", L"104", L"105", L"106", L"107"}, ids,
            L"Children in creation order");
    w.label = Child(w.main, IDC_SAMPLE_LABEL);
    w.list = Child(w.main, IDC_SAMPLE_LIST);
    w.edit = Child(w.main, IDC_SAMPLE_EDIT);
    w.info = Child(w.main, IDC_SAMPLE_INFO);
    w.ask = Child(w.main, IDC_SAMPLE_ASK);
    w.disabled = Child(w.main, IDC_SAMPLE_DISABLED);
    w.status = Child(w.main, IDC_SAMPLE_STATUS);
    w.close = Child(w.main, IDC_SAMPLE_CLOSE);
    c.Equal(kids.size() > 1 ? kids[1] : nullptr, w.list, L"Child by id matches");
    c.Equal(L"ListBox", ClassNameOf(w.list), L"ClassNameOf list box");
    c.Equal(L"Edit", ClassNameOf(w.edit), L"ClassNameOf edit");
}

void CheckReading(Checker& c, SampleWindows& w) {
    c.Equal(kSampleEditText, TextOf(w.edit), L"TextOf another process's multi-line EDIT");
    wchar_t buf[64] = L"";
    GetWindowTextW(w.edit, buf, 64);
    c.Note(L"GetWindowTextW on it gives " + Quoted(buf) + L" (why TextOf uses WM_GETTEXT)");
    c.Equal(L"信息(&I)", TextOf(w.info), L"TextOf button");
    c.Equal(L"水果列表：", TextOf(w.label), L"TextOf static");

    c.Equal(static_cast<long long>(std::size(kSampleLines)), ListBoxCount(w.list), L"ListBoxCount");
    c.Equal(ExpectedListOrder(), ListBoxLines(w.list), L"list lines in CompareStringW order");
    c.Equal(ExpectedListOrder()[2], ListBoxLine(w.list, 2), L"ListBoxLine(2)");
    c.Equal(-1, ListBoxSelection(w.list), L"no selection at start");
    bool threw = false;
    try {
        ListBoxLine(w.list, 99);
    } catch (const Error&) {
        threw = true;
    }
    c.Check(threw, L"ListBoxLine past the end throws");

    c.Check(StyleOf(w.list) & LBS_SORT, L"StyleOf list has LBS_SORT");
    c.Check(StyleOf(w.edit) & ES_MULTILINE, L"StyleOf edit has ES_MULTILINE");
    c.Check(ExStyleOf(w.edit) & WS_EX_CLIENTEDGE, L"ExStyleOf edit has WS_EX_CLIENTEDGE");
    c.Check(!(StyleOf(w.main) & WS_CHILD) && (StyleOf(w.main) & WS_CAPTION), L"StyleOf main window");
    c.Check(IsVisible(w.main) && IsVisible(w.list), L"IsVisible");
    c.Check(IsEnabled(w.info) && !IsEnabled(w.disabled), L"IsEnabled tells the disabled button");

    RECT inParent = RectInParent(w.list);
    RECT want{kSampleListX, kSampleListY, kSampleListX + kSampleListW, kSampleListY + kSampleListH};
    c.Check(SameRect(inParent, want), L"RectInParent is where the app put the list",
            L"expected " + RectText(want) + L", got " + RectText(inParent));
    RECT client = ClientRectOf(w.main);
    c.Check(client.left == 0 && client.top == 0 && Width(client) == kSampleClientW && Height(client) == kSampleClientH,
            L"ClientRectOf main is 600x400", RectText(client));
    POINT origin = ClientOriginOnScreen(w.main);
    RECT onScreen = WindowRectOnScreen(w.list);
    RECT mapped = inParent;
    OffsetRect(&mapped, origin.x, origin.y);
    c.Check(SameRect(mapped, onScreen), L"client origin + RectInParent = WindowRectOnScreen",
            RectText(mapped) + L" vs " + RectText(onScreen));
    RECT cs = ClientRectOnScreen(w.main);
    c.Check(cs.left == origin.x && cs.top == origin.y && Width(cs) == kSampleClientW, L"ClientRectOnScreen",
            RectText(cs));
    RECT item0 = ListBoxItemRect(w.list, 0);
    c.Check(item0.top == 0 && item0.bottom > item0.top, L"ListBoxItemRect(0) starts at the top", RectText(item0));
}

void CheckKeyboard(Checker& c, SampleWindows& w) {
    c.Check(BringToForeground(w.main), L"BringToForeground");
    c.Equal(w.main, ActiveWindow(w.main), L"ActiveWindow is the main window");
    c.Check(WaitUntil([&] { return FocusedWindow(w.main) == w.list; }, 2000), L"focus starts in the list",
            [&] { return Describe(FocusedWindow(w.main)); });
    PressKey(VK_TAB);
    c.Check(WaitUntil([&] { return FocusedWindow(w.main) == w.edit; }, 2000), L"Tab moves focus to the edit",
            [&] { return Describe(FocusedWindow(w.main)); });
    PressKey(VK_END, kCtrl);
    TypeText(L"测试abc");
    std::wstring want = std::wstring(kSampleEditText) + L"测试abc";
    c.Check(WaitForText(w.edit, want), L"TypeText types Chinese into the edit", [&] { return L"got " + Quoted(TextOf(w.edit)); });
    PressKey(VK_TAB);
    c.Check(WaitUntil([&] { return FocusedWindow(w.main) == w.info; }, 2000),
            L"Tab leaves the multi-line edit (WM_NEXTDLGCTL)", [&] { return Describe(FocusedWindow(w.main)); });
    PressKey(VK_TAB, kShift);
    c.Check(WaitUntil([&] { return FocusedWindow(w.main) == w.edit; }, 2000), L"Shift+Tab goes back",
            [&] { return Describe(FocusedWindow(w.main)); });
    PressKey(VK_TAB, kShift);
    c.Check(WaitUntil([&] { return FocusedWindow(w.main) == w.list; }, 2000), L"Shift+Tab to the list",
            [&] { return Describe(FocusedWindow(w.main)); });
    PressKey(VK_DOWN);
    auto lines = ExpectedListOrder();
    c.Check(WaitForText(w.status, L"选中: " + lines[0]), L"Down arrow selects the first line and notifies",
            [&] { return L"status " + Quoted(TextOf(w.status)); });
    PressKey(VK_DOWN);
    c.Check(WaitForText(w.status, L"选中: " + lines[1]) && ListBoxSelection(w.list) == 1,
            L"Down arrow again: second line", [&] { return L"status " + Quoted(TextOf(w.status)); });
}

void CheckMouse(Checker& c, SampleWindows& w) {
    RECT cs = ClientRectOnScreen(w.main);
    bool exact = true;
    std::wstring detail;
    for (POINT p : {POINT{cs.left + 5, cs.top + 5}, POINT{cs.right - 3, cs.bottom - 2}, POINT{517, 333},
                    POINT{0, 0}, POINT{GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1}}) {
        MoveMouse(p);
        POINT got{};
        bool ok = WaitUntil([&] { return GetCursorPos(&got) && got.x == p.x && got.y == p.y; }, 1000);
        if (!ok) {
            exact = false;
            detail += L"(" + std::to_wstring(p.x) + L"," + std::to_wstring(p.y) + L") -> (" +
                      std::to_wstring(got.x) + L"," + std::to_wstring(got.y) + L") ";
        }
    }
    c.Check(exact, L"MoveMouse lands on the exact pixel", detail);

    auto lines = ExpectedListOrder();
    ClickListBoxLine(w.list, 3);
    c.Check(WaitForText(w.status, L"选中: " + lines[3]) && ListBoxSelection(w.list) == 3,
            L"ClickListBoxLine(3) selects and notifies", [&] { return L"status " + Quoted(TextOf(w.status)); });
    int last = static_cast<int>(lines.size()) - 1;
    c.Check(ClickListBoxLine(w.list, last), L"ClickListBoxLine scrolls to a hidden line");
    c.Check(WaitForText(w.status, L"选中: " + lines[last]) && ListBoxSelection(w.list) == last,
            L"the hidden last line gets selected", [&] { return L"status " + Quoted(TextOf(w.status)); });

    POINT dbl = CenterOf(ListBoxItemRect(w.list, last));
    MapWindowPoints(w.list, HWND_DESKTOP, &dbl, 1);
    DoubleClickAt(dbl);
    c.Check(WaitForText(w.label, L"双击: " + std::to_wstring(last)), L"DoubleClickAt a list line (LBN_DBLCLK)",
            [&] { return L"label " + Quoted(TextOf(w.label)); });

    // The bare client area reports where a click landed.
    ClickAt(POINT{cs.left + 300, cs.top + 300});
    c.Check(WaitForText(w.status, L"左键 300,300"), L"ClickAt lands on the exact client point",
            [&] { return L"status " + Quoted(TextOf(w.status)); });
    ClickAt(POINT{cs.left + 123, cs.top + 301}, MouseButton::Right);
    c.Check(WaitForText(w.status, L"右键 123,301"), L"right ClickAt", [&] { return L"status " + Quoted(TextOf(w.status)); });

    // As on Windows, a click on a disabled control goes to its parent.
    ClickCenter(w.disabled);
    RECT d = RectInParent(w.disabled);
    POINT mid = CenterOf(d);
    std::wstring toParent = L"左键 " + std::to_wstring(mid.x) + L"," + std::to_wstring(mid.y);
    c.Check(WaitForText(w.status, toParent), L"a real click on the disabled button reaches its parent",
            [&] { return L"status " + Quoted(TextOf(w.status)); });
    SleepMs(300);  // checking that nothing happens needs a fixed wait
    c.Equal(toParent, TextOf(w.status), L"a real click on the disabled button does nothing");
    PostClick(w.disabled);
    c.Check(WaitForText(w.status, L"disabled button clicked"), L"a posted BM_CLICK reaches even a disabled button",
            [&] { return L"status " + Quoted(TextOf(w.status)); });
}

void CheckMessageBoxes(Checker& c, const Process& app, SampleWindows& w, const std::wstring& outDir) {
    c.Check(FindMessageBox(app.pid()) == nullptr, L"no message box yet");
    ClickCenter(w.info);
    HWND box = WaitForMessageBox(app.pid());
    c.Check(box != nullptr, L"clicking the button opens a message box");
    if (!box) return;
    c.Equal(L"#32770", ClassNameOf(box), L"message box class");
    // Let it paint before reading its pixels.
    SleepMs(200);
    MessageBoxInfo info = ReadMessageBox(box);
    c.Equal(L"提示", info.title, L"message box title");
    c.Equal(L"你好", info.text, L"message box text");
    c.Equal(L"IDOK", ButtonsText(info.buttons), L"MB_OK box has only IDOK");
    c.Check(HasButton(box, IDOK) && !HasButton(box, IDCANCEL), L"HasButton");
    c.Equal(L"确定", TextOf(Child(box, IDOK)), L"OK button reads 确定 (zh-CN)");
    c.Equal(L"IDOK", ButtonName(info.defaultButton), L"default button");
    c.Check(info.icon == MessageBoxIcon::Information, L"MB_ICONINFORMATION icon recognised",
            std::wstring(L"got ") + IconName(info.icon) + L"; scores " + MessageBoxIconScores(box));
    SaveScreenshot(JoinPath(outDir, L"msgbox-info.bmp"));
    c.Check(AnswerMessageBox(box, IDOK), L"AnswerMessageBox posts BM_CLICK");
    c.Check(WaitForNoMessageBox(app.pid()), L"the box closes");
    c.Check(WaitForText(w.status, L"结果: 1"), L"the app got IDOK", [&] { return L"status " + Quoted(TextOf(w.status)); });

    c.Check(BringToForeground(w.main), L"main window in front again");
    PressKey('Q', kAlt);
    box = WaitForMessageBox(app.pid());
    c.Check(box != nullptr, L"Alt+Q opens the question box");
    if (!box) return;
    SleepMs(200);
    info = ReadMessageBox(box);
    c.Equal(L"询问", info.title, L"question box title");
    c.Equal(L"继续吗？", MessageBoxText(box), L"MessageBoxText");
    c.Equal(L"IDOK,IDCANCEL", ButtonsText(MessageBoxButtons(box)), L"MessageBoxButtons");
    c.Equal(L"继续吗？", info.text, L"question box text");
    c.Equal(L"IDOK,IDCANCEL", ButtonsText(info.buttons), L"MB_OKCANCEL buttons");
    c.Equal(L"取消", TextOf(Child(box, IDCANCEL)), L"Cancel button reads 取消");
    c.Equal(L"IDOK", ButtonName(MessageBoxDefaultButton(box)), L"MessageBoxDefaultButton");
    MessageBoxIcon icon = MessageBoxIconOf(box);
    c.Check(icon == MessageBoxIcon::Question, L"MB_ICONQUESTION icon recognised",
            std::wstring(L"got ") + IconName(icon) + L"; scores " + MessageBoxIconScores(box));
    SaveScreenshot(JoinPath(outDir, L"msgbox-question.bmp"));
    AnswerMessageBox(box, IDCANCEL);
    c.Check(WaitForWindowGone(box), L"WaitForWindowGone");
    c.Check(WaitForText(w.status, L"结果: 2"), L"the app got IDCANCEL", [&] { return L"status " + Quoted(TextOf(w.status)); });
}

void CheckScreenshots(Checker& c, SampleWindows& w, const std::wstring& outDir) {
    c.Check(BringToForeground(w.main), L"main window in front for the screenshot");
    SleepMs(200);
    const std::wstring screen = JoinPath(outDir, L"screen.bmp");
    const std::wstring window = JoinPath(outDir, L"window.bmp");
    SaveScreenshot(screen);
    SaveWindowScreenshot(w.main, window);
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    const long long stride = (sw * 3 + 3) / 4 * 4;
    c.Equal(54 + stride * sh, FileSize(screen), L"screen.bmp has the size of a 24-bit screen image");
    RECT wr = WindowRectOnScreen(w.main);
    Image img = CaptureWindow(w.main);
    c.Check(img.width == Width(wr) && img.height == Height(wr), L"CaptureWindow has the window's size");
    c.Check(FileSize(window) > 54, L"window.bmp written");
    // The status line shows text: it cannot be a single flat colour.
    Image status = CaptureRect(WindowRectOnScreen(w.status));
    std::vector<std::uint32_t> colours(status.pixels.begin(), status.pixels.end());
    std::sort(colours.begin(), colours.end());
    colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
    c.Check(colours.size() >= 2, L"the status text is drawn (" + std::to_wstring(colours.size()) + L" colours)");
    WriteBmp(status, JoinPath(outDir, L"status.bmp"));
    c.Equal(54 + static_cast<long long>((status.width * 3 + 3) / 4 * 4) * status.height,
            FileSize(JoinPath(outDir, L"status.bmp")), L"WriteBmp of a capture");
    Image full = CaptureScreen();
    c.Check(full.width == sw && full.height == sh && full.At(0, 0) == full.pixels[0], L"CaptureScreen");
}

void CheckClose(Checker& c, Process& app, SampleWindows& w) {
    c.Check(BringToForeground(w.main), L"main window in front to close it");
    PressKey('X', kAlt);
    c.Check(app.WaitForExit(5000), L"Alt+X closes the app");
    auto code = app.ExitCode();
    c.Equal(WD_SAMPLE_EXIT_CODE, code ? static_cast<long long>(*code) : -1, L"the app's exit code");
}

void RunAll(Checker& c, const std::wstring& outDir) {
    const std::wstring dir = ThisExeDirectory();
    const std::wstring self = JoinPath(dir, L"wd_selftest.exe");
    const std::wstring appExe = JoinPath(dir, L"wd_sample_app.exe");
    c.Note(L"screen " + std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L"x" +
           std::to_wstring(GetSystemMetrics(SM_CYSCREEN)) + L", " + std::to_wstring(ScreenDpi()) + L" DPI");

    CheckHandlesAndText(c);
    CheckWaitUntil(c);
    CheckRegistry(c);
    CheckProcessBasics(c, self, appExe);

    auto t0 = NowMs();
    Process app = Process::Start(appExe);
    SampleWindows w;
    CheckFinding(c, app, w);
    CheckReading(c, w);
    CheckKeyboard(c, w);
    CheckMouse(c, w);
    CheckMessageBoxes(c, app, w, outDir);
    CheckScreenshots(c, w, outDir);
    CheckClose(c, app, w);
    c.Note(L"one app session took " + std::to_wstring(NowMs() - t0) + L" ms");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wcscmp(argv[1], L"--child-args") == 0) return ChildArgs(argc, argv);
    MakeProcessDpiAware();
    std::wstring outDir = ThisExeDirectory();
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wcscmp(argv[i], L"--out") == 0) outDir = argv[i + 1];

    Checker c;
    auto t0 = NowMs();
    try {
        RunAll(c, outDir);
    } catch (const std::exception& e) {
        c.Check(false, L"the self-test ran to its end", Wide(e.what()));
    }
    c.Note(L"self-test took " + std::to_wstring(NowMs() - t0) + L" ms");
    return c.Finish();
}
