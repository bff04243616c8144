// Selection time in the real window under Wine: from a real mouse click on a
// line whose command is very long to the advice box (txtDetail) holding the
// advice. Run by bench/selection.sh for a Vornex.exe before and after the
// advice began cutting long commands.
//
//   vornex_bench_selection EXE LENGTH REPS TIMEOUT_S LABEL
//
// Seeds the IFEO key with long.exe (a Debugger value of LENGTH characters)
// and short.exe, starts EXE REPS times, clicks long.exe once in each, and
// prints one line per start:
//   RESULT selection label=L length=N rep=R ms=T chars=K shown=cut|whole|other
// (K: the characters the box holds; shown: the command cut with its mark, or whole)
// or, when the advice did not come within TIMEOUT_S seconds (the program is
// then killed):
//   RESULT selection label=L length=N rep=R killed_after_s=S
// The IFEO key is emptied again at the end.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/control_ids.h"
#include "bench/win32_bench.h"
#include "core/ifeo.h"
#include "win32/wide_text.h"
#include "win_driver.h"

namespace {

using namespace windriver;
using vornex::bench::NowMs;

const std::wstring kIfeoPath = vornex::win32::Wide(vornex::kIfeoKeyPath);

// A command-like text, different all along, with a space now and then.
std::wstring LongCommand(std::size_t length) {
    std::wstring text = L"\"C:\\Program Files\\Long Road\\run.exe\" ";
    for (std::size_t i = text.size(); i < length; ++i) {
        text.push_back(i % 61 == 60 ? L' ' : static_cast<wchar_t>(L'a' + (i * 7 + i / 26) % 26));
    }
    text.resize(length);
    return text;
}

void EmptyIfeo() {
    DeleteTreeNoFollow(HKEY_LOCAL_MACHINE, kIfeoPath);
    CreateKey(HKEY_LOCAL_MACHINE, kIfeoPath);
}

// The length of the control's text, or -1 while the window does not answer.
long TextLength(HWND control, UINT timeoutMs) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, timeoutMs, &length)) return -1;
    return static_cast<long>(length);
}

int Measure(const std::wstring& exe, std::size_t length, int rep, int timeoutS, const std::string& label) {
    Process app = Process::Start(exe);
    WindowFilter filter;
    filter.className = VORNEX_WINDOW_CLASS;
    HWND window = WaitForTopLevel(app.pid(), filter, 30000);
    if (!window) {
        std::fprintf(stderr, "selection: no window\n");
        return 1;
    }
    HWND list = GetDlgItem(window, IDC_LSTLISTKEY);
    HWND detail = GetDlgItem(window, IDC_TXTDETAIL);
    if (!WaitUntil([&] { return ListBoxCount(list) == 2; }, 30000)) {
        std::fprintf(stderr, "selection: the list never held its 2 lines\n");
        return 1;
    }
    const int line = ListBoxLine(list, 0) == L"long.exe" ? 0 : 1;
    if (TextLength(detail, 5000) != 0 || !BringToForeground(window, 5000)) {
        std::fprintf(stderr, "selection: the window is not ready for the click\n");
        return 1;
    }
    // Idle first: what the start-up left to do is not counted. Nor is the
    // driver's own pause that keeps two clicks on one spot from making a
    // double click: the last click is let age past the double-click time.
    WaitForInputIdle(app.handle(), 5000);
    static double lastClick = -1e9;
    const double quiet = GetDoubleClickTime() + 100.0;
    if (NowMs() - lastClick < quiet) Sleep(static_cast<DWORD>(quiet - (NowMs() - lastClick)));
    const double clicked = NowMs();
    lastClick = clicked;
    if (!ClickListBoxLine(list, line)) {
        std::fprintf(stderr, "selection: the click failed\n");
        return 1;
    }
    // The box is empty until the selection handler sets the advice in one go.
    long chars = -1;
    double shown = 0;
    while (NowMs() - clicked < timeoutS * 1000.0) {
        chars = TextLength(detail, 200);
        if (chars > 0) {
            shown = NowMs();
            break;
        }
        if (chars == 0) Sleep(1);
    }
    if (chars <= 0) {
        std::printf("RESULT selection label=%s length=%zu rep=%d killed_after_s=%d\n", label.c_str(), length, rep,
                    timeoutS);
        std::fflush(stdout);
        app.Terminate();
        return 0;
    }
    const std::wstring text = TextOf(detail, 120000);
    const std::wstring cutMark = L"（命令过长，共 " + std::to_wstring(length) + L" 个字符";
    const char* kind = text.find(cutMark) != std::wstring::npos        ? "cut"
                       : text.find(LongCommand(length)) != std::wstring::npos ? "whole"
                                                                              : "other";
    std::printf("RESULT selection label=%s length=%zu rep=%d ms=%.1f chars=%ld shown=%s\n", label.c_str(), length,
                rep, shown - clicked, chars, kind);
    std::fflush(stdout);
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (!app.WaitForExit(10000)) app.Terminate();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Real pixels in every coordinate, like the e2e driver.
    SetProcessDPIAware();
    if (argc != 6) {
        std::fprintf(stderr, "usage: vornex_bench_selection EXE LENGTH REPS TIMEOUT_S LABEL\n");
        return 2;
    }
    const std::wstring exe = argv[1];
    const auto length = static_cast<std::size_t>(std::wcstoul(argv[2], nullptr, 10));
    const int reps = static_cast<int>(std::wcstol(argv[3], nullptr, 10));
    const int timeoutS = static_cast<int>(std::wcstol(argv[4], nullptr, 10));
    const std::string label = Utf8(argv[5]);
    int status = 0;
    try {
        EmptyIfeo();
        SetString(HKEY_LOCAL_MACHINE, kIfeoPath + L"\\long.exe", L"Debugger", LongCommand(length));
        SetString(HKEY_LOCAL_MACHINE, kIfeoPath + L"\\short.exe", L"Debugger", L"short-hijack.exe");
        for (int rep = 1; rep <= reps && status == 0; ++rep) status = Measure(exe, length, rep, timeoutS, label);
        EmptyIfeo();
    } catch (const Error& e) {
        std::fprintf(stderr, "selection: %s (%lu)\n", e.what(), static_cast<unsigned long>(e.code()));
        return 1;
    }
    return status;
}
