// vornex-cli.exe on the live registry lists what the window lists, with the
// same commands, and its repair changes what the window's button changes.
#include <algorithm>
#include <map>

#include "tests/e2e/e2e_fixture.h"
#include "tests/e2e/test_options.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

struct CliRun {
    DWORD exitCode = 0xFFFF;
    std::string out;
};

// Runs vornex-cli.exe with its standard output in a file, as a script would.
CliRun RunCli(const std::vector<std::wstring>& args) {
    static int runs = 0;
    const std::wstring outPath = JoinPath(Options().out.empty() ? L"." : Options().out,
                                          L"cli-out-" + std::to_wstring(++runs) + L".txt");
    // Shared both ways: a console helper process may hold the inherited handle a little longer.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Handle file(CreateFileW(outPath.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(file.valid()) << "error " << GetLastError();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file.get();
    startup.hStdError = file.get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = BuildCommandLine(Options().cli, args);
    PROCESS_INFORMATION info{};
    CliRun run;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup, &info)) {
        ADD_FAILURE() << "vornex-cli.exe did not start: " << GetLastError();
        return run;
    }
    Handle process(info.hProcess);
    Handle thread(info.hThread);
    EXPECT_EQ(WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0);
    GetExitCodeProcess(process.get(), &run.exitCode);
    file.reset();
    Handle reader(CreateFileW(outPath.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) run.out.append(buffer, got);
    return run;
}

std::wstring FromUtf8(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// The string values of every "key": "..." pair, JSON escapes undone.
std::vector<std::wstring> JsonStrings(const std::string& json, const std::string& key) {
    std::vector<std::wstring> values;
    const std::string marker = "\"" + key + "\"";
    for (std::size_t at = json.find(marker); at != std::string::npos; at = json.find(marker, at + 1)) {
        std::size_t p = json.find('"', json.find(':', at + marker.size()));
        std::string raw;
        for (++p; p < json.size() && json[p] != '"'; ++p) {
            if (json[p] != '\\') {
                raw.push_back(json[p]);
                continue;
            }
            const char escaped = json[++p];
            if (escaped == 'u') {
                const auto unit = static_cast<wchar_t>(std::stoi(json.substr(p + 1, 4), nullptr, 16));
                raw += "\x01" + std::to_string(static_cast<int>(unit)) + "\x01";
                p += 4;
            } else {
                raw.push_back(escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped);
            }
        }
        // Put the \u units back in after the UTF-8 decoding of the rest.
        std::wstring value;
        std::size_t start = 0;
        while (start < raw.size()) {
            const std::size_t open = raw.find('\x01', start);
            value += FromUtf8(raw.substr(start, open - start));
            if (open == std::string::npos) break;
            const std::size_t close = raw.find('\x01', open + 1);
            value.push_back(static_cast<wchar_t>(std::stoi(raw.substr(open + 1, close - open - 1))));
            start = close + 1;
        }
        values.push_back(value);
    }
    return values;
}

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
    EXPECT_EQ(fromCli.size(), 4u) << "exit " << run.exitCode << " output: " << run.out;
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
    EXPECT_EQ(run.exitCode, 1u) << "b.exe is still redirected: " << run.out;
    RegSnapshot expected = before;
    expected.RemoveValue(L"a.exe", L"Debugger");
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");
    EXPECT_EQ(RunCli({L"repair", L"not-listed.exe"}).exitCode, 2u);
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");
}

}  // namespace
}  // namespace vornex::e2e
