#include "tests/e2e/rescue_fixture.h"

#include "tests/e2e/test_options.h"

namespace vornex::e2e {

using namespace windriver;

void RescueE2E::SetUp() {
    VornexE2E::SetUp();
    DeleteTreeNoFollow(HKEY_LOCAL_MACHINE, kMiniNt);
    Redirect(kPrefixOwn, L"C:\\prefix\\own.exe");
    prefixBefore_ = IfeoSnapshot();
}

void RescueE2E::TearDown() {
    if (app_ && app_.Running()) app_.Terminate();
    DeleteTreeNoFollow(HKEY_LOCAL_MACHINE, kMiniNt);
    VornexE2E::TearDown();
}

std::wstring RescueE2E::HiveFile(const std::wstring& name) { return JoinPath(Options().hives, name); }

void RescueE2E::LaunchWith(const std::vector<std::wstring>& args) {
    ASSERT_FALSE(Options().exe.empty()) << "pass --exe PATH\\Vornex.exe";
    app_ = Process::Start(Options().exe, args);
    WindowFilter filter;
    filter.className = VORNEX_WINDOW_CLASS;
    window_ = WaitForTopLevel(app_.pid(), filter, 10000);
    ASSERT_NE(window_, nullptr) << "the window did not appear";
}

MessageBoxInfo RescueE2E::LaunchExpectingBox(const std::vector<std::wstring>& args, HWND* box) {
    app_ = Process::Start(Options().exe, args);
    *box = WaitForMessageBox(app_.pid(), 10000);
    if (!*box) {
        ADD_FAILURE() << "no message box appeared";
        return {};
    }
    return ReadMessageBox(*box);
}

std::vector<std::wstring> RescueE2E::FilesBeside(const std::wstring& hive, const std::wstring& suffix) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((hive + suffix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

}  // namespace vornex::e2e
