// vornex-cli.exe on entries made to resist the repairs: keys whose own
// security refuses change and registry links to keys outside the IFEO key.
// Every output line and exit code is checked, the registry and the keys'
// security compared before and after, and each dry run against the real run.
#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/cli_run.h"
#include "tests/e2e/guarded_fixture.h"
#include "tests/e2e/test_options.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

const std::wstring kReadOnlyCommand = L"\"C:\\Users\\Public\\ro payload.exe\" --stay";
const std::wstring kLinkCommand = L"C:\\ProgramData\\x\\through-the-link.exe /q";
const std::wstring kPlainCommand = L"plain-hijack.exe";

std::string Line(const std::wstring& text) { return Utf8(text); }

// A dry run's line as the real run words it.
std::string AsDone(const std::string& line) {
    for (const auto& [would, did] : {std::pair<std::string, std::string>{"would take over ", "took over "},
                                     {"would restore ", "restored "},
                                     {"would delete ", "deleted "}}) {
        if (line.compare(0, would.size(), would) == 0) return did + line.substr(would.size());
    }
    return "(not a dry-run line) " + line;
}

std::string QuotedLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) out += "\n    [" + line + "]";
    return out;
}

class CliGuarded : public GuardedE2E {
protected:
    void SetUp() override {
        GuardedE2E::SetUp();
        if (Options().cli.empty()) GTEST_SKIP() << "no --cli given";
    }

    // ro.exe (read-only with `sddl`), linked.exe (a link to a target outside
    // the IFEO key, locked itself when asked), plain.exe, and a subkey
    // without a Debugger value.
    void SeedAll(const std::wstring& sddl, bool lockedLink = false) {
        SeedReadOnly(L"ro.exe", kReadOnlyCommand, sddl);
        target_ = SeedTarget(kLinkCommand);
        SeedLink(L"linked.exe", target_);
        if (lockedLink) SetKeySecuritySddl(HKEY_LOCAL_MACHINE, SubkeyPath(L"linked.exe"), kLockedSddl, true);
        Redirect(L"plain.exe", kPlainCommand);
        SetString(HKEY_LOCAL_MACHINE, SubkeyPath(L"unlisted.exe"), L"GlobalFlag", L"0");
        ASSERT_EQ(OpenError(L"ro.exe", KEY_SET_VALUE), ERROR_ACCESS_DENIED) << "the fixture must refuse change";
        if (lockedLink) {
            ASSERT_EQ(OpenError(L"linked.exe", DELETE, true), ERROR_ACCESS_DENIED) << "the link must refuse deletion";
        }
        Capture();
    }
    // The registry and the security of every key involved, as they are now.
    void Capture() {
        ifeo_ = IfeoSnapshot();
        targetBefore_ = SnapshotOf(target_);
        roSecurity_ = EntrySecurity(L"ro.exe");
        roSddl_ = EntrySddl(L"ro.exe");
        linkSecurity_ = EntrySecurity(L"linked.exe", true);
        targetSecurity_ = GetKeySecurityBytes(HKEY_LOCAL_MACHINE, target_);
        ifeoSecurity_ = GetKeySecurityBytes(HKEY_LOCAL_MACHINE, kIfeoPath);
    }
    // Nothing changed since Capture(), but for the expected IFEO state.
    void ExpectUnchangedBut(const RegSnapshot& expectedIfeo, const std::string& after) {
        EXPECT_EQ(Diff(expectedIfeo, IfeoSnapshot()), L"") << "after " << after;
        EXPECT_EQ(Diff(targetBefore_, SnapshotOf(target_)), L"") << "the link's target changed after " << after;
        EXPECT_TRUE(GetKeySecurityBytes(HKEY_LOCAL_MACHINE, target_) == targetSecurity_)
            << "the target's security changed after " << after;
        EXPECT_TRUE(GetKeySecurityBytes(HKEY_LOCAL_MACHINE, kIfeoPath) == ifeoSecurity_)
            << "the IFEO key's security changed after " << after;
        if (KeyItselfExists(HKEY_LOCAL_MACHINE, SubkeyPath(L"ro.exe"))) {
            EXPECT_EQ(EntrySddl(L"ro.exe"), roSddl_) << "after " << after;
            EXPECT_TRUE(EntrySecurity(L"ro.exe") == roSecurity_) << "ro.exe's security changed after " << after;
        }
        if (KeyItselfExists(HKEY_LOCAL_MACHINE, SubkeyPath(L"linked.exe"))) {
            EXPECT_TRUE(EntrySecurity(L"linked.exe", true) == linkSecurity_)
                << "the link's own security changed after " << after;
        }
    }
    // Runs the dry run, then the real run, of one repair; expects the real
    // run's change lines, the count left and the exit code; the dry run must
    // say the same with "would " and change nothing.
    void RepairAndCompare(const std::vector<std::wstring>& args, const std::vector<std::string>& changes,
                          const std::string& left, unsigned long exitCode, const RegSnapshot& expectedIfeo) {
        // These runs are about key security; the undo file has its own suite.
        std::vector<std::wstring> dryArgs{L"--no-undo", L"--dry-run"};
        dryArgs.insert(dryArgs.end(), args.begin(), args.end());
        const CliRun dry = RunCli(dryArgs);
        EXPECT_EQ(dry.exitCode, 1u) << "a dry run leaves every entry: " << dry.out << dry.err;
        EXPECT_EQ(dry.err, "");
        std::vector<std::string> dryAsDone;
        for (const auto& line : LinesOf(dry.out)) dryAsDone.push_back(AsDone(line));
        EXPECT_EQ(dryAsDone, changes) << "the dry run's lines, as the real run would word them:" << QuotedLines(LinesOf(dry.out));
        ExpectUnchangedBut(ifeo_, "the dry run");

        std::vector<std::wstring> runArgs{L"--no-undo"};
        runArgs.insert(runArgs.end(), args.begin(), args.end());
        const CliRun run = RunCli(runArgs);
        EXPECT_EQ(run.exitCode, exitCode) << run.out << run.err;
        EXPECT_EQ(run.err, "");
        std::vector<std::string> expected = changes;
        expected.push_back(left);
        EXPECT_EQ(LinesOf(run.out), expected) << "got:" << QuotedLines(LinesOf(run.out));
        ExpectUnchangedBut(expectedIfeo, "the repair");
    }

