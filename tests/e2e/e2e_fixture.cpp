#include "tests/e2e/e2e_fixture.h"

#include <algorithm>

#include "tests/e2e/test_options.h"

namespace vornex::e2e {

using namespace windriver;

namespace {

// Removes the undo files the program wrote into the folder beside it, so
// that runs do not pile them up in the build tree.
void RemoveUndoFolderBeside(const std::wstring& program) {
    if (program.empty()) return;
    const std::wstring folder = JoinPath(program.substr(0, program.find_last_of(L"\\/")), L"undo");
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(JoinPath(folder, L"*.reg").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        DeleteFileW(JoinPath(folder, found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

// Emptied without following links (RegDeleteTreeW would empty and delete
// what a link subkey points at) and through keys whose security refuses it.
void VornexE2E::SetUp() {
    DeleteTreeNoFollow(HKEY_LOCAL_MACHINE, kIfeoPath);
    CreateKey(HKEY_LOCAL_MACHINE, kIfeoPath);
}

void VornexE2E::TearDown() {
    if (app_ && app_.Running()) app_.Terminate();
    RemoveUndoFolderBeside(Options().exe);
    RemoveUndoFolderBeside(Options().cli);
    DeleteTreeNoFollow(HKEY_LOCAL_MACHINE, kIfeoPath);
    CreateKey(HKEY_LOCAL_MACHINE, kIfeoPath);
}

void VornexE2E::Redirect(const std::wstring& name, const std::wstring& command,
                         const std::wstring& valueName, DWORD type) {
    SetValue(HKEY_LOCAL_MACHINE, SubkeyPath(name), StringValue(valueName, command, type));
}

std::vector<std::wstring> VornexE2E::SortedLikeTheList(std::vector<std::wstring> names) {
    std::stable_sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
               CSTR_LESS_THAN;
    });
    return names;
}

std::wstring VornexE2E::DetailHeading(const std::wstring& name) {
    return L"下面是 " + name + L" 的重定向情况及处理建议，请谨慎选择操作方式！";
}

std::wstring VornexE2E::DetailAdvice(const std::wstring& name, const std::wstring& command) {
    return name + L"被重定向到" + command + L"，如没有安装" + name + L"，请点击“手工删除”。如果安装了" +
           name + L"并确认被劫持，请点击“手工修复”。";
}

Font VornexE2E::UiFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        ThrowLastError("SystemParametersInfoW(SPI_GETNONCLIENTMETRICS)");
    }
    Font font(CreateFontIndirectW(&metrics.lfMessageFont));
    if (!font) ThrowLastError("CreateFontIndirectW");
    return font;
}

int VornexE2E::UiLineHeight() {
    const Font font = UiFont();
    WindowDC dc(nullptr);
    SelectGuard selected(dc.get(), font.get());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.get(), &metrics);
    return static_cast<int>(metrics.tmHeight);
}

SIZE VornexE2E::UiTextExtent(const std::wstring& text) {
    const Font font = UiFont();
    WindowDC dc(nullptr);
    SelectGuard selected(dc.get(), font.get());
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

void VornexE2E::Launch() {
    ASSERT_FALSE(Options().exe.empty()) << "pass --exe PATH\\Vornex.exe";
    app_ = Process::Start(Options().exe);
    WindowFilter filter;
    filter.className = VORNEX_WINDOW_CLASS;
    window_ = WaitForTopLevel(app_.pid(), filter, 10000);
    ASSERT_NE(window_, nullptr) << "the window did not appear";
}

MessageBoxInfo VornexE2E::ExpectMessageBox(HWND* box) {
    *box = WaitForMessageBox(app_.pid(), 5000);
    if (!*box) {
        ADD_FAILURE() << "no message box appeared";
        return {};
    }
    return ReadMessageBox(*box);
}

void VornexE2E::Answer(HWND box, int button) {
    ASSERT_TRUE(AnswerMessageBox(box, button));
    ASSERT_TRUE(WaitForWindowGone(box, 5000));
}

void VornexE2E::ClickLine(int index) {
    HWND list = Ctl(IDC_LSTLISTKEY);
    // The selection moves on the button press, the details follow its release.
    const std::wstring heading = L"下面是 " + ListBoxLine(list, index) + L" 的重定向情况及处理建议，请谨慎选择操作方式！";
    const auto explained = [&] { return ListBoxSelection(list) == index && TextOf(Ctl(IDC_LBLDETAIL)) == heading; };
    // A second click, as a user would give one, when the harness's first did not land.
    for (int attempt = 0; attempt < 2; ++attempt) {
        ASSERT_TRUE(BringToForeground(window_));
        ASSERT_TRUE(ClickListBoxLine(list, index));
        if (WaitUntil(explained, 3000)) return;
    }
    FAIL() << "line " << index << " was not selected and explained";
}

void VornexE2E::ClickButton(int id) {
    ASSERT_TRUE(BringToForeground(window_));
    ASSERT_TRUE(ClickCenter(Ctl(id)));
}

void VornexE2E::Press(WORD vk, unsigned modifiers) {
    ASSERT_TRUE(BringToForeground(window_));
    ASSERT_TRUE(PressKey(vk, modifiers));
}

::testing::AssertionResult VornexE2E::FocusComesTo(int id, int timeoutMs) const {
    if (WaitUntil([&] { return FocusedWindow(window_) == Ctl(id); }, timeoutMs)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the focus should be on control " << id << ", it is on "
                                         << Utf8(Describe(FocusedWindow(window_)));
}

std::vector<RECT> VornexE2E::ControlRects() const {
    std::vector<RECT> rects;
    for (HWND child : Children(window_)) rects.push_back(RectInParent(child));
    return rects;
}

void VornexE2E::ExpectNoReactionFor(int ms) {
    SleepMs(ms);
    EXPECT_EQ(FindMessageBox(app_.pid()), nullptr) << "no message box was expected";
    EXPECT_TRUE(app_.Running()) << "the program ended";
}

void VornexE2E::CloseAndExpectExit() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    ASSERT_TRUE(app_.WaitForExit(5000)) << "the program did not end";
    EXPECT_EQ(app_.ExitCode().value_or(0xFFFF), 0u);
}

void VornexE2E::Screenshot(const std::wstring& name) const {
    if (Options().out.empty()) return;
    SaveScreenshot(JoinPath(Options().out, name + L".bmp"));
}

}  // namespace vornex::e2e
