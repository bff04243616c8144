#pragma once
#include <string>
#include <vector>

#include "app/windows_finder.h"
#include "tests/e2e/e2e_fixture.h"

namespace vornex::e2e {

// Vornex.exe on hive files: given on the command line, or found on drive D:
// of a prefix that says it is a rescue system (the MiniNT key, set by the
// tests that want it and always removed). The prefix's own IFEO key holds
// one redirection of its own, which no hive holds.
class RescueE2E : public VornexE2E {
protected:
    static inline const std::wstring kMiniNt = win32::Wide(kMiniNtKeyPath);
    static inline const std::wstring kPrefixOwn = L"prefix-own.exe";
    static inline const std::wstring kInstalledHive = L"D:\\Windows\\System32\\config\\SOFTWARE";

    void SetUp() override;
    void TearDown() override;

    // A hive file the harness made, by its name in the hives folder.
    static std::wstring HiveFile(const std::wstring& name);
    // Starts Vornex.exe with these arguments and waits for its window.
    void LaunchWith(const std::vector<std::wstring>& args);
    // Starts it and waits for a message box with no window of the program.
    windriver::MessageBoxInfo LaunchExpectingBox(const std::vector<std::wstring>& args, HWND* box);
    // The files beside a hive whose names start with its own and this suffix.
    static std::vector<std::wstring> FilesBeside(const std::wstring& hive, const std::wstring& suffix);

    windriver::RegSnapshot prefixBefore_;
};

}  // namespace vornex::e2e
