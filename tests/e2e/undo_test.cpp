// Windows' own importer is the oracle of the undo file: every repair of the
// real programs is undone by `reg import` of the file it wrote, and the IFEO
// key then holds, name by name and byte by byte, what it held before.
#include <algorithm>

#include "tests/e2e/cli_run.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/e2e/test_options.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

const std::wstring kFormsKey = L"forms \"q\" ]x= \u4E2D\U0001F600 .exe";
const std::wstring kPlainKey = L"plain.exe";

// A literal's characters with its NUL, or without it.
template <std::size_t N>
std::vector<BYTE> Bytes(const wchar_t (&text)[N], bool withNul = true) {
    const auto* begin = reinterpret_cast<const BYTE*>(text);
    return std::vector<BYTE>(begin, begin + (withNul ? N : N - 1) * sizeof(wchar_t));
}

// Every value and name form the file must carry.
std::vector<RegValue> Forms() {
    return {
        {L"Debugger", REG_SZ, Bytes(L"\"C:\\evil dir\\x.exe\" -q")},
        {L"", REG_SZ, Bytes(L"default")},
        {L"expand", REG_EXPAND_SZ, Bytes(L"%SystemRoot%\\x")},
        {L"multi with empties", REG_MULTI_SZ, Bytes(L"a\0\0b\0")},
        {L"odd binary", REG_BINARY, {1, 2, 3}},
        {L"PerfOptions", REG_DWORD, {3, 0, 0, 0}},
        {L"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {L"none", REG_NONE, {}},
        {L"no NUL", REG_SZ, Bytes(L"abc", false)},
        {L"NUL inside", REG_SZ, Bytes(L"a\0b")},
        {L"odd string", REG_SZ, {0x61, 0, 0x62, 0, 0}},
        {L"line break inside", REG_SZ, Bytes(L"a\r\nb")},
        {L"type 0x1234", 0x1234, {9, 8, 7}},
        {L"\"q\\uo\\te]x=y", REG_SZ, Bytes(L"\\\"")},
        {L"  spaced  ", REG_SZ, Bytes(L"s")},
        {L"\u4E2D\u6587 \U0001F600", REG_SZ, Bytes(L"\u6587")},
        {L"one MiB", REG_BINARY, std::vector<BYTE>(1u << 20, 0x5A)},
    };
}

class UndoRoundTrip : public VornexE2E {
protected:
    void SetUp() override {
        VornexE2E::SetUp();
        if (Options().cli.empty()) GTEST_SKIP() << "no --cli given";
        // With a class name, which an import cannot give back: named on stderr.
        // The values through the same handle: under Wine 8 a later create
        // without a class (the driver's SetValue, reg import) clears it.
        HKEY created = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, SubkeyPath(kFormsKey).c_str(), 0, const_cast<wchar_t*>(L"cls"), 0,
                                  KEY_ALL_ACCESS, nullptr, &created, nullptr),
                  ERROR_SUCCESS);
        for (const RegValue& value : Forms()) {
            RegSetValueExW(created, value.name.c_str(), 0, value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size()));
        }
        RegCloseKey(created);
        Redirect(kPlainKey, L"y.exe");
        before_ = IfeoSnapshot();
    }
    // Imports the file as a double click would, and expects the key as it was.
    void ExpectImportRestores(const std::wstring& file) {
        ASSERT_FALSE(file.empty()) << "no undo file";
        ASSERT_NE(Diff(before_, IfeoSnapshot()), L"") << "the repair changed nothing";
        wchar_t system[MAX_PATH];
        GetSystemDirectoryW(system, MAX_PATH);
        Process reg = Process::Start(JoinPath(system, L"reg.exe"), {L"import", file});
        ASSERT_TRUE(reg.WaitForExit(60000));
        EXPECT_EQ(reg.ExitCode().value_or(99), 0u) << Utf8(file);
        EXPECT_EQ(Diff(before_, IfeoSnapshot()), L"") << Utf8(file);
    }
    static std::wstring UndoFileOf(const CliRun& run) {
        const std::string marker = "undo file: ";
        for (const std::string& line : LinesOf(run.out)) {
            if (line.rfind(marker, 0) == 0) return FromUtf8(line.substr(marker.size()));
        }
        return L"";
    }
    static std::wstring UndoFolder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        return JoinPath(temp, L"vornex-undo-test-" + std::to_wstring(GetCurrentProcessId()));
    }
    RegSnapshot before_;
};

TEST_F(UndoRoundTrip, EachCommandLineRepairIsUndoneByImportingItsFile) {
    const std::vector<std::vector<std::wstring>> commands = {
        {L"delete", kFormsKey}, {L"repair", kFormsKey}, {L"--yes", L"delete-all"}};
    for (const auto& command : commands) {
        std::vector<std::wstring> args = {L"--undo-dir", UndoFolder()};
        args.insert(args.end(), command.begin(), command.end());
        const CliRun run = RunCli(args);
        SCOPED_TRACE(run.out + run.err);
        EXPECT_LE(run.exitCode, 1u);
        // A deleted key's security is not imported: it is named on stderr.
        const bool deletes = command.front() != L"repair";
        EXPECT_EQ(run.err.find("the undo file cannot restore: security of") != std::string::npos, deletes);
        // Only the first sees the class: an import makes the key again without one.
        const bool first = &command == &commands.front();
        EXPECT_EQ(run.err.find("the undo file cannot restore: class name of") != std::string::npos, first);
        ExpectImportRestores(UndoFileOf(run));
    }
}

TEST_F(UndoRoundTrip, EachWindowDeletionIsUndoneByImportingItsFile) {
    const std::wstring beside = JoinPath(Options().exe.substr(0, Options().exe.find_last_of(L"\\/")), L"undo");
    for (int button : {IDC_CMDDELETE1, IDC_CMDFIX}) {
        Launch();
        ClickLine(0);
        ClickButton(button);
        HWND box = nullptr;
        if (button == IDC_CMDFIX) {
            ExpectMessageBox(&box);
            Answer(box, IDOK);
        }
        ExpectMessageBox(&box);
        Answer(box, IDOK);
        if (button == IDC_CMDFIX) {
            ExpectMessageBox(&box);
            Answer(box, IDOK);
        }
        CloseAndExpectExit();
        // The newest file of the folder beside the program is this action's.
        std::wstring newest;
        FILETIME newestTime{};
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW(JoinPath(beside, L"*.reg").c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE) << "no file beside the program";
        do {
            if (CompareFileTime(&found.ftLastWriteTime, &newestTime) >= 0) {
                newestTime = found.ftLastWriteTime;
                newest = JoinPath(beside, found.cFileName);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
        ExpectImportRestores(newest);
        DeleteFileW(newest.c_str());
    }
}

}  // namespace
}  // namespace vornex::e2e
