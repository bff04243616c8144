// Prints the DPI that GetDeviceCaps reports, before and after the process
// declares itself DPI aware (Wine shows 96 to unaware processes). With an
// argument, exits 0 only if the aware value equals it.
#include <cstdio>
#include <cwchar>

#include "win_driver.h"

int wmain(int argc, wchar_t** argv) {
    int unaware = windriver::ScreenDpi();
    windriver::MakeProcessDpiAware();
    int aware = windriver::ScreenDpi();
    std::printf("LOGPIXELSY unaware=%d aware=%d\n", unaware, aware);
    std::fflush(stdout);
    if (argc > 1) return aware == std::wcstol(argv[1], nullptr, 10) ? 0 : 1;
    return 0;
}
