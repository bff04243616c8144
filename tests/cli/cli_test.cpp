// vornex-cli's parts over the in-memory registry: arguments, output, and the
// commands driving the window's handlers.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output.h"
#include "app/frm_main.h"
#include "core/ifeo.h"
#include "tests/doubles/memory_registry.h"
#include "tests/doubles/recording_undo.h"
#include "app/texts.h"
#include "tests/contract/display_escape_cases.h"
#include "tests/doubles/fake_window.h"

namespace vornex::testing {
namespace {

using namespace vornex::cli;

Options Parse(std::vector<Text> args) {
    Options options;
    std::string error;
    EXPECT_TRUE(ParseArguments(args, &options, &error)) << error;
    return options;
}

std::string ParseError(std::vector<Text> args) {
    Options options;
    std::string error;
    EXPECT_FALSE(ParseArguments(args, &options, &error));
    return error;
}

TEST(Arguments, CommandsOptionsAndNames) {
    Options scan = Parse({u"--hive", u"/mnt/SOFTWARE", u"scan", u"--all", u"--json"});
    EXPECT_EQ(scan.command, Command::kScan);
    EXPECT_EQ(scan.hive, "/mnt/SOFTWARE");
    EXPECT_TRUE(scan.all);
    EXPECT_EQ(scan.format, Format::kJson);
    Options repair = Parse({u"repair", u"\u4E2D.exe", u"--dry-run"});
    EXPECT_EQ(repair.command, Command::kRepair);
    EXPECT_EQ(repair.name, u"\u4E2D.exe");
    EXPECT_TRUE(repair.dryRun);
    EXPECT_EQ(Parse({u"delete", u"--", u"-odd.exe"}).name, u"-odd.exe");
    EXPECT_TRUE(Parse({u"--help"}).help);
    EXPECT_TRUE(Parse({u"--version"}).version);
}

TEST(Arguments, BadUsageIsRefusedWithAReason) {
    EXPECT_FALSE(ParseError({}).empty());
    EXPECT_FALSE(ParseError({u"frobnicate"}).empty());
    EXPECT_FALSE(ParseError({u"repair"}).empty());
    EXPECT_FALSE(ParseError({u"repair", u"a.exe", u"b.exe"}).empty());
    EXPECT_FALSE(ParseError({u"scan", u"a.exe"}).empty());
    EXPECT_FALSE(ParseError({u"--hive"}).empty());
    EXPECT_FALSE(ParseError({u"scan", u"--json", u"--csv"}).empty());
    EXPECT_FALSE(ParseError({u"scan", u"--bogus"}).empty());
    EXPECT_FALSE(ParseError({u"--hive", u"A", u"--hive", u"B", u"scan"}).empty());
    EXPECT_NE(ParseError({u"delete-all"}).find("--yes"), std::string::npos);
    EXPECT_FALSE(ParseError({u"--undo-dir"}).empty());
    EXPECT_FALSE(ParseError({u"--no-undo", u"--undo-dir", u"d", u"delete", u"a"}).empty());
    EXPECT_FALSE(ParseError({u"--hive", u"h", u"--undo-dir", u"d", u"delete", u"a"}).empty());
    EXPECT_FALSE(ParseError({u"--no-undo", u"scan"}).empty());
    EXPECT_EQ(Parse({u"delete-all", u"--yes"}).command, Command::kDeleteAll);
    EXPECT_EQ(Parse({u"delete-all", u"--dry-run"}).command, Command::kDeleteAll);
}

TEST(Output, JsonStringsEscapeQuotesBackslashesAndHiddenCharacters) {
    EXPECT_EQ(JsonString(u"C:\\a \"b\"\u202E\u4E2D"), "\"C:\\\\a \\\"b\\\"\\u202E\xE4\xB8\xAD\"");
}

// Every name the list shows is given back as printed, and no two names look alike.
TEST(Output, NamesAreShownApartAndTakenBackAsPrinted) {
    const Text names[] = {u"tab\tx.exe", u"a.exe ", u"a.exe", u" a.exe", u"foo.exe\\bar", u"foo.exe\\u005Cbar",
                          u"calc\u202Eexe", Text(1, char16_t(0xDC00)) + u"x", u"\u4E2D \u6587.exe"};
    std::set<Text> shown;
    for (const Text& name : names) {
        EXPECT_EQ(UnescapedName(EscapedName(name)), name) << ToUtf8(EscapedName(name));
        EXPECT_TRUE(shown.insert(EscapedName(name)).second) << ToUtf8(name);
        const Text shownName = EscapedName(name);
        EXPECT_TRUE(shownName.front() != u' ' && shownName.back() != u' ' && shownName.find(u'\t') == Text::npos);
    }
    EXPECT_EQ(Parse({u"repair", u"tab\\u0009x.exe"}).name, u"tab\tx.exe");
}

// An unreadable subkey is named as the window's notice names it (display_text_test).
TEST(Output, AnUnreadSubkeyIsNamedAsTheWindowNamesIt) {
    for (const DisplayCase& c : DisplayCases()) {
        ScanReport report;
        report.unread.push_back({ReadFailure::Step::kOpenSubkey, kIfeoKeyPath + u'\\' + c.stored, 5});
        const std::string line = "incomplete: could not read " + ToUtf8(KeyDisplay(kIfeoKeyPath + u'\\' + c.shown)) +
                                 " (open-subkey, error 5)\n";
        EXPECT_NE(ScanText(report).find(line), std::string::npos) << ScanText(report);
    }
}

// A store and the window's handlers on a fake window, to compare with.
class CliCommands : public ::testing::Test {
protected:
    CliCommands() {
        store.CreateKey(kIfeoKeyPath);
        source.registry = &store;
        source.path = u"memory";
    }
    void Redirect(const Text& name, const Text& command, const Text& valueName = u"Debugger",
                  std::uint32_t type = kRegSz) {
        store.SetString(kIfeoKeyPath + u'\\' + name, valueName, command, type);
    }
    Outcome Run(std::vector<Text> args) {
        Options options = Parse(std::move(args));
        Outcome outcome = RunCommand(options, source);
        EXPECT_EQ(store.OpenHandleCount(), 0u) << "a key was left open";
        return outcome;
    }
    std::string WindowListAsText() {
        FakeWindow window;
        LiveSession live(store, texts::kWindowTitle);
        FrmMain form(live, window);
        form.Form_Load();
        std::string out;
        std::size_t width = 0;
        for (const Text& line : window.lines) width = std::max(width, line.size());
        for (std::size_t i = 0; i < window.lines.size(); ++i) {
            out += ToUtf8(window.lines[i] + Text(width - window.lines[i].size(), u' ') + u"  " +
                          form.strDebugger[i]) + "\n";
        }
        return out;
    }
    MemoryRegistry store;
    Source source;
};

TEST_F(CliCommands, ScanListsExactlyWhatTheWindowLists) {
    Redirect(u"zeta.exe", u"C:\\z.exe -q");
    Redirect(u"Alpha.exe", u"\"C:\\Program Files\\a.exe\"", u"DEBUGGER");
    Redirect(u"expand.exe", u"C:\\x.exe", u"Debugger", 2);  // REG_EXPAND_SZ: not listed
    Redirect(kSampleSubkey, u"C:\\x.exe");          // the sample key: not listed
    Redirect(u"c\u0101lc.exe", u"C:\\\u4E2D.exe");
    store.CreateKey(kIfeoKeyPath + u"\\plain.exe");
    const Outcome outcome = Run({u"scan"});
    EXPECT_EQ(outcome.exitCode, kExitFound);
    EXPECT_EQ(outcome.out, WindowListAsText());
    EXPECT_EQ(outcome.out,
              "Alpha.exe  \"C:\\Program Files\\a.exe\"\n"
              "c\xC4\x81lc.exe   C:\\\xE4\xB8\xAD.exe\n"
              "zeta.exe   C:\\z.exe -q\n");
}

TEST_F(CliCommands, ExitCodesForNothingFoundAndAnUnreadableIfeoKey) {
    Outcome clean = Run({u"scan"});
    EXPECT_EQ(clean.exitCode, kExitClean);
    EXPECT_EQ(clean.out, "");
    store.DenyOpen(kIfeoKeyPath);
    Outcome denied = Run({u"scan", u"--json"});
    EXPECT_EQ(denied.exitCode, kExitUsage);
    EXPECT_EQ(denied.out, "");
    EXPECT_NE(denied.err.find("cannot open"), std::string::npos);
}

class CliIncomplete : public CliCommands, public ::testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(CliIncomplete, AScanThatCouldNotReadEverythingIsNeverClean) {
    store.CreateKey(kIfeoKeyPath + u"\\plain1.exe");
    store.CreateKey(kIfeoKeyPath + u"\\plain2.exe");
    const std::string key = "HKLM\\" + ToUtf8(kIfeoKeyPath);
    const auto [operation, nth] = GetParam();
    const std::string step = std::string(operation) == "QueryInfoKey" ? "query-key" : "enum-subkey";

