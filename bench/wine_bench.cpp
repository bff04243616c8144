// The Win32 side of the benchmark, run under Wine. One program, one command
// per call, results on stdout as "RESULT name key=value ..." lines:
//
//   vornex_bench reset                     empty IFEO key (and an empty peer key)
//   vornex_bench seed FROM TO [all] [unsorted]
//                                          grow the IFEO key by subkeys FROM..TO-1
//   vornex_bench scan [REPS [LABEL]]       time the scan and the floors (REPS 0: by size)
//   vornex_bench flush                     RegFlushKey on the IFEO key, timed
//   vornex_bench startup EXE CLASS LINES|box REPS [ARG]
//                                          time a GUI program to its window, idle
//   vornex_bench ole FILE                  time decoding a JPEG through OLE, cold
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/layout.h"
#include "bench/ifeo_mix.h"
#include "bench/memory_controls.h"
#include "bench/stats.h"
#include "bench/win32_bench.h"
#include "win32/wide_text.h"
#include "app/frm_main.h"
#include "core/ifeo.h"
#include "app/texts.h"
#include "stores/win32/win32_registry.h"

namespace vornex::bench {
namespace {

const std::wstring kIfeoPathWide = win32::Wide(kIfeoKeyPath);
const wchar_t* const kIfeoPath = kIfeoPathWide.c_str();
// The peer's baseline: `reg query /s` of a key with nothing in it.
const wchar_t kEmptyPeerKey[] = L"SOFTWARE\\VornexBench\\Empty";
constexpr REGSAM kView = KEY_WOW64_64KEY;

[[noreturn]] void Fail(const char* what, long code) {
    std::fprintf(stderr, "vornex_bench: %s failed: %ld\n", what, code);
    std::exit(2);
}

UniqueHkey OpenIfeo(REGSAM access) {
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kIfeoPath, 0, access | kView, &key);
    if (status != ERROR_SUCCESS) Fail("RegOpenKeyExW(IFEO)", status);
    return UniqueHkey(key);
}

void CreateEmptyKey(const wchar_t* path) {
    HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                                           KEY_ALL_ACCESS | kView, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) Fail("RegCreateKeyExW", status);
    UniqueHkey owned(key);
}

int Reset() {
    const double start = NowMs();
    const LSTATUS deleted = RegDeleteTreeW(HKEY_LOCAL_MACHINE, kIfeoPath);
    if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) Fail("RegDeleteTreeW", deleted);
    CreateEmptyKey(kIfeoPath);
    CreateEmptyKey(kEmptyPeerKey);
    std::printf("RESULT reset ms=%.1f\n", NowMs() - start);
    return 0;
}

// One process, the IFEO key opened once, each subkey created relative to it
// and filled through its own handle: one server round trip per call. Wine's
// server keeps a key's subkeys in an array sorted by name, so they are
// created in that order: each lands near the end instead of moving half of
// the array ("unsorted" keeps the order of the mix, to measure that).
int Seed(std::uint64_t from, std::uint64_t to, bool redirectAll, bool sorted) {
    const double start = NowMs();
    std::vector<MixSubkey> entries;
    entries.reserve(static_cast<std::size_t>(to - from));
    for (std::uint64_t i = from; i < to; ++i) entries.push_back(MixEntry(i, redirectAll));
    if (sorted) {
        std::sort(entries.begin(), entries.end(), [](const MixSubkey& a, const MixSubkey& b) {
            return CompareStringOrdinal(reinterpret_cast<const wchar_t*>(a.name.data()),
                                        static_cast<int>(a.name.size()),
                                        reinterpret_cast<const wchar_t*>(b.name.data()),
                                        static_cast<int>(b.name.size()), TRUE) == CSTR_LESS_THAN;
        });
    }
    const double prepared = NowMs();
    UniqueHkey ifeo = OpenIfeo(KEY_CREATE_SUB_KEY);
    std::uint64_t values = 0;
    std::uint64_t redirected = 0;
    std::wstring name;
    std::wstring valueName;
    for (const MixSubkey& entry : entries) {
        name.assign(entry.name.begin(), entry.name.end());
        HKEY created = nullptr;
        const LSTATUS status = RegCreateKeyExW(ifeo.get(), name.c_str(), 0, nullptr, 0,
                                               KEY_SET_VALUE | kView, nullptr, &created, nullptr);
        if (status != ERROR_SUCCESS) Fail("RegCreateKeyExW(subkey)", status);
        UniqueHkey subkey(created);
        for (const MixValue& value : entry.values) {
            valueName.assign(value.name.begin(), value.name.end());
            const LSTATUS set = RegSetValueExW(subkey.get(), valueName.c_str(), 0, value.type,
                                               value.data.data(),
                                               static_cast<DWORD>(value.data.size()));
            if (set != ERROR_SUCCESS) Fail("RegSetValueExW", set);
            ++values;
        }
        if (entry.redirected) ++redirected;
    }
    const double ms = NowMs() - start;
    const std::uint64_t keys = to - from;
    std::printf("RESULT seed from=%llu to=%llu order=%s ms=%.1f prepare_ms=%.1f values=%llu "
                "redirected=%llu calls=%llu us_per_subkey=%.2f\n",
                static_cast<unsigned long long>(from), static_cast<unsigned long long>(to),
                sorted ? "sorted" : "unsorted", ms, prepared - start,
                static_cast<unsigned long long>(values), static_cast<unsigned long long>(redirected),
                static_cast<unsigned long long>(keys * 2 + values),
                keys ? ms * 1000.0 / static_cast<double>(keys) : 0.0);
    return 0;
}

