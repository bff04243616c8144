// How long a multi-line, word-wrapping EDIT of the detail box's size takes to
// take a long text (SetWindowTextW) and to paint it (UpdateWindow), for
// several lengths and kinds of text, and whether EM_SETLIMITTEXT or
// WM_SETREDRAW around the call change anything. Prints tables (milliseconds,
// median of the repeats).
//
//   probe_edit_timing.exe [--reps R] [--max N] [--lengths 3000,5000,...]
// Lengths default to 1000, 2000, 4000, ... up to --max (32000).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// The detail box: 5775 x 855 twips at the screen's DPI (385 x 57 px at 96),
// its styles, and the message font the window gives every control.
constexpr int kWidthTwips = 5775;
constexpr int kHeightTwips = 855;
constexpr DWORD kEditStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL;

int Twips(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

void Out(const std::wstring& line) {
    std::string utf8(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    std::fputs(utf8.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::wstring Format(const wchar_t* format, double value) {
    wchar_t text[64];
    swprintf(text, 64, format, value);
    return text;
}

std::wstring Repeat(const std::wstring& unit, std::size_t length) {
    std::wstring text;
    text.reserve(length + unit.size());
    while (text.size() < length) text += unit;
    text.resize(length);
    return text;
}

struct Kind {
    const wchar_t* name;
    std::wstring unit;
};

// Realistic command lines: a quoted path with spaces and arguments; the same
// without a single space (no word-wrap opportunity but backslashes); Chinese
// paths with spaces; Chinese without spaces; the first with a line break
// every 64 characters (short paragraphs).
std::vector<Kind> Kinds() {
    const std::wstring path =
        L"\"C:\\Program Files (x86)\\Common Files\\Contoso Shared\\Updater Service\\bin\\updsvc.exe\" "
        L"--silent --config \"C:\\ProgramData\\Contoso\\updater settings.ini\" /log C:\\Windows\\Temp\\u.log ";
    const std::wstring noSpace =
        L"C:\\ProgramData\\Microsoft\\Windows\\Start_Menu\\Programs\\StartUp\\x64\\svchost_helper.exe;"
        L"--config=C:\\ProgramData\\Contoso\\updater_settings.ini;/log=C:\\Windows\\Temp\\u.log;";
    const std::wstring cjk =
        L"\"C:\\程序文件\\某某软件公司\\更新程序\\后台服务\\更新服务.exe\" --静默 --配置 "
        L"\"C:\\用户数据\\某某软件\\设置 文件.ini\" /日志 C:\\临时\\更新日志.log ";
    const std::wstring cjkNoSpace = L"某某软件公司的更新程序在后台静默运行并读取设置文件然后写入日志记录所有操作结果";
    auto broken = [&path](std::size_t every) {
        std::wstring text;
        const std::wstring flat = Repeat(path, every * 4);
        for (std::size_t i = 0; i < flat.size(); ++i) {
            text += flat[i];
            if (i % every == every - 1) text += L"\r\n";
        }
        return text;
    };
    return {{L"path+spaces", path}, {L"no-spaces", noSpace}, {L"cjk+spaces", cjk},
            {L"cjk-no-spaces", cjkNoSpace}, {L"path,CRLF/64", broken(62)}, {L"path,CRLF/500", broken(498)}};
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// This thread's CPU time (user + kernel), ms: what the layout costs without
// waiting for a core, since the machine is shared.
double CpuNow() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

enum class Variant { Plain, Redraw, LimitMax, LimitSmall, NoWrap };

struct Result {
    double set = 0;     // SetWindowTextW
    double paint = 0;   // UpdateWindow afterwards
    double clear = 0;   // SetWindowTextW(L"") afterwards
    double cpu = 0;     // thread CPU time of set + paint
    int kept = 0;       // characters the control holds
    int lines = 0;      // EM_GETLINECOUNT
};

class Bench {
public:
    Bench(HINSTANCE instance, HFONT font, int dpi) : instance_(instance), font_(font), dpi_(dpi) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = instance;
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = L"VornexEditTiming";
        RegisterClassW(&windowClass);
        frame_ = CreateWindowExW(0, L"VornexEditTiming", L"edit timing", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE | WS_CLIPCHILDREN,
                                 40, 40, Twips(kWidthTwips, dpi) + 80, Twips(kHeightTwips, dpi) + 120, nullptr, nullptr,
                                 instance, nullptr);
        Pump();
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;
    ~Bench() {
        if (frame_) DestroyWindow(frame_);
    }
    explicit operator bool() const { return frame_ != nullptr; }

    Result Measure(const std::wstring& text, Variant variant) {
        // A fresh control each time, as the program's own is before its first text.
        const DWORD style = variant == Variant::NoWrap ? kEditStyle | ES_AUTOHSCROLL : kEditStyle;
        HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", style, 20, 20, 0, 0, frame_, nullptr, instance_, nullptr);
        SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        SetWindowPos(edit, nullptr, 0, 0, Twips(kWidthTwips, dpi_), Twips(kHeightTwips, dpi_),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (variant == Variant::LimitMax) SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
        if (variant == Variant::LimitSmall) SendMessageW(edit, EM_SETLIMITTEXT, 1000, 0);
        UpdateWindow(frame_);
        Pump();

        Result r;
        const double c0 = CpuNow();
        double t0 = Now();
        if (variant == Variant::Redraw) SendMessageW(edit, WM_SETREDRAW, FALSE, 0);
        SetWindowTextW(edit, text.c_str());
        if (variant == Variant::Redraw) {
            SendMessageW(edit, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(edit, nullptr, TRUE);
        }
        double t1 = Now();
        UpdateWindow(edit);
        double t2 = Now();
        r.cpu = CpuNow() - c0;
        r.set = t1 - t0;
        r.paint = t2 - t1;
        r.kept = GetWindowTextLengthW(edit);
        r.lines = static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
        Pump();
        t0 = Now();
        SetWindowTextW(edit, L"");
        r.clear = Now() - t0;
        DestroyWindow(edit);
        Pump();
        return r;
    }

private:
    HINSTANCE instance_;
    HFONT font_;
    int dpi_;
    HWND frame_ = nullptr;
};

struct Summary {
    double set, paint, clear;
    double shownMedian, shownMin;  // set + paint
    double cpuMedian;
    int kept, lines;
};

Summary Run(Bench& bench, const std::wstring& text, Variant variant, int reps) {
    std::vector<double> set, paint, clear, shown, cpu;
    Result last;
    for (int i = 0; i < reps; ++i) {
        last = bench.Measure(text, variant);
        set.push_back(last.set);
        paint.push_back(last.paint);
        clear.push_back(last.clear);
        shown.push_back(last.set + last.paint);
        cpu.push_back(last.cpu);
    }
    return {Median(set), Median(paint), Median(clear), Median(shown),
            *std::min_element(shown.begin(), shown.end()), Median(cpu), last.kept, last.lines};
}

// Under Wine the host's load average is readable through drive Z:; the
// figures depend on it, so it goes with them. "" elsewhere.
std::wstring HostLoad() {
    HANDLE file = CreateFileW(L"Z:\\proc\\loadavg", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::wstring();
    char buffer[128] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
    CloseHandle(file);
    std::wstring text(buffer, buffer + read);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int reps = 3;
    std::size_t max = 32000;
    std::vector<std::size_t> lengths;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--reps") reps = std::max(1, _wtoi(argv[i + 1]));
        if (option == L"--max") max = static_cast<std::size_t>(std::max(1000, _wtoi(argv[i + 1])));
        if (option == L"--lengths") {
            for (const wchar_t* p = argv[i + 1]; *p;) {
                wchar_t* end = nullptr;
                const long n = std::wcstol(p, &end, 10);
                if (end == p) break;
                if (n > 0) lengths.push_back(static_cast<std::size_t>(n));
                p = *end == L',' ? end + 1 : end;
            }
        }
    }
    if (lengths.empty()) {
        for (std::size_t n = 1000; n <= max; n *= 2) lengths.push_back(n);
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    HGDIOBJ previous = SelectObject(screen, font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(screen, LF_FACESIZE, face);
    TEXTMETRICW tm{};
    GetTextMetricsW(screen, &tm);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    Out(L"font: " + std::wstring(metrics.lfMessageFont.lfFaceName) + L" -> " + face + L", lfHeight " +
        std::to_wstring(metrics.lfMessageFont.lfHeight) + L", line height " + std::to_wstring(tm.tmHeight) + L" px, dpi " +
        std::to_wstring(dpi) + L", ACP " + std::to_wstring(GetACP()) + L", edit " + std::to_wstring(Twips(kWidthTwips, dpi)) +
        L"x" + std::to_wstring(Twips(kHeightTwips, dpi)) + L" px, reps " + std::to_wstring(reps));

    Bench bench(GetModuleHandleW(nullptr), font, dpi);
    if (!bench) {
        Out(L"cannot create the window");
        return 1;
    }

    const auto kinds = Kinds();
    Out(L"");
    Out(L"host load average before: " + HostLoad());
    Out(L"");
    Out(L"Table 1: SetWindowTextW + UpdateWindow, ms: median wall / fastest wall / median thread CPU, by text kind");
    std::wstring header = L"| N |";
    for (const auto& kind : kinds) header += std::wstring(L" ") + kind.name + L" |";
    Out(header + L" wrapped lines (path+spaces) |");
    std::wstring rule = L"|---|---|";
    for (std::size_t i = 0; i < kinds.size(); ++i) rule += L"---|";
    Out(rule);
    int bad = 0;
    for (std::size_t n : lengths) {
        std::wstring row = L"| " + std::to_wstring(n) + L" |";
        int lines = 0;
        for (const auto& kind : kinds) {
            const std::wstring text = Repeat(kind.unit, n);
            const Summary s = Run(bench, text, Variant::Plain, reps);
            if (s.kept != static_cast<int>(n)) ++bad;
            row += Format(L" %.0f", s.shownMedian) + Format(L" / %.0f", s.shownMin) + Format(L" / %.0f |", s.cpuMedian);
            if (&kind == &kinds.front()) lines = s.lines;
        }
        Out(row + L" " + std::to_wstring(lines) + L" |");
    }

    Out(L"");
    Out(L"Table 2: path+spaces text, ms of SetWindowTextW + UpdateWindow: median wall / median thread CPU, by variant; [chars kept]");
    Out(L"| N | plain | WM_SETREDRAW FALSE/TRUE | EM_SETLIMITTEXT 0 (max) | EM_SETLIMITTEXT 1000 | ES_AUTOHSCROLL (no wrap) | clearing to \"\" |");
    Out(L"|---|---|---|---|---|---|---|");
    for (std::size_t n : lengths) {
        const std::wstring text = Repeat(kinds[0].unit, n);
        std::wstring row = L"| " + std::to_wstring(n) + L" |";
        double clear = 0;
        for (Variant variant : {Variant::Plain, Variant::Redraw, Variant::LimitMax, Variant::LimitSmall, Variant::NoWrap}) {
            const Summary s = Run(bench, text, variant, reps);
            if (variant == Variant::Plain) clear = s.clear;
            row += Format(L" %.0f", s.shownMedian) + Format(L" / %.0f", s.cpuMedian) + L" [" + std::to_wstring(s.kept) + L"] |";
        }
        row += Format(L" %.0f |", clear);
        Out(row);
    }
    DeleteObject(font);
    Out(L"");
    Out(L"host load average after: " + HostLoad());
    Out(bad == 0 ? L"every plain text was kept whole" : std::to_wstring(bad) + L" plain texts were cut");
    return bad == 0 ? 0 : 1;
}
