#pragma once
#include <string>

namespace vornex::e2e {

struct TestOptions {
    std::wstring exe;  // Vornex.exe under test
    std::wstring out;  // folder for screenshots
};
TestOptions& Options();

}  // namespace vornex::e2e