// ---------------------------------------------------------------------------
// frmMain's controls as real, hidden Win32 controls: the same classes and
// styles as the program's, and the same calls for each operation.

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class WindowControls : public MainWindowControls {
public:
    // quietFill: the list does not redraw between its clear and the count
    // caption that follows the fill (what WM_SETREDRAW around it would save).
    explicit WindowControls(bool quietFill = false) : quietFill_(quietFill) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = FrameProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VornexBenchFrame";
        RegisterClassExW(&windowClass);
        frame_.reset(CreateWindowExW(0, L"VornexBenchFrame", L"bench",
                                     WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 0,
                                     0, 420, 560, nullptr, nullptr, windowClass.hInstance, nullptr));
        if (!frame_) Fail("CreateWindowExW(frame)", static_cast<long>(GetLastError()));
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
            font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
        }
        list_ = Child(L"LISTBOX",
                      WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_SORT | LBS_HASSTRINGS,
                      WS_EX_CLIENTEDGE, IDC_LSTLISTKEY);
        detail_ = Child(L"EDIT", WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL, WS_EX_CLIENTEDGE,
                        IDC_TXTDETAIL);
        caption_ = Child(L"STATIC", SS_LEFT | SS_NOPREFIX, 0, IDC_LBLDETAIL);
        count_ = Child(L"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, IDC_LBLCOUNT);
        fix_ = Child(L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_CMDFIX);
        delete_ = Child(L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_CMDDELETE);
        delete1_ = Child(L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_CMDDELETE1);
    }

    int messages = 0;

    void ListClear() override {
        if (quietFill_) SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
        SendMessageW(list_, LB_RESETCONTENT, 0, 0);
    }
    int ListAdd(const Text& line) override {
        const std::wstring wide(line.begin(), line.end());
        return static_cast<int>(
            SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
    }
    int ListCount() override { return static_cast<int>(SendMessageW(list_, LB_GETCOUNT, 0, 0)); }
    int ListSelectedIndex() override {
        return static_cast<int>(SendMessageW(list_, LB_GETCURSEL, 0, 0));
    }
    Text ListSelectedText() override { return Text(); }
    void SetDetailText(const Text& text) override { SetText(detail_, text); }
    void SetDetailCaption(const Text& text) override {
        SetText(caption_, text);
        FitCaption();
    }
    void SetDetailColor(std::uint32_t) override { InvalidateRect(caption_, nullptr, TRUE); }
    void SetCountCaption(const Text& text) override {
        if (quietFill_) {
            SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(list_, nullptr, TRUE);
        }
        SetText(count_, text);
    }
    void SetButtonEnabled(Button button, bool enabled) override {
        HWND control = button == Button::cmdFix ? fix_ : button == Button::cmdDelete ? delete_ : delete1_;
        EnableWindow(control, enabled ? TRUE : FALSE);
    }
    void SetFormCaption(const Text& text) override { SetText(frame_.get(), text); }
    void ShowForm() override {}
    int ShowMessage(const Text&, const Text&, unsigned) override {
        ++messages;
        return kAnswerOk;
    }
    void EndProgram() override {}

private:
    HWND Child(const wchar_t* className, DWORD style, DWORD exStyle, int id) {
        const layout::PixelRect r = layout::ToPixels(layout::Find(static_cast<ControlId>(id)).twips, 96);
        HWND child = CreateWindowExW(exStyle, className, L"", WS_CHILD | WS_VISIBLE | style, r.left,
                                     r.top, r.width, r.height, frame_.get(),
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     GetModuleHandleW(nullptr), nullptr);
        if (!child) Fail("CreateWindowExW(child)", static_cast<long>(GetLastError()));
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        return child;
    }
    static void SetText(HWND control, const Text& text) {
        const std::wstring wide(text.begin(), text.end());
        SetWindowTextW(control, wide.c_str());
    }
    // What the program does after each caption change: measure the wrapped
    // text and resize the label to it.
    void FitCaption() {
        wchar_t text[512] = {};
        GetWindowTextW(caption_, text, 512);
        HDC dc = GetDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font_.get());
        RECT bounds{0, 0, 382, 0};
        if (text[0]) DrawTextW(dc, text, -1, &bounds, DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        SetWindowPos(caption_, nullptr, 0, 0, 382, bounds.bottom > 16 ? bounds.bottom : 16,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(caption_, nullptr, TRUE);
    }

    bool quietFill_;
    UniqueWindow frame_;
    win32::UniqueFont font_;
    HWND list_ = nullptr;
    HWND detail_ = nullptr;
    HWND caption_ = nullptr;
    HWND count_ = nullptr;
    HWND fix_ = nullptr;
    HWND delete_ = nullptr;
    HWND delete1_ = nullptr;
};

// Counts the registry operations of one scan; only for the untimed count.
class CountingRegistry : public Registry {
public:
    explicit CountingRegistry(Registry& inner) : inner_(inner) {}
    std::uint64_t calls = 0;
    std::uint64_t opens = 0;
    std::uint64_t enumValues = 0;

    RegResult OpenKey(KeyHandle root, const Text& path, std::uint32_t access, KeyHandle* key) override {
        ++calls;
        ++opens;
        return inner_.OpenKey(root, path, access, key);
    }
    RegResult QueryInfoKey(KeyHandle key, std::uint32_t* count, std::uint32_t* longest) override {
        ++calls;
        return inner_.QueryInfoKey(key, count, longest);
    }
    RegResult EnumKey(KeyHandle key, std::uint32_t index, char16_t* name, std::uint32_t* length) override {
        ++calls;
        return inner_.EnumKey(key, index, name, length);
    }
    RegResult EnumValue(KeyHandle key, std::uint32_t index, char16_t* name, std::uint32_t* length,
                        std::uint32_t* type, unsigned char* data, std::uint32_t* size) override {
        ++calls;
        ++enumValues;
        return inner_.EnumValue(key, index, name, length, type, data, size);
    }
    RegResult CloseKey(KeyHandle key) override {
        ++calls;
        return inner_.CloseKey(key);
    }
    RegResult DeleteValue(KeyHandle key, const Text& name) override { return inner_.DeleteValue(key, name); }
    RegResult DeleteKey(KeyHandle key, const Text& name) override { return inner_.DeleteKey(key, name); }

private:
    Registry& inner_;
};

// ---------------------------------------------------------------------------
// Floors: raw advapi32 loops with no code of the program's.

struct FloorResult {
    std::size_t found = 0;
    std::uint64_t calls = 0;
};

bool IsDebuggerName(const wchar_t* name, DWORD length) {
    return length == 8 && CompareStringOrdinal(name, 8, L"Debugger", 8, TRUE) == CSTR_EQUAL;
}

enum class FloorKind {
    Query,          // relative open for reading, RegQueryValueExW("Debugger")
    QueryFullPath,  // the same, opened as the program opens: full path, full access
    EnumValues,     // relative open for reading, values found by enumeration
};

FloorResult Floor(FloorKind kind) {
    FloorResult result;
    UniqueHkey ifeo = OpenIfeo(KEY_READ);
    DWORD count = 0;
    DWORD longest = 0;
    RegQueryInfoKeyW(ifeo.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
    result.calls += 2;
    std::vector<wchar_t> name(longest + 1u);
    std::wstring fullPath;
    wchar_t valueName[256];
    BYTE data[2048];
    for (DWORD j = 0; j < count; ++j) {
        DWORD length = static_cast<DWORD>(name.size());
        ++result.calls;
        if (RegEnumKeyExW(ifeo.get(), j, name.data(), &length, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            continue;
        }
        HKEY opened = nullptr;
        LSTATUS status;
        ++result.calls;
        if (kind == FloorKind::QueryFullPath) {
            fullPath.assign(kIfeoPath);
            fullPath += L'\\';
            fullPath.append(name.data(), length);
            status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, fullPath.c_str(), 0, KEY_ALL_ACCESS | kView,
                                   &opened);
        } else {
            status = RegOpenKeyExW(ifeo.get(), name.data(), 0, KEY_QUERY_VALUE, &opened);
        }
        if (status != ERROR_SUCCESS) continue;
        UniqueHkey subkey(opened);
        if (kind == FloorKind::EnumValues) {
            for (DWORD k = 0;; ++k) {
                DWORD nameLength = 256;
                DWORD type = 0;
                DWORD size = 0;
                ++result.calls;
                if (RegEnumValueW(subkey.get(), k, valueName, &nameLength, nullptr, &type, nullptr,
                                  &size) != ERROR_SUCCESS) {
                    break;
                }
                if (type != REG_SZ || !IsDebuggerName(valueName, nameLength)) continue;
                nameLength = 256;
                size = sizeof data;
                ++result.calls;
                if (RegEnumValueW(subkey.get(), k, valueName, &nameLength, nullptr, &type, data,
                                  &size) == ERROR_SUCCESS) {
                    ++result.found;
                }
            }
        } else {
            DWORD type = 0;
            DWORD size = sizeof data;
            ++result.calls;
            const LSTATUS read =
                RegQueryValueExW(subkey.get(), L"Debugger", nullptr, &type, data, &size);
            if ((read == ERROR_SUCCESS || read == ERROR_MORE_DATA) && type == REG_SZ) ++result.found;
        }
        ++result.calls;  // the close, when subkey goes
    }
    return result;
}

int Repetitions(std::uint32_t subkeys) {
    if (subkeys <= 200) return 15;
    if (subkeys <= 2000) return 9;
    return 5;
}

void PrintTiming(const char* name, const char* label, std::uint32_t subkeys,
                 const std::vector<double>& ms, std::size_t found, std::uint64_t calls) {
    const Summary s = Summarize(ms);
    std::printf("RESULT %s size=%u label=%s ms=%.2f min_ms=%.2f max_ms=%.2f us_per_subkey=%.3f found=%zu "
                "calls=%llu reps=%zu\n",
                name, subkeys, label, s.median, s.min, s.max,
                subkeys ? s.median * 1000.0 / subkeys : 0.0, found,
                static_cast<unsigned long long>(calls), ms.size());
}

int Flush() {
    UniqueHkey ifeo = OpenIfeo(KEY_READ);
    const double start = NowMs();
    const LSTATUS status = RegFlushKey(ifeo.get());
    std::printf("RESULT flush ms=%.1f status=%ld\n", NowMs() - start, static_cast<long>(status));
    return 0;
}

int Scan(int reps, const char* label) {
    DWORD subkeys = 0;
    {
        UniqueHkey ifeo = OpenIfeo(KEY_READ);
        RegQueryInfoKeyW(ifeo.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    Win32Registry registry;
    LiveSession live(registry, Text());
    WindowControls window;
    WindowControls quietWindow(true);
    MemoryControls memory;
    FrmMain windowForm(live, window);
    FrmMain quietForm(live, quietWindow);
    FrmMain memoryForm(live, memory);

    // Untimed: how many registry operations one scan makes.
    CountingRegistry counting(registry);
    LiveSession countingLive(counting, Text());
    MemoryControls counted;
    FrmMain countingForm(countingLive, counted);
    countingForm.Form_Load();

    // A warm-up of each kind (small keys only: a big one warms itself), then
    // interleaved repetitions, so that drift hits every kind alike.
    FloorResult query, full, enumerated;
    if (subkeys <= 20000) {
        windowForm.Form_Load();
        quietForm.Form_Load();
        memoryForm.Form_Load();
        query = Floor(FloorKind::Query);
        full = Floor(FloorKind::QueryFullPath);
        enumerated = Floor(FloorKind::EnumValues);
    }
    std::vector<double> scanWindow, scanQuiet, scanMemory, floorQuery, floorFull, floorEnum;
    for (int rep = 0; rep < (reps > 0 ? reps : Repetitions(subkeys)); ++rep) {
        double start = NowMs();
        windowForm.Form_Load();
        scanWindow.push_back(NowMs() - start);
        start = NowMs();
        quietForm.Form_Load();
        scanQuiet.push_back(NowMs() - start);
        start = NowMs();
        memoryForm.Form_Load();
        scanMemory.push_back(NowMs() - start);
        start = NowMs();
        query = Floor(FloorKind::Query);
        floorQuery.push_back(NowMs() - start);
        start = NowMs();
        full = Floor(FloorKind::QueryFullPath);
        floorFull.push_back(NowMs() - start);
        start = NowMs();
        enumerated = Floor(FloorKind::EnumValues);
        floorEnum.push_back(NowMs() - start);
    }
    const auto listed = static_cast<std::size_t>(window.ListCount());
    const auto size = static_cast<std::uint32_t>(subkeys);
    PrintTiming("wine-scan", label, size, scanWindow, listed, counting.calls);
    PrintTiming("wine-scan-quietlist", label, size, scanQuiet,
                static_cast<std::size_t>(quietWindow.ListCount()), counting.calls);
    PrintTiming("wine-scan-memlist", label, size, scanMemory, memory.lines.size(), counting.calls);
    PrintTiming("wine-floor", label, size, floorQuery, query.found, query.calls);
    PrintTiming("wine-floor-fullpath", label, size, floorFull, full.found, full.calls);
    PrintTiming("wine-floor-enum", label, size, floorEnum, enumerated.found, enumerated.calls);
    std::printf("RESULT wine-scan-ops size=%u label=%s calls=%llu opens=%llu enum_values=%llu messages=%d\n",
                static_cast<unsigned>(subkeys), label, static_cast<unsigned long long>(counting.calls),
                static_cast<unsigned long long>(counting.opens),
                static_cast<unsigned long long>(counting.enumValues), window.messages);
    return 0;
}

// ---------------------------------------------------------------------------
// Start-up: from CreateProcessW to the window shown with its list filled (or
// to the notice box), the program idle; then its peak working set, then a
// close as a user would.

struct Found {
    DWORD pid;
    const wchar_t* className;
    HWND window;
};

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM lParam) {
    auto* found = reinterpret_cast<Found*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != found->pid || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(hwnd, className, 64);
    if (std::wcscmp(className, found->className) != 0) return TRUE;
    found->window = hwnd;
    return FALSE;
}

HWND VisibleTopLevel(DWORD pid, const wchar_t* className) {
    Found found{pid, className, nullptr};
    EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

bool ListHas(HWND window, int lines) {
    HWND list = GetDlgItem(window, IDC_LSTLISTKEY);
    DWORD_PTR count = 0;
    if (!list || !SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 1000, &count)) {
        return false;
    }
    return static_cast<int>(count) == lines;
}

struct Launch {
    double idleMs = -1;
    double readyMs = -1;
    double closedMs = -1;
    SIZE_T peakWorkingSet = 0;
    SIZE_T peakPrivate = 0;
};

Launch StartOnce(const std::wstring& exe, const std::wstring& args, const wchar_t* className,
                 int lines) {
    Launch launch;
    std::wstring commandLine = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const double start = NowMs();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        Fail("CreateProcessW", static_cast<long>(GetLastError()));
    }
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    if (WaitForInputIdle(process.get(), 20000) == 0) launch.idleMs = NowMs() - start;

    HWND window = nullptr;
    HWND box = nullptr;
    const double deadline = start + 60000;
    while (NowMs() < deadline) {
        if (lines < 0) {
            box = VisibleTopLevel(info.dwProcessId, L"#32770");
            if (box) break;
        } else {
            window = VisibleTopLevel(info.dwProcessId, className);
            if (window && ListHas(window, lines)) break;
        }
        Sleep(1);
    }
    if ((lines < 0 && box) || (lines >= 0 && window)) launch.readyMs = NowMs() - start;

    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
        launch.peakWorkingSet = counters.PeakWorkingSetSize;
        launch.peakPrivate = counters.PeakPagefileUsage;
    }

    const double closing = NowMs();
    if (box) {
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        for (int i = 0; i < 5000 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(1);
    }
    if (!window) window = VisibleTopLevel(info.dwProcessId, className);
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.get(), 10000) == WAIT_OBJECT_0) {
        launch.closedMs = NowMs() - closing;
    } else {
        TerminateProcess(process.get(), 0xDEAD);
        WaitForSingleObject(process.get(), 5000);
    }
    return launch;
}

