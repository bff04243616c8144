// vornex-cli.exe --hive under Wine, against the Linux build: the same output
// and exit code on every shared hive; repairs through the ways Windows names
// a file; a hive held open as a loaded one; what is no hive. The Linux side
// (tests/e2e/hive_cli_oracle.sh) writes what the Linux build said, lays out
// the copies to repair, and reads them back after this program has run.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/ifeo.h"
#include "tests/e2e/cli_run.h"
#include "win32/wide_text.h"
#include "tests/e2e/test_options.h"
#include "win_driver.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

const std::wstring kIfeo = win32::Wide(kIfeoKeyPath);

std::string Slurp(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::wstring Data(const std::wstring& name) { return JoinPath(Options().data, name); }

// Lines of a UTF-8 list of the Linux side, each split at its tabs.
std::vector<std::vector<std::wstring>> Rows(const std::wstring& list) {
    std::vector<std::vector<std::wstring>> rows;
    for (const std::string& line : LinesOf(Slurp(Data(list)))) {
        std::vector<std::wstring> fields;
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
            fields.push_back(FromUtf8(line.substr(start, tab - start)));
        }
        fields.push_back(FromUtf8(line.substr(start)));
        rows.push_back(fields);
    }
    return rows;
}

// How Wine names a Linux path: drive Z: is the root.
std::wstring ZPath(const std::wstring& unixPath) {
    std::wstring path = L"Z:" + unixPath;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; !from.empty() && (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The path as given, also as JSON writes it, becomes HIVE.
std::string WithoutPath(const std::string& text, const std::wstring& path) {
    const std::string plain = Utf8(path);
    return Replaced(Replaced(text, Replaced(plain, "\\", "\\\\"), "HIVE"), plain, "HIVE");
}

class HiveCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (Options().cli.empty() || Options().data.empty()) GTEST_SKIP() << "needs --cli and --data";
    }
};

TEST_F(HiveCli, SaysWhatTheLinuxBuildSaysOnEveryHive) {
    const auto hives = Rows(L"cases.txt");
    ASSERT_GT(hives.size(), 100u);
    const std::vector<std::wstring> commands[] = {{L"scan"}, {L"scan", L"--json"}};
    const wchar_t* kinds[] = {L"scan", L"json"};
    int listing = 0;
    for (std::size_t n = 0; n < hives.size(); ++n) {
        const std::wstring& unixPath = hives[n][0];
        for (int k = 0; k < 2; ++k) {
            std::vector<std::wstring> args = {L"--hive", ZPath(unixPath)};
            args.insert(args.end(), commands[k].begin(), commands[k].end());
            const CliRun run = RunCli(args);
            const std::wstring expected = Data(L"expected\\" + std::to_wstring(n + 1) + L"-" + kinds[k]);
            SCOPED_TRACE(Utf8(unixPath) + " " + Utf8(kinds[k]));
            EXPECT_EQ(std::to_string(run.exitCode) + "\n", Slurp(expected + L".rc"));
            EXPECT_EQ(WithoutPath(run.out, ZPath(unixPath)), WithoutPath(Slurp(expected + L".out"), unixPath));
            EXPECT_EQ(WithoutPath(run.err, ZPath(unixPath)), WithoutPath(Slurp(expected + L".err"), unixPath));
            if (run.exitCode == 1) ++listing;
        }
    }
    EXPECT_GE(listing, 4) << "the seeded hives list their redirections";
}

