#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "tests/e2e/test_options.h"

namespace vornex::e2e {
TestOptions& Options() {
    static TestOptions options;
    return options;
}
}  // namespace vornex::e2e

// gtest takes its own flags; --exe, --out, --cli, --data and --dpi are the driver's.
int wmain(int argc, wchar_t** argv) {
    // Real pixels in every coordinate and capture, also above 96 DPI.
    SetProcessDPIAware();
    ::testing::InitGoogleTest(&argc, argv);
    auto& options = vornex::e2e::Options();
    for (int i = 1; i + 1 < argc; ++i) {
        const std::wstring flag = argv[i];
        if (flag == L"--exe") options.exe = argv[++i];
        else if (flag == L"--out") options.out = argv[++i];
        else if (flag == L"--cli") options.cli = argv[++i];
        else if (flag == L"--hives") options.hives = argv[++i];
        else if (flag == L"--data") options.data = argv[++i];
        else if (flag == L"--dpi") options.dpi = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
    }
    return RUN_ALL_TESTS();
}