int Startup(const std::wstring& exe, const std::wstring& className, const std::wstring& expect,
            int reps, const std::wstring& args, const char* label) {
    const int lines = expect == L"box" ? -1 : std::stoi(expect);
    // The first start reads the files from disk and fills Wine's caches.
    const Launch cold = StartOnce(exe, args, className.c_str(), lines);
    std::vector<double> idle, ready, closed, peak, priv;
    for (int i = 0; i < reps; ++i) {
        const Launch l = StartOnce(exe, args, className.c_str(), lines);
        if (l.readyMs < 0) Fail("start-up: the window never became ready", i);
        idle.push_back(l.idleMs);
        ready.push_back(l.readyMs);
        closed.push_back(l.closedMs);
        peak.push_back(static_cast<double>(l.peakWorkingSet) / 1024.0);
        priv.push_back(static_cast<double>(l.peakPrivate) / 1024.0);
    }
    const Summary r = Summarize(ready), w = Summarize(idle), c = Summarize(closed);
    const Summary p = Summarize(peak), v = Summarize(priv);
    std::printf("RESULT startup label=%s ready_ms=%.1f ready_min_ms=%.1f ready_max_ms=%.1f "
                "idle_ms=%.1f cold_ready_ms=%.1f close_ms=%.1f peak_ws_kib=%.0f peak_ws_max_kib=%.0f "
                "peak_private_kib=%.0f reps=%d\n",
                label, r.median, r.min, r.max, w.median, cold.readyMs, c.median, p.median, p.max,
                v.median, reps);
    return 0;
}

