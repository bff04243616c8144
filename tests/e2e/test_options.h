#pragma once
#include <string>

namespace vornex::e2e {

struct TestOptions {
    std::wstring exe;    // Vornex.exe under test
    std::wstring out;    // folder for screenshots
    std::wstring cli;    // vornex-cli.exe, for the tests that compare it with the window
    std::wstring hives;  // folder of the hive files the rescue tests work on
    std::wstring data;   // the Linux build's results and the hives laid out for the hive suite
    int dpi = 96;        // the DPI the harness started the prefix with (--dpi)
};
TestOptions& Options();

}  // namespace vornex::e2e