    static std::string TookOver(const std::wstring& name) {
        return Line(L"took over the security of " + CliKeyName(name) + L" (administrators: full control)");
    }
    static std::string Restored(const std::wstring& name) {
        return Line(L"restored the security of " + CliKeyName(name) + L" as it was");
    }
    static std::string DeletedValue(const std::wstring& name) {
        return Line(L"deleted value Debugger of " + CliKeyName(name));
    }
    static std::string DeletedKey(const std::wstring& name) { return Line(L"deleted key " + CliKeyName(name)); }
    static std::string DeletedLink(const std::wstring& name) {
        return Line(L"deleted link key " + CliKeyName(name) + L" (not what it points at)");
    }

    std::wstring target_;
    RegSnapshot ifeo_;
    RegSnapshot targetBefore_;
    std::vector<BYTE> roSecurity_;
    std::wstring roSddl_;
    std::vector<BYTE> linkSecurity_;
    std::vector<BYTE> targetSecurity_;
    std::vector<BYTE> ifeoSecurity_;
};

std::string CsvField(const std::wstring& text) {
    std::string out = "\"";
    for (char c : Utf8(text)) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

TEST_F(CliGuarded, ScanListsTheReadOnlyEntryAndMarksTheLinkInEveryFormat) {
    ASSERT_NO_FATAL_FAILURE(SeedAll(kLockedSddl));
    const std::wstring link = NtMachinePath(target_);
    const std::vector<std::wstring> names = SortedLikeTheList({L"linked.exe", L"plain.exe", L"ro.exe"});
    const auto commandOf = [&](const std::wstring& name) {
        return name == L"ro.exe" ? kReadOnlyCommand : name == L"plain.exe" ? kPlainCommand : kLinkCommand;
    };

    const CliRun text = RunCli({L"scan"});
    EXPECT_EQ(text.exitCode, 1u) << text.err;
    EXPECT_EQ(text.err, "");
    // Names padded to the longest, two spaces, the command.
    std::size_t width = 0;
    for (const auto& name : names) width = std::max(width, name.size());
    std::vector<std::string> expectedText;
    for (const auto& name : names) {
        std::wstring row = name + std::wstring(width + 2 - name.size(), L' ') + commandOf(name);
        if (name == L"linked.exe") row += L"  (through a registry link to " + link + L")";
        expectedText.push_back(Line(row));
    }
    EXPECT_EQ(LinesOf(text.out), expectedText) << "got:" << QuotedLines(LinesOf(text.out));

    const CliRun json = RunCli({L"scan", L"--json"});
    EXPECT_EQ(json.exitCode, 1u) << json.err;
    const std::string entries = json.out.substr(std::min(json.out.size(), json.out.find("\"entries\"")));
    EXPECT_EQ(JsonStrings(entries, "name"), names) << json.out;
    std::vector<std::wstring> commands;
    std::vector<std::wstring> links;
    for (const auto& name : names) {
        commands.push_back(commandOf(name));
        links.push_back(name == L"linked.exe" ? link : L"");
    }
    EXPECT_EQ(JsonStrings(entries, "command"), commands) << json.out;
    EXPECT_EQ(JsonStrings(entries, "link"), links) << json.out;
    EXPECT_NE(json.out.find("\"complete\": true"), std::string::npos) << json.out;

    const CliRun csv = RunCli({L"scan", L"--csv"});
    EXPECT_EQ(csv.exitCode, 1u) << csv.err;
    std::vector<std::string> expectedCsv{"kind,name,command,key,detail,link"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        expectedCsv.push_back("debugger," + CsvField(names[i]) + "," + CsvField(commands[i]) + "," +
                              CsvField(CliKeyName(names[i])) + ",\"\"," + CsvField(links[i]));
    }
    EXPECT_EQ(LinesOf(csv.out), expectedCsv) << "got:" << QuotedLines(LinesOf(csv.out));

    ExpectUnchangedBut(ifeo_, "the scans");
}

struct CliGuard {
    const char* label;
    std::wstring sddl;
    bool deletionRefused;  // under Wine only a foreign owner refuses DELETE
};

void PrintTo(const CliGuard& guard, std::ostream* os) { *os << guard.label; }

class CliReadOnly : public CliGuarded, public ::testing::WithParamInterface<CliGuard> {};

TEST_P(CliReadOnly, RepairTakesOverRemovesOnlyTheValueAndPutsTheSecurityBack) {
    ASSERT_NO_FATAL_FAILURE(SeedAll(GetParam().sddl));
    RegSnapshot expected = ifeo_;
    ASSERT_TRUE(expected.RemoveValue(L"ro.exe", L"Debugger"));
    RepairAndCompare({L"repair", L"ro.exe"}, {TookOver(L"ro.exe"), DeletedValue(L"ro.exe"), Restored(L"ro.exe")},
                     "2 redirections left", 1, expected);
    EXPECT_EQ(OpenError(L"ro.exe", KEY_SET_VALUE), ERROR_ACCESS_DENIED) << "it still refuses change";
}

TEST_P(CliReadOnly, DeleteRemovesTheWholeKey) {
    ASSERT_NO_FATAL_FAILURE(SeedAll(GetParam().sddl));
    if (GetParam().deletionRefused) {
        ASSERT_EQ(OpenError(L"ro.exe", DELETE), ERROR_ACCESS_DENIED);
    }
    RegSnapshot expected = ifeo_;
    ASSERT_TRUE(expected.RemoveKey(L"ro.exe"));
    // Where the key allows its deletion there is nothing to take over.
    std::vector<std::string> changes;
    if (GetParam().deletionRefused) changes.push_back(TookOver(L"ro.exe"));
    changes.push_back(DeletedKey(L"ro.exe"));
    RepairAndCompare({L"delete", L"ro.exe"}, changes, "2 redirections left", 1, expected);
    EXPECT_FALSE(KeyItselfExists(HKEY_LOCAL_MACHINE, SubkeyPath(L"ro.exe")));
}

INSTANTIATE_TEST_SUITE_P(Guarded, CliReadOnly,
                         ::testing::Values(CliGuard{"SystemOwnedAdministratorsMayRewriteTheDacl", kLockedSddl, true},
                                           CliGuard{"ReadOnlyDaclOfOurOwn", kReadOnlySddl, false}),
                         [](const ::testing::TestParamInfo<CliGuard>& param) { return std::string(param.param.label); });

struct CliLinkCase {
    const char* label;
    const wchar_t* command;
    bool locked;
};

void PrintTo(const CliLinkCase& c, std::ostream* os) { *os << c.label; }

class CliLink : public CliGuarded, public ::testing::WithParamInterface<CliLinkCase> {};

TEST_P(CliLink, RemovesTheLinkItselfAndNeverItsTarget) {
    ASSERT_NO_FATAL_FAILURE(SeedAll(kReadOnlySddl, GetParam().locked));
    RegSnapshot expected = ifeo_;
    ASSERT_TRUE(expected.RemoveKey(L"linked.exe"));
    std::vector<std::string> changes;
    if (GetParam().locked) changes.push_back(TookOver(L"linked.exe"));
    changes.push_back(DeletedLink(L"linked.exe"));
    RepairAndCompare({GetParam().command, L"linked.exe"}, changes, "2 redirections left", 1, expected);
    EXPECT_FALSE(KeyItselfExists(HKEY_LOCAL_MACHINE, SubkeyPath(L"linked.exe"))) << "the link itself is gone";
}

INSTANTIATE_TEST_SUITE_P(Guarded, CliLink,
                         ::testing::Values(CliLinkCase{"Repair", L"repair", false},
                                           CliLinkCase{"Delete", L"delete", false},
                                           CliLinkCase{"RepairOfALockedLink", L"repair", true},
                                           CliLinkCase{"DeleteOfALockedLink", L"delete", true}),
                         [](const ::testing::TestParamInfo<CliLinkCase>& param) {
                             return std::string(param.param.label);
                         });

// The link's own security is left open here: a locked link is the CliLink cases'.
TEST_F(CliGuarded, DeleteAllRemovesEveryEntryAndNothingOutsideThemExitingZero) {
    ASSERT_NO_FATAL_FAILURE(SeedAll(kLockedSddl));
    RegSnapshot expected = ifeo_;
    std::vector<std::string> changes;
    for (const auto& name : SortedLikeTheList({L"linked.exe", L"plain.exe", L"ro.exe"})) {
        ASSERT_TRUE(expected.RemoveKey(name));
        if (name == L"linked.exe") {
            changes.push_back(DeletedLink(name));
        } else if (name == L"ro.exe") {
            changes.push_back(TookOver(name));
            changes.push_back(DeletedKey(name));
        } else {
            changes.push_back(DeletedKey(name));
        }
    }
    RepairAndCompare({L"--yes", L"delete-all"}, changes, "0 redirections left", 0, expected);
    ASSERT_NE(expected.FindKey(L"unlisted.exe"), nullptr);
}

// A locked key with a subkey: the registry refuses its deletion whatever its
// security, so its security is not taken over at all.
TEST_F(CliGuarded, ARefusedDeletionExitsThreeAndLeavesTheSecurityAsItWas) {
    SeedReadOnly(L"nested.exe", kReadOnlyCommand, kLockedSddl, true);
    ASSERT_EQ(OpenError(L"nested.exe", DELETE), ERROR_ACCESS_DENIED);
    const RegSnapshot before = IfeoSnapshot();
    const std::vector<BYTE> security = EntrySecurity(L"nested.exe");
    const std::wstring sddl = EntrySddl(L"nested.exe");

    const CliRun run = RunCli({L"--no-undo", L"delete", L"nested.exe"});
    EXPECT_EQ(run.exitCode, 3u) << run.out << run.err;
    EXPECT_EQ(LinesOf(run.out), std::vector<std::string>{}) << "got:" << QuotedLines(LinesOf(run.out));
    EXPECT_EQ(LinesOf(run.err),
              std::vector<std::string>{Line(L"vornex-cli: could not delete key " + CliKeyName(L"nested.exe") +
                                            L": it has subkeys of its own, and only a key without subkeys is deleted "
                                            L"(vornex-cli repair nested.exe removes its Debugger value only) (error 1020)")});
    EXPECT_EQ(Diff(before, IfeoSnapshot()), L"");
    EXPECT_EQ(EntrySddl(L"nested.exe"), sddl);
    EXPECT_TRUE(EntrySecurity(L"nested.exe") == security) << "a failed deletion leaves the security as it was";
}

TEST_F(CliGuarded, AKeyThatRefusesReadingMakesTheScanAndTheRepairIncomplete) {
    SeedReadOnly(L"ro.exe", kReadOnlyCommand, kLockedSddl);
    Redirect(L"hidden.exe", L"hidden-hijack.exe");
    SetKeySecuritySddl(HKEY_LOCAL_MACHINE, SubkeyPath(L"hidden.exe"), L"D:P(D;;KA;;;WD)");
    ASSERT_EQ(OpenError(L"hidden.exe", KEY_READ), ERROR_ACCESS_DENIED) << "the fixture must refuse reading";
    const RegSnapshot before = IfeoSnapshot();
    const std::vector<BYTE> hiddenSecurity = EntrySecurity(L"hidden.exe");
    const std::string unread = Line(L"incomplete: could not read " + CliKeyName(L"hidden.exe") + L" (open-subkey, error 5)");
    const std::string incomplete =
        "vornex-cli: the scan is incomplete: 1 place could not be read, so what is listed may not be all";

    const CliRun scan = RunCli({L"scan"});
    EXPECT_EQ(scan.exitCode, 4u) << scan.out << scan.err;
    EXPECT_EQ(LinesOf(scan.out), (std::vector<std::string>{Line(L"ro.exe  " + kReadOnlyCommand), unread}))
        << "got:" << QuotedLines(LinesOf(scan.out));
    EXPECT_EQ(LinesOf(scan.err), std::vector<std::string>{incomplete});
    EXPECT_EQ(Diff(before, IfeoSnapshot()), L"");

    const CliRun run = RunCli({L"--no-undo", L"repair", L"ro.exe"});
    EXPECT_EQ(run.exitCode, 4u) << "nothing is left that could be read, but not all could: " << run.out << run.err;
    EXPECT_EQ(LinesOf(run.out), (std::vector<std::string>{TookOver(L"ro.exe"), DeletedValue(L"ro.exe"),
                                                          Restored(L"ro.exe"), "0 redirections left", unread}))
        << "got:" << QuotedLines(LinesOf(run.out));
    EXPECT_EQ(LinesOf(run.err), std::vector<std::string>{incomplete});
    RegSnapshot expected = before;
    ASSERT_TRUE(expected.RemoveValue(L"ro.exe", L"Debugger"));
    EXPECT_EQ(Diff(expected, IfeoSnapshot()), L"");
    EXPECT_TRUE(EntrySecurity(L"hidden.exe") == hiddenSecurity) << "the unread key's security changed";
}

// Wine refuses the backup-intent open too, so the scan names the key and
// never says "nothing found".
TEST_F(CliGuarded, AKeyDenyingTheAdministratorsIsNamedAndTheScanExitsFour) {
    Redirect(L"hidden.exe", L"hidden-hijack.exe");
    SetKeySecuritySddl(HKEY_LOCAL_MACHINE, SubkeyPath(L"hidden.exe"), kDenyAdministratorsSddl);
    ASSERT_EQ(OpenError(L"hidden.exe", KEY_READ), ERROR_ACCESS_DENIED) << "the fixture must refuse reading";
    const RegSnapshot before = IfeoSnapshot();

    const CliRun scan = RunCli({L"scan"});
    EXPECT_EQ(scan.exitCode, 4u) << scan.out << scan.err;
    EXPECT_EQ(LinesOf(scan.out), std::vector<std::string>{Line(L"incomplete: could not read " +
                                                               CliKeyName(L"hidden.exe") + L" (open-subkey, error 5)")})
        << "got:" << QuotedLines(LinesOf(scan.out));
    EXPECT_EQ(Diff(before, IfeoSnapshot()), L"");
}

}  // namespace
}  // namespace vornex::e2e