// ---------------------------------------------------------------------------
// The banner's road in the program: OLE's DLLs, the apartment, the decode and
// the copy; each step timed, in a process that has not loaded OLE before.

int OleProbe(const std::wstring& file) {
    // The program has its display connection before it loads the banner;
    // make it here first, so that it is not counted.
    UniqueWindow probe(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr));
    ReleaseDC(nullptr, GetDC(nullptr));
    const double start = NowMs();
    UniqueModule ole32(LoadLibraryW(L"ole32.dll"));
    UniqueModule oleaut32(LoadLibraryW(L"oleaut32.dll"));
    if (!ole32 || !oleaut32) Fail("LoadLibraryW(OLE)", static_cast<long>(GetLastError()));
    const double loaded = NowMs();

    using CoInit = HRESULT(WINAPI*)(LPVOID, DWORD);
    using CoUninit = void(WINAPI*)();
    using StreamOnHGlobal = HRESULT(WINAPI*)(HGLOBAL, BOOL, LPSTREAM*);
    using LoadPicture = HRESULT(WINAPI*)(LPSTREAM, LONG, BOOL, REFIID, LPVOID*);
    auto symbol = [](HMODULE module, const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(module, name));
    };
    auto coInit = reinterpret_cast<CoInit>(symbol(ole32.get(), "CoInitializeEx"));
    auto coUninit = reinterpret_cast<CoUninit>(symbol(ole32.get(), "CoUninitialize"));
    auto streamOn = reinterpret_cast<StreamOnHGlobal>(symbol(ole32.get(), "CreateStreamOnHGlobal"));
    auto loadPicture = reinterpret_cast<LoadPicture>(symbol(oleaut32.get(), "OleLoadPicture"));
    if (!coInit || !coUninit || !streamOn || !loadPicture) Fail("GetProcAddress(OLE)", 0);
    const bool initialized = SUCCEEDED(coInit(nullptr, COINIT_APARTMENTTHREADED));
    const double apartment = NowMs();

    UniqueKernelHandle input(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    if (input.get() == INVALID_HANDLE_VALUE) {
        input.release();
        Fail("CreateFileW", static_cast<long>(GetLastError()));
    }
    const DWORD size = GetFileSize(input.get(), nullptr);
    win32::UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, size));
    DWORD read = 0;
    void* target = memory ? GlobalLock(memory.get()) : nullptr;
    if (!target || !ReadFile(input.get(), target, size, &read, nullptr) || read != size) {
        Fail("ReadFile", static_cast<long>(GetLastError()));
    }
    GlobalUnlock(memory.get());
    const double fileRead = NowMs();

    long width = 0;
    double decoded = fileRead;
    double copied = fileRead;
    {
        win32::ComPtr<IStream> stream;
        win32::ComPtr<IPicture> picture;
        if (FAILED(streamOn(memory.get(), FALSE, stream.put())) ||
            FAILED(loadPicture(stream.get(), static_cast<LONG>(size), FALSE, IID_IPicture,
                               picture.put_void()))) {
            Fail("OleLoadPicture", 0);
        }
        decoded = NowMs();
        OLE_HANDLE handle = 0;
        picture->get_Handle(&handle);
        win32::UniqueBitmap bitmap(static_cast<HBITMAP>(
            CopyImage(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)), IMAGE_BITMAP, 0, 0,
                      LR_CREATEDIBSECTION)));
        copied = NowMs();
        BITMAP info{};
        if (bitmap) GetObjectW(bitmap.get(), sizeof info, &info);
        width = info.bmWidth;
    }
    if (initialized) coUninit();
    std::printf("RESULT ole load_dll_ms=%.1f apartment_ms=%.1f decode_ms=%.1f copy_ms=%.1f "
                "total_ms=%.1f width=%ld\n",
                loaded - start, apartment - loaded, decoded - fileRead, copied - decoded,
                (copied - start) - (fileRead - apartment), width);
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: vornex_bench reset | seed FROM TO [all] [unsorted] | scan [REPS [LABEL]] | flush |\n"
                 "       startup EXE CLASS LINES|box REPS LABEL [ARG] | ole FILE\n");
    return 2;
}

}  // namespace
}  // namespace vornex::bench

int wmain(int argc, wchar_t** argv) {
    using namespace vornex::bench;
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    if (command == L"reset") return Reset();
    if (command == L"seed" && argc >= 4) {
        bool all = false;
        bool sorted = true;
        for (int i = 4; i < argc; ++i) {
            all = all || std::wstring(argv[i]) == L"all";
            sorted = sorted && std::wstring(argv[i]) != L"unsorted";
        }
        return Seed(std::wcstoull(argv[2], nullptr, 10), std::wcstoull(argv[3], nullptr, 10), all,
                    sorted);
    }
    if (command == L"scan") {
        const std::wstring label(argc >= 4 ? argv[3] : L"pinned");
        const std::string narrow(label.begin(), label.end());
        return Scan(argc >= 3 ? std::stoi(argv[2]) : 0, narrow.c_str());
    }
    if (command == L"flush") return Flush();
    if (command == L"startup" && argc >= 7) {
        const std::wstring label(argv[6]);
        const std::string narrow(label.begin(), label.end());
        return Startup(argv[2], argv[3], argv[4], std::stoi(argv[5]), argc >= 8 ? argv[7] : L"",
                       narrow.c_str());
    }
    if (command == L"ole" && argc >= 3) return OleProbe(argv[2]);
    return Usage();
}