// Each copy of the seeded hive, named as a rescue would name it: a drive
// letter, a path relative to the current folder, a \\?\ path past 260
// characters through odd folder names, a link. The Linux side reads the
// results back (hive_cli_oracle.sh check).
TEST_F(HiveCli, RepairsThroughEveryKindOfPathWithTheBackupBeside) {
    const std::string original = Slurp(Data(L"fixture\\SOFTWARE"));
    ASSERT_GT(original.size(), 4096u);
    // The prefix's own registry has an entry of the same name: it must stay.
    SetString(HKEY_LOCAL_MACHINE, kIfeo + L"\\notepad.exe", L"Debugger", L"C:\\live.exe");
    const RegSnapshot live = Snapshot(HKEY_LOCAL_MACHINE, kIfeo);
    const auto copies = Rows(L"repairs.txt");
    ASSERT_EQ(copies.size(), 4u);
    for (const auto& copy : copies) {
        const std::wstring& path = copy[1];
        SCOPED_TRACE(Utf8(path));
        ASSERT_TRUE(SetCurrentDirectoryW(copy[2].empty() ? Options().data.c_str() : copy[2].c_str()));
        const CliRun run = RunCli({L"--hive", path, L"repair", L"notepad.exe"});
        EXPECT_EQ(run.exitCode, 1u) << "the other redirections are left: " << run.out << run.err;
        const std::string marker = "backup of the hive: ";
        const std::size_t at = run.out.find(marker);
        ASSERT_NE(at, std::string::npos) << run.out;
        const std::string backup = run.out.substr(at + marker.size(), run.out.find('\n', at) - at - marker.size());
        EXPECT_EQ(Slurp(FromUtf8(backup)), original) << backup;
        EXPECT_NE(Slurp(path), original) << "the hive is written";
        EXPECT_EQ(RunCli({L"--hive", path, L"repair", L"notepad.exe"}).exitCode, 2u) << "no longer listed";
    }
    EXPECT_EQ(Diff(live, Snapshot(HKEY_LOCAL_MACHINE, kIfeo)), L"");
}

// As Windows holds a hive it has loaded: no sharing at all. Reading is
// refused too, with its own line, and nothing is written.
TEST_F(HiveCli, AHiveHeldOpenWithoutSharingIsInUse) {
    const std::string original = Slurp(Data(L"fixture\\SOFTWARE"));
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring config = std::wstring(system) + L"\\config";
    CreateDirectoryW(config.c_str(), nullptr);
    struct Case {
        std::wstring path;
        std::vector<std::wstring> command;
        std::string says;
    };
    const Case cases[] = {
        {config + L"\\SOFTWARE", {L"scan"}, "in use by the running Windows"},
        {Data(L"held-SOFTWARE"), {L"repair", L"notepad.exe"}, "in use by another program"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.path));
        ASSERT_TRUE(CopyFileW(Data(L"fixture\\SOFTWARE").c_str(), c.path.c_str(), FALSE));
        Handle held(CreateFileW(c.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.valid());
        std::vector<std::wstring> args = {L"--hive", c.path};
        args.insert(args.end(), c.command.begin(), c.command.end());
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 2u);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(LinesOf(run.err).size(), 1u) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("without --hive"), std::string::npos) << run.err;
        held.reset();
        EXPECT_EQ(Slurp(c.path), original);
    }
}

// Nothing that is no hive file is read as one, waited on or written: one
// line, exit 2, whether it is read or would be changed.
TEST_F(HiveCli, WhatIsNoHiveFileIsOneLineAndExitTwo) {
    const std::wstring text = Data(L"cases.txt");
    const std::string before = Slurp(text);
    // The file layer's own test has every kind of device; here, what a
    // person might type.
    const std::wstring paths[] = {
        text, Options().data, L"CON", L"\\\\.\\PhysicalDrive0", L"Z:\\dev\\zero", L"D:\\no\\such\\SOFTWARE",
    };
    for (const std::wstring& path : paths) {
        for (const wchar_t* command : {L"scan", L"delete-all"}) {
            SCOPED_TRACE(Utf8(path) + " " + Utf8(command));
            const CliRun run = RunCli({L"--hive", path, L"--yes", command});
            EXPECT_EQ(run.exitCode, 2u) << run.out;
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(LinesOf(run.err).size(), 1u) << run.err;
        }
    }
    EXPECT_EQ(Slurp(text), before);
    WIN32_FIND_DATAW found{};
    const HANDLE backups = FindFirstFileW(Data(L"*.vornex-*").c_str(), &found);
    EXPECT_EQ(backups, INVALID_HANDLE_VALUE) << Utf8(found.cFileName);
    if (backups != INVALID_HANDLE_VALUE) FindClose(backups);
}

}  // namespace
}  // namespace vornex::e2e
