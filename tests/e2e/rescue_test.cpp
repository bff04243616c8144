// Vornex.exe on hive files: in a prefix that says it is a rescue system, and
// with a path on a normal start. The harness (scripts/run-wine-rescue.sh)
// made the hives and links D: to a folder holding an installed Windows; it
// reads the repaired hive back with the Linux vornex-cli afterwards.
#include "tests/e2e/rescue_fixture.h"
#include "tests/e2e/test_options.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

const std::wstring kWindowsAway = L"D:\\Windows.away";
// A second Windows, whose SOFTWARE is no readable hive; in place only while
// a test wants two.
const std::wstring kSecondAway = L"E:\\Windows.away";
const std::wstring kSecond = L"E:\\Windows";

class Rescue : public RescueE2E {
protected:
    void TearDown() override {
        RescueE2E::TearDown();
        if (GetFileAttributesW(kWindowsAway.c_str()) != INVALID_FILE_ATTRIBUTES) {
            MoveFileW(kWindowsAway.c_str(), L"D:\\Windows");
        }
        if (GetFileAttributesW(kSecond.c_str()) != INVALID_FILE_ATTRIBUTES) MoveFileW(kSecond.c_str(), kSecondAway.c_str());
    }
    std::wstring Caption() const { return TextOf(window_); }
    std::vector<std::wstring> Lines() const { return ListBoxLines(Ctl(IDC_LSTLISTKEY)); }
    void AnswerOk(const std::wstring& expectedPart, const std::wstring& screenshot = L"") {
        HWND box = nullptr;
        const MessageBoxInfo info = ExpectMessageBox(&box);
        ASSERT_NE(box, nullptr);
        if (!screenshot.empty()) Screenshot(screenshot);
        EXPECT_NE(info.text.find(expectedPart), std::wstring::npos) << Utf8(info.text);
        Answer(box, IDOK);
    }
};

TEST_F(Rescue, InARescueSystemTheInstalledWindowsIsOpenedAndRepairedInItsHive) {
    CreateKey(HKEY_LOCAL_MACHINE, kMiniNt);
    LaunchWith({});
    EXPECT_EQ(Caption(), kInstalledHive + L" － " + kCaption);
    ASSERT_EQ(Lines(), (std::vector<std::wstring>{L"explorer.exe", L"userinit.exe"}))
        << "the installed Windows' entries, not the rescue system's own";
    Screenshot(L"rescue-installed-windows");

    ClickLine(1);
    ClickButton(IDC_CMDDELETE);
    AnswerOk(L"已成功修复！");
    EXPECT_TRUE(WaitUntil([&] { return Lines() == std::vector<std::wstring>{L"explorer.exe"}; }, 5000));
    EXPECT_EQ(FilesBeside(kInstalledHive, L".vornex-backup-").size(), 1u) << "one copy of the hive beside it";
    CloseAndExpectExit();
    EXPECT_EQ(Diff(prefixBefore_, IfeoSnapshot()), L"") << "the rescue system's own registry is untouched";
}

TEST_F(Rescue, WithTwoInstalledWindowsThePersonChoosesOne) {
    CreateKey(HKEY_LOCAL_MACHINE, kMiniNt);
    ASSERT_TRUE(MoveFileW(kSecondAway.c_str(), kSecond.c_str()));
    app_ = Process::Start(Options().exe);
    WindowFilter filter;
    filter.className = L"#32770";
    HWND chooser = WaitForTopLevel(app_.pid(), filter, 10000);
    ASSERT_NE(chooser, nullptr) << "no chooser appeared";
    HWND list = GetDlgItem(chooser, 101);
    EXPECT_EQ(ListBoxLines(list),
              (std::vector<std::wstring>{L"D:\\Windows　Windows 10 Pro 22H2（内部版本 19045）",
                                         L"E:\\Windows　（无法读取它的版本信息）"}));
    Screenshot(L"rescue-chooser");
    ASSERT_TRUE(AnswerMessageBox(chooser, IDOK));  // the first line is chosen at the start
    filter.className = VORNEX_WINDOW_CLASS;
    window_ = WaitForTopLevel(app_.pid(), filter, 10000);
    ASSERT_NE(window_, nullptr);
    EXPECT_EQ(Caption(), kInstalledHive + L" － " + kCaption);
    ASSERT_FALSE(Lines().empty());
    EXPECT_EQ(Lines()[0], L"explorer.exe") << "D:'s hive, not the rescue system's own";
    CloseAndExpectExit();
}

