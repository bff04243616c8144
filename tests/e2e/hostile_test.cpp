// Odd registry contents seeded into the real registry: the program lists
// exactly the string Debugger values, under their exact names, and a repair
// hits exactly the named key.
#include <map>

#include "tests/e2e/e2e_fixture.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

class HostileRegistry : public VornexE2E {
protected:
    static void SetRaw(const std::wstring& key, const std::wstring& name, DWORD type, std::vector<BYTE> data) {
        SetValue(HKEY_LOCAL_MACHINE, SubkeyPath(key), name, type, data.data(), static_cast<DWORD>(data.size()));
    }
    std::vector<std::wstring> Lines() { return ListBoxLines(Ctl(IDC_LSTLISTKEY)); }
    static std::vector<std::wstring> Keys(const std::map<std::wstring, std::wstring>& m) {
        std::vector<std::wstring> keys;
        for (const auto& entry : m) keys.push_back(entry.first);
        return keys;
    }
};

TEST_F(HostileRegistry, OddNamesAndValuesAreListedExactly) {
    std::map<std::wstring, std::wstring> expected = {
        {std::wstring(251, L'n') + L".exe", L"long-name.exe"},
        {L"\U0001F600smile.exe", L"emoji.exe"},
        {L"cafe\u0301.exe", L"combining.exe"},
        {L"exe.\u202Egpj", L"rlo.exe"},
        {L"trailing.exe ", L"space.exe"},
        {L"trailing.exe.", L"dot.exe"},
        {L"\uFF43alc.exe", L"fullwidth.exe"},
        {L"long-values.exe", L"after-long-names.exe"},
        {L"unterminated.exe", L"abc"},
        {L"embedded-nul.exe", L"first"},
        {L"big.exe", std::wstring(100000, L'q')},
    };
    for (const auto& [name, command] : expected) {
        if (name == L"long-values.exe" || name == L"unterminated.exe" || name == L"embedded-nul.exe") continue;
        Redirect(name, command);
    }
    SetString(HKEY_LOCAL_MACHINE, SubkeyPath(L"long-values.exe"), std::wstring(16383, L'b'), L"before");
    Redirect(L"long-values.exe", L"after-long-names.exe");
    SetRaw(L"unterminated.exe", L"Debugger", REG_SZ, {'a', 0, 'b', 0, 'c', 0});
    SetRaw(L"embedded-nul.exe", L"Debugger", REG_SZ, {'f', 0, 'i', 0, 'r', 0, 's', 0, 't', 0, 0, 0, 'x', 0});
    SetRaw(L"odd.exe", L"Debugger", REG_BINARY, {1, 2, 3});
    SetRaw(L"dword.exe", L"Debugger", REG_DWORD, {1, 0, 0, 0});
    SetRaw(L"multi.exe", L"Debugger", REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0});
    SetRaw(L"none.exe", L"Debugger", REG_NONE, {});
    Redirect(L"expand.exe", L"x", L"Debugger", REG_EXPAND_SZ);
    const RegSnapshot before = IfeoSnapshot();

    Launch();
    const std::vector<std::wstring> lines = Lines();
    EXPECT_EQ(lines, SortedLikeTheList(Keys(expected)));
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        if (lines[static_cast<std::size_t>(i)] == L"big.exe") continue;  // checked below, once
        ClickLine(i);
        const std::wstring advice = TextOfCtl(IDC_TXTDETAIL);
        const std::wstring& command = expected[lines[static_cast<std::size_t>(i)]];
        EXPECT_NE(advice.find(L"被重定向到" + command + L"，"), std::wstring::npos)
            << "line " << i << " leads to another command: " << Quoted(advice);
    }
    Screenshot(L"hostile-names");
    CloseAndExpectExit();
    EXPECT_EQ(Diff(before, IfeoSnapshot()), L"");
}

TEST_F(HostileRegistry, DeletingALookAlikeLeavesTheRealKey) {
    Redirect(L"calc.exe", L"legit.exe");
    Redirect(L"c\u0101lc.exe", L"evil.exe");
    const RegSnapshot before = IfeoSnapshot();
    Launch();
    const std::vector<std::wstring> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    const int lookAlike = lines[0] == L"c\u0101lc.exe" ? 0 : 1;
    ClickLine(lookAlike);
    ClickButton(IDC_CMDDELETE1);
    HWND box = nullptr;
    EXPECT_EQ(ExpectMessageBox(&box).text, L"已成功删除！");
    ASSERT_NE(box, nullptr);
    Answer(box, IDOK);
    RegSnapshot expected = before;
    expected.RemoveKey(L"c\u0101lc.exe");
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");
    EXPECT_TRUE(WaitUntil([&] { return Lines() == std::vector<std::wstring>{L"calc.exe"}; }, 3000));
    CloseAndExpectExit();
}

TEST_F(HostileRegistry, TenThousandSubkeysWith250RedirectionsFillTheTable) {
    std::map<std::wstring, std::wstring> commands;
    for (int i = 0; i < 10000; ++i) {
        const std::wstring name = L"k" + std::to_wstring(i) + L".exe";
        if (i % 40 == 0) {
            commands[name] = L"c" + std::to_wstring(i);
            Redirect(name, commands[name]);
        } else {
            SetDword(HKEY_LOCAL_MACHINE, SubkeyPath(name), L"GlobalFlag", 0x200);
        }
    }
    Launch();
    ASSERT_TRUE(WaitUntil([&] { return ListBoxCount(Ctl(IDC_LSTLISTKEY)) == 201; }, 10000));
    EXPECT_EQ(TextOfCtl(IDC_LBLCOUNT), L"被重定向的应用程序 201 个，点击文件名查看重定向数据。");
    const std::vector<std::wstring> lines = Lines();
    EXPECT_EQ(lines, SortedLikeTheList(lines));
    for (const auto& line : lines) EXPECT_TRUE(commands.count(line)) << Quoted(line);
    ClickLine(200);
    EXPECT_NE(TextOfCtl(IDC_TXTDETAIL).find(L"被重定向到" + commands[lines[200]] + L"，"), std::wstring::npos);
    CloseAndExpectExit();
}

}  // namespace
}  // namespace vornex::e2e