    store.FailOperation(operation, static_cast<std::uint64_t>(nth));
    const Outcome text = Run({u"scan"});
    EXPECT_EQ(text.exitCode, kExitIncomplete);
    EXPECT_EQ(text.out, "incomplete: could not read " + key + " (" + step + ", error 31)\n");
    EXPECT_NE(text.err.find("incomplete"), std::string::npos);

    store.FailOperation(operation, static_cast<std::uint64_t>(nth));
    const Outcome json = Run({u"scan", u"--json"});
    EXPECT_EQ(json.exitCode, kExitIncomplete);
    EXPECT_NE(json.out.find("\"complete\": false"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"unread\": [{\"key\": " + JsonString(FromUtf8(key)) + ", \"step\": \"" + step +
                            "\", \"error\": 31}]"),
              std::string::npos)
        << json.out;

    store.FailOperation(operation, static_cast<std::uint64_t>(nth));
    const Outcome csv = Run({u"scan", u"--csv"});
    EXPECT_EQ(csv.exitCode, kExitIncomplete);
    EXPECT_EQ(csv.out, "kind,name,command,key,detail,link\nunread,\"\",\"\",\"" + key + "\",\"" + step + ", error 31\",\"\"\n");

    // Nothing failing: the same store is clean.
    EXPECT_EQ(Run({u"scan"}).exitCode, kExitClean);
}

INSTANTIATE_TEST_SUITE_P(Failures, CliIncomplete,
                         ::testing::Values(std::make_pair("QueryInfoKey", 1), std::make_pair("EnumKey", 1),
                                           std::make_pair("EnumKey", 2)));

TEST_F(CliCommands, ARepairWhoseRescanIsIncompleteSaysSo) {
    Redirect(u"a.exe", u"x.exe");
    store.CreateKey(kIfeoKeyPath + u"\\plain.exe");
    store.FailOperation("QueryInfoKey", 2);  // the scan after the change
    const Outcome outcome = Run({u"repair", u"a.exe"});
    EXPECT_EQ(outcome.exitCode, kExitIncomplete);
    EXPECT_NE(outcome.out.find("deleted value Debugger"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("incomplete: could not read"), std::string::npos) << outcome.out;
}

TEST_F(CliCommands, TheCommandLineListsEveryEntryBeyondTheWindowsTable) {
    for (unsigned long i = 0; i < 250; ++i) Redirect(u"e" + DecimalText(i) + u".exe", u"c" + DecimalText(i));
    const Outcome outcome = Run({u"scan", u"--csv"});
    EXPECT_EQ(outcome.exitCode, kExitFound);
    EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), 251);
    EXPECT_NE(outcome.out.find("\"e249.exe\",\"c249\""), std::string::npos);
}

TEST_F(CliCommands, JsonAndCsvCarryTheSameEntries) {
    Redirect(u"calc.exe", u"calc\u202Eexe.txt");
    const Outcome json = Run({u"scan", u"--json"});
    EXPECT_EQ(json.exitCode, kExitFound);
    EXPECT_NE(json.out.find("\"count\": 1"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("{\"kind\": \"debugger\", \"name\": \"calc.exe\", \"command\": \"calc\\u202Eexe.txt\""),
              std::string::npos)
        << json.out;
    const Outcome csv = Run({u"scan", u"--csv"});
    EXPECT_EQ(csv.out,
              "kind,name,command,key,detail,link\n"
              "debugger,\"calc.exe\",\"calc\\u202Eexe.txt\",\"HKLM\\" +
                  ToUtf8(kIfeoKeyPath) + "\\calc.exe\",\"\",\"\"\n");
}

TEST_F(CliCommands, RepairRemovesOnlyTheDebuggerValueOfTheExactName) {
    Redirect(u"a.exe", u"x.exe");
    store.SetString(kIfeoKeyPath + u"\\a.exe", u"Other", u"kept");
    Redirect(u"b.exe", u"y.exe");
    EXPECT_EQ(Run({u"repair", u"A.EXE"}).exitCode, kExitUsage);  // listed as a.exe
    const Outcome outcome = Run({u"repair", u"a.exe"});
    EXPECT_EQ(outcome.exitCode, kExitFound);  // b.exe is still there
    EXPECT_TRUE(store.KeyExists(kIfeoKeyPath + u"\\a.exe"));
    EXPECT_NE(outcome.out.find("deleted value Debugger of HKLM\\"), std::string::npos) << outcome.out;
    EXPECT_EQ(Run({u"scan"}).out, "b.exe  y.exe\n");
}

TEST_F(CliCommands, DryRunShowsTheChangesAndMakesNone) {
    Redirect(u"a.exe", u"x.exe");
    Redirect(u"b.exe", u"y.exe");
    const std::string before = store.Dump();
    for (auto args : std::vector<std::vector<Text>>{{u"repair", u"a.exe", u"--dry-run"},
                                                    {u"delete", u"b.exe", u"--dry-run"},
                                                    {u"delete-all", u"--dry-run"}}) {
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.exitCode, kExitFound);
        EXPECT_NE(outcome.out.find("would delete"), std::string::npos) << outcome.out;
        EXPECT_EQ(store.Dump(), before);
    }
    EXPECT_EQ(Run({u"delete-all", u"--dry-run"}).out,
              "would delete key HKLM\\" + ToUtf8(kIfeoKeyPath) + "\\a.exe\n"
              "would delete key HKLM\\" + ToUtf8(kIfeoKeyPath) + "\\b.exe\n");
}

// On the live registry every change has its undo file, or is not made.
TEST_F(CliCommands, TheUndoFileIsNamedWrittenFirstOrNothingChanges) {
    RegResult refuse = kRegOk;
    int made = 0;
    source.undo = [&](const std::string&, const std::vector<Text>&) {
        ++made;
        auto undo = std::make_unique<RecordingUndo>();
        undo->refuse = refuse;
        return undo;
    };
    Redirect(u"a.exe", u"x.exe");
    Redirect(u"b.exe", u"y.exe");
    const std::string before = store.Dump();

    Outcome outcome = Run({u"--dry-run", u"delete", u"a.exe"});
    EXPECT_NE(outcome.out.find("undo file would be: planned.reg\n"), std::string::npos) << outcome.out;
    outcome = Run({u"--no-undo", u"--dry-run", u"--json", u"delete-all"});
    EXPECT_NE(outcome.out.find("\"undo\": \"\""), std::string::npos) << outcome.out;
    EXPECT_EQ(made, 1);

    refuse = kRegDiskFull;
    outcome = Run({u"delete", u"a.exe"});
    EXPECT_EQ(outcome.exitCode, kExitUsage);
    EXPECT_NE(outcome.err.find("refused-folder (error 112)"), std::string::npos) << outcome.err;
    EXPECT_EQ(store.Dump(), before);

    refuse = kRegOk;
    outcome = Run({u"--json", u"repair", u"a.exe"});
    EXPECT_NE(outcome.out.find("\"undo\": \"undo-file.reg\""), std::string::npos) << outcome.out;
    EXPECT_NE(Run({u"--yes", u"delete-all"}).out.find("undo file: undo-file.reg\n"), std::string::npos);
    EXPECT_EQ(made, 4);
}

TEST_F(CliCommands, ADryRunReportsTheFailureTheRegistryWouldGive) {
    Redirect(u"nested.exe", u"x.exe");
    store.CreateKey(kIfeoKeyPath + u"\\nested.exe\\inner");
    const Outcome outcome = Run({u"delete", u"nested.exe", u"--dry-run"});
    EXPECT_EQ(outcome.exitCode, kExitRepairFailed);
    EXPECT_NE(outcome.err.find("could not delete key"), std::string::npos);
}

TEST_F(CliCommands, DeleteAllWithYesRemovesEveryListedSubkey) {
    Redirect(u"a.exe", u"x.exe");
    Redirect(u"b.exe", u"y.exe");
    store.CreateKey(kIfeoKeyPath + u"\\plain.exe");
    const Outcome outcome = Run({u"delete-all", u"--yes"});
    EXPECT_EQ(outcome.exitCode, kExitClean);
    EXPECT_FALSE(store.KeyExists(kIfeoKeyPath + u"\\a.exe"));
    EXPECT_FALSE(store.KeyExists(kIfeoKeyPath + u"\\b.exe"));
    EXPECT_TRUE(store.KeyExists(kIfeoKeyPath + u"\\plain.exe"));
}

TEST_F(CliCommands, AFailedRepairGivesExitCodeThreeAndDeleteAllGoesOnPastIt) {
    Redirect(u"a.exe", u"x.exe");
    Redirect(u"b.exe", u"y.exe");
    Redirect(u"c.exe", u"z.exe");
    store.RefuseDeletion(kIfeoKeyPath + u"\\b.exe");
    const Outcome outcome = Run({u"delete-all", u"--yes"});
    EXPECT_EQ(outcome.exitCode, kExitRepairFailed);
    EXPECT_FALSE(store.KeyExists(kIfeoKeyPath + u"\\a.exe"));
    EXPECT_TRUE(store.KeyExists(kIfeoKeyPath + u"\\b.exe"));
    EXPECT_FALSE(store.KeyExists(kIfeoKeyPath + u"\\c.exe"));
    EXPECT_NE(outcome.err.find("b.exe: access denied"), std::string::npos) << outcome.err;

    EXPECT_EQ(Run({u"delete", u"b.exe"}).exitCode, kExitRepairFailed);
    EXPECT_EQ(Run({u"repair", u"b.exe"}).exitCode, kExitRepairFailed);
}

TEST_F(CliCommands, ChangesAreCommittedOnlyWhenSomethingChanged) {
    int commits = 0;
    source.commit = [&](std::string* backup, std::string*) {
        ++commits;
        *backup = "B";
        return true;
    };
    Redirect(u"a.exe", u"x.exe");
    Run({u"repair", u"a.exe", u"--dry-run"});
    EXPECT_EQ(commits, 0);
    Run({u"scan"});
    EXPECT_EQ(commits, 0);
    const Outcome outcome = Run({u"repair", u"a.exe"});
    EXPECT_EQ(commits, 1);
    EXPECT_NE(outcome.out.find("backup of the hive: B"), std::string::npos);

    Redirect(u"b.exe", u"y.exe");
    source.commit = [](std::string*, std::string* error) {
        *error = "disk full";
        return false;
    };
    EXPECT_EQ(Run({u"delete", u"b.exe"}).exitCode, kExitRepairFailed);
}

TEST_F(CliCommands, AllAddsTheWiderFindingsMarkedWithTheirKind) {
    Redirect(u"a.exe", u"x.exe");
    store.SetValue(kIfeoKeyPath + u"\\v.exe", u"GlobalFlag", 4, {0, 1, 0, 0});
    store.SetString(kIfeoKeyPath + u"\\v.exe", u"VerifierDlls", u"evil.dll");
    EXPECT_EQ(Run({u"scan"}).out, "a.exe  x.exe\n");
    const Outcome all = Run({u"scan", u"--all"});
    EXPECT_EQ(all.exitCode, kExitFound);
    EXPECT_NE(all.out.find("debugger       a.exe  x.exe"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("verifier-dlls  v.exe  evil.dll"), std::string::npos) << all.out;
}

TEST_F(CliCommands, OnlyVerifierFindingsStillCountAsFound) {
    store.SetValue(kIfeoKeyPath + u"\\v.exe", u"GlobalFlag", 4, {0, 1, 0, 0});
    store.SetString(kIfeoKeyPath + u"\\v.exe", u"VerifierDlls", u"evil.dll");
    EXPECT_EQ(Run({u"scan"}).exitCode, kExitClean);
    EXPECT_EQ(Run({u"scan", u"--all"}).exitCode, kExitFound);
}

}  // namespace
}  // namespace vornex::testing