// A MiniNT key planted on a normal Windows, with no other Windows to find:
// said, and the running registry shown only when asked for, named as such.
TEST_F(Rescue, APlantedRescueMarkWithNoWindowsFoundIsSaidAndTheRunningRegistryNamed) {
    CreateKey(HKEY_LOCAL_MACHINE, kMiniNt);
    ASSERT_TRUE(MoveFileW(L"D:\\Windows", kWindowsAway.c_str()));
    HWND box = nullptr;
    const MessageBoxInfo info = LaunchExpectingBox({}, &box);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(info.text.find(L"没有找到已安装的Windows"), std::wstring::npos) << Utf8(info.text);
    EXPECT_NE(info.text.find(L"--hive"), std::wstring::npos);
    EXPECT_EQ(info.buttons, (std::vector<int>{IDOK, IDCANCEL}));
    Answer(box, IDOK);
    WindowFilter filter;
    filter.className = VORNEX_WINDOW_CLASS;
    window_ = WaitForTopLevel(app_.pid(), filter, 10000);
    ASSERT_NE(window_, nullptr);
    EXPECT_EQ(Caption().rfind(L"当前运行的系统（自称救援系统）", 0), 0u) << Utf8(Caption());
    EXPECT_EQ(Lines(), std::vector<std::wstring>{kPrefixOwn});
    CloseAndExpectExit();
}

TEST_F(Rescue, AHiveGivenOnANormalStartIsShownAndNamed) {
    const std::wstring hive = HiveFile(L"plain\\SOFTWARE");
    LaunchWith({hive});
    EXPECT_EQ(Caption(), hive + L" － " + kCaption);
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"sethc.exe"});
    ExpectNoReactionFor(300);
    CloseAndExpectExit();
    EXPECT_TRUE(FilesBeside(hive, L".vornex-backup-").empty()) << "nothing changed, nothing copied";
    EXPECT_EQ(Diff(prefixBefore_, IfeoSnapshot()), L"");
}

TEST_F(Rescue, AFileNamedLikeAHiveThatIsNoneIsSaidNeverNothingFound) {
    LaunchWith({L"--hive", HiveFile(L"nohive\\SOFTWARE")});
    AnswerOk(L"不是配置单元", L"rescue-no-hive");
    EXPECT_TRUE(Lines().empty());
    EXPECT_FALSE(IsEnabled(Ctl(IDC_CMDFIX)));
    ExpectNoReactionFor(300);
    CloseAndExpectExit();
}

// As Windows holds the hives it has loaded: open, sharing nothing.
TEST_F(Rescue, AHiveHeldByTheRunningSystemIsSaidToNeedAStartWithoutAPath) {
    const std::wstring hive = HiveFile(L"plain\\SOFTWARE");
    Handle held(CreateFileW(hive.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    LaunchWith({L"--hive", hive});
    AnswerOk(L"请不带路径启动本工具");
    EXPECT_TRUE(Lines().empty());
    CloseAndExpectExit();
}

TEST_F(Rescue, ADirtyHiveWithNoLogIsShownWithAWarningAndNeverChanged) {
    const std::wstring hive = HiveFile(L"stale\\SOFTWARE");
    LaunchWith({hive});
    AnswerOk(L"可能不是它的最新状态", L"rescue-stale-warning");
    ASSERT_FALSE(Lines().empty());
    ClickLine(0);
    ClickButton(IDC_CMDDELETE);
    AnswerOk(L"不能修改");
    EXPECT_FALSE(Lines().empty());
    CloseAndExpectExit();
    EXPECT_TRUE(FilesBeside(hive, L".vornex-backup-").empty());
}

}  // namespace
}  // namespace vornex::e2e
