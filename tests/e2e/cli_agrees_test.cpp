// vornex-cli.exe on the live registry lists what the window lists, with the
// same commands, and its repair changes what the window's button changes.
#include <algorithm>
#include <map>

#include "tests/e2e/cli_run.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/e2e/test_options.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

class CliAgrees : public VornexE2E {
protected:
    void SetUp() override {
        VornexE2E::SetUp();
        if (Options().cli.empty()) GTEST_SKIP() << "no --cli given";
    }
};

TEST_F(CliAgrees, ScanJsonListsWhatTheWindowLists) {
    Redirect(L"notepad.exe", L"C:\\evil\\n.exe");
    Redirect(L"c\u0101lc.exe", L"\"C:\\Program Files\\x.exe\" -q");
    Redirect(L"shout.exe", L"s.exe", L"DEBUGGER");
    Redirect(L"exe.\u202Egpj", L"rlo.exe");
    Redirect(L"expand.exe", L"%x%", L"Debugger", REG_EXPAND_SZ);
    Redirect(L"Your Image File Name Here without a path", L"t.exe");

    const CliRun run = RunCli({L"scan", L"--json"});
    EXPECT_EQ(run.exitCode, 1u) << "redirections found";
    std::map<std::wstring, std::wstring> fromCli;
    const std::string entries = run.out.substr(std::min(run.out.size(), run.out.find("\"entries\"")));
    const auto names = JsonStrings(entries, "name");
    const auto commands = JsonStrings(entries, "command");
    ASSERT_EQ(names.size(), commands.size()) << run.out;
    for (std::size_t i = 0; i < names.size(); ++i) fromCli[names[i]] = commands[i];

    Launch();
    std::map<std::wstring, std::wstring> fromWindow;
    const std::vector<std::wstring> lines = ListBoxLines(Ctl(IDC_LSTLISTKEY));
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        ClickLine(i);
        const std::wstring advice = TextOfCtl(IDC_TXTDETAIL);
        const std::wstring& name = lines[static_cast<std::size_t>(i)];
        const std::size_t from = name.size() + std::wstring(L"被重定向到").size();
        fromWindow[name] = advice.substr(from, advice.find(L"，如没有安装") - from);
    }
    CloseAndExpectExit();
    EXPECT_EQ(fromCli.size(), 4u) << "exit " << run.exitCode << " output: " << run.out << run.err;
    EXPECT_TRUE(fromCli == fromWindow) << run.out;
}

TEST_F(CliAgrees, RepairChangesWhatTheWindowsButtonChanges) {
    Redirect(L"a.exe", L"x.exe");
    SetString(HKEY_LOCAL_MACHINE, SubkeyPath(L"a.exe"), L"MitigationOptions", L"keep");
    Redirect(L"b.exe", L"y.exe");
    const RegSnapshot before = IfeoSnapshot();
    const CliRun dry = RunCli({L"--dry-run", L"repair", L"a.exe"});
    EXPECT_EQ(Diff(before, IfeoSnapshot()), L"") << "a dry run changes nothing: " << dry.out;
    const CliRun run = RunCli({L"repair", L"a.exe"});
    EXPECT_EQ(run.exitCode, 1u) << "b.exe is still redirected: " << run.out << run.err;
    RegSnapshot expected = before;
    expected.RemoveValue(L"a.exe", L"Debugger");
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");
    EXPECT_EQ(RunCli({L"repair", L"not-listed.exe"}).exitCode, 2u);
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");
}

}  // namespace
}  // namespace vornex::e2e