namespace vornex::testing {
namespace {

using namespace vornex::cli;

class CliGuarded : public ::testing::Test {
protected:
    CliGuarded() {
        store.CreateKey(kIfeoKeyPath);
        source.registry = &store;
        source.path = u"memory";
    }
    Outcome Run(std::vector<Text> args) {
        Options options;
        std::string error;
        EXPECT_TRUE(ParseArguments(args, &options, &error)) << error;
        Outcome outcome = RunCommand(options, source);
        EXPECT_EQ(store.OpenHandleCount(), 0u) << "a key was left open";
        return outcome;
    }
    // Each line of a dry run's output with "would " taken off, as the real run says it.
    static std::string AsMade(const std::string& dryRun) {
        std::string out;
        std::size_t from = 0;
        while (from < dryRun.size()) {
            std::size_t end = dryRun.find('\n', from);
            std::string line = dryRun.substr(from, end - from);
            if (line.rfind("would ", 0) == 0) {
                line = line.substr(6);
                for (auto [future, past] : {std::pair<std::string, std::string>{"delete ", "deleted "},
                                            {"take over ", "took over "}, {"restore ", "restored "}}) {
                    if (line.rfind(future, 0) == 0) line = past + line.substr(future.size());
                }
            }
            out += line + "\n";
            from = end + 1;
        }
        return out;
    }
    MemoryRegistry store;
    Source source;
};

const Text kTarget = u"SOFTWARE\\Vendor\\Settings";

TEST_F(CliGuarded, ALinkEntryIsMarkedInEveryFormatAndRemovedAsALink) {
    store.SetString(kTarget, u"Debugger", u"C:\\evil.exe");
    store.SetString(kTarget, u"Precious", u"kept");
    store.CreateLink(kIfeoKeyPath + u"\\linked.exe", kTarget);
    const std::string linkTarget = "\\REGISTRY\\MACHINE\\" + ToUtf8(kTarget);
    EXPECT_EQ(Run({u"scan"}).out, "linked.exe  C:\\evil.exe  (through a registry link to " + linkTarget + ")\n");
    EXPECT_NE(Run({u"scan", u"--json"}).out.find("\"link\": " + JsonString(FromUtf8(linkTarget))), std::string::npos);
    EXPECT_NE(Run({u"scan", u"--csv"}).out.find(",\"" + linkTarget + "\"\n"), std::string::npos);

    MemoryRegistry expected;
    expected.CreateKey(kIfeoKeyPath);
    expected.SetString(kTarget, u"Debugger", u"C:\\evil.exe");
    expected.SetString(kTarget, u"Precious", u"kept");
    const Outcome outcome = Run({u"repair", u"linked.exe"});
    EXPECT_EQ(outcome.exitCode, kExitClean);
    EXPECT_EQ(outcome.out, "deleted link key HKLM\\" + ToUtf8(kIfeoKeyPath) +
                               "\\linked.exe (not what it points at)\n0 redirections left\n");
    EXPECT_EQ(store.Dump(), expected.Dump());
}

TEST_F(CliGuarded, AReadOnlyEntryIsRepairedAndTheDryRunSaysWhatTheRealRunDoes) {
    for (const Text name : {u"a.exe", u"b.exe"}) {
        store.SetString(kIfeoKeyPath + u'\\' + name, u"Debugger", u"x");
        store.SetString(kIfeoKeyPath + u'\\' + name, u"Other", u"kept");
        store.ProtectKey(kIfeoKeyPath + u'\\' + name);
    }
    const std::string before = store.Dump();
    const Outcome dryRepair = Run({u"repair", u"a.exe", u"--dry-run"});
    const Outcome dryDelete = Run({u"delete", u"b.exe", u"--dry-run"});
    EXPECT_EQ(store.Dump(), before);
    const Outcome repair = Run({u"repair", u"a.exe"});
    const Outcome removal = Run({u"delete", u"b.exe"});
    EXPECT_EQ(repair.exitCode, kExitFound);
    EXPECT_EQ(removal.exitCode, kExitClean);
    const std::string key = "HKLM\\" + ToUtf8(kIfeoKeyPath) + "\\a.exe";
    EXPECT_EQ(repair.out, "took over the security of " + key + " (administrators: full control)\n"
                          "deleted value Debugger of " + key + "\n"
                          "restored the security of " + key + " as it was\n"
                          "1 redirection left\n");
    EXPECT_EQ(AsMade(dryRepair.out), "took over the security of " + key + " (administrators: full control)\n"
                                     "deleted value Debugger of " + key + "\n"
                                     "restored the security of " + key + " as it was\n");
    EXPECT_EQ(removal.out.substr(0, removal.out.rfind("0 redirections left")), AsMade(dryDelete.out));

    MemoryRegistry expected;
    expected.SetString(kIfeoKeyPath + u"\\a.exe", u"Other", u"kept");
    expected.ProtectKey(kIfeoKeyPath + u"\\a.exe");
    EXPECT_EQ(store.Dump(), expected.Dump());
}

TEST_F(CliGuarded, ALockedLinkIsTakenOverAsItselfAndTheDryRunSaysSo) {
    store.SetString(kTarget, u"Debugger", u"C:\\evil.exe");
    store.CreateLink(kIfeoKeyPath + u"\\linked.exe", kTarget);
    store.ProtectKey(kIfeoKeyPath + u"\\linked.exe");  // the link key itself, not its target
    const Outcome dry = Run({u"delete", u"linked.exe", u"--dry-run"});
    const Outcome real = Run({u"delete", u"linked.exe"});
    EXPECT_EQ(real.exitCode, kExitClean);
    const std::string key = "HKLM\\" + ToUtf8(kIfeoKeyPath) + "\\linked.exe";
    EXPECT_EQ(real.out, "took over the security of " + key + " (administrators: full control)\n"
                        "deleted link key " + key + " (not what it points at)\n0 redirections left\n");
    EXPECT_EQ(AsMade(dry.out), real.out.substr(0, real.out.rfind("0 redirections left")));
    MemoryRegistry expected;
    expected.CreateKey(kIfeoKeyPath);
    expected.SetString(kTarget, u"Debugger", u"C:\\evil.exe");
    EXPECT_EQ(store.Dump(), expected.Dump());
}

TEST_F(CliGuarded, ARefusedTakeoverSaysWhichKeyRefusedAndWhy) {
    store.SetString(kIfeoKeyPath + u"\\a.exe", u"Debugger", u"x");
    store.ProtectKey(kIfeoKeyPath + u"\\a.exe");
    store.RefuseTakeover(kIfeoKeyPath + u"\\a.exe");
    const Outcome outcome = Run({u"repair", u"a.exe"});
    EXPECT_EQ(outcome.exitCode, kExitRepairFailed);
    EXPECT_EQ(outcome.err, "could not delete value Debugger of HKLM\\" + ToUtf8(kIfeoKeyPath) + "\\a.exe: access denied (error 5)");
}

}  // namespace
}  // namespace vornex::testing
