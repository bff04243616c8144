#include <algorithm>
#include <map>

#include "tests/native/form_fixture.h"

namespace vornex::testing {
namespace {

using HijackScan = FormTest;

TEST_F(HijackScan, ListsRedirectionsSortedWithEachLineLeadingToItsOwnCommand) {
    Redirect(u"zeta.exe", u"z.exe");
    Redirect(u"Alpha.exe", u"\"C:\\Program Files\\a.exe\" /x");
    Redirect(u"mid.exe", u"m.exe");
    store.CreateKey(SubkeyPath(u"plain.exe"));  // no Debugger: not listed
    Scan();

    EXPECT_EQ(window.lines, (std::vector<Text>{u"Alpha.exe", u"mid.exe", u"zeta.exe"}));
    EXPECT_EQ(form.strDebugger[0], u"\"C:\\Program Files\\a.exe\" /x");
    EXPECT_EQ(form.strDebugger[1], u"m.exe");
    EXPECT_EQ(form.strDebugger[2], u"z.exe");
    EXPECT_EQ(window.countCaption, u"被重定向的应用程序 3 个，点击文件名查看重定向数据。");
    EXPECT_TRUE(window.cmdFixEnabled);
    EXPECT_FALSE(window.cmdDeleteEnabled);
    EXPECT_FALSE(window.cmdDelete1Enabled);
    EXPECT_EQ(window.selected, -1);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_FALSE(window.visible) << "the window is shown by its creator, after the scan";
}

TEST_F(HijackScan, ResetsTheControlsInOrderBeforeReadingTheRegistry) {
    Redirect(u"a.exe", u"x");
    Scan();
    const std::vector<std::string> firstFive(window.events.begin(), window.events.begin() + 5);
    EXPECT_EQ(firstFive, (std::vector<std::string>{"Disable cmdDelete", "Disable cmdDelete1",
                                                   "Disable cmdFix", "SetDetailText ",
                                                   "SetDetailCaption "}));
    EXPECT_EQ(window.events[5], "ListClear");
}

TEST_F(HijackScan, OpensEveryKeyForReadingOnlyByItsPathFromTheRoot) {
    Redirect(u"calc.exe", u"x");
    Scan();
    const auto& log = store.CallLog();
    const std::string ifeo = ToUtf8(kIfeoKeyPath);
    EXPECT_NE(std::find(log.begin(), log.end(), "OpenKey " + ifeo + " 0x20019"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "OpenKey " + ifeo + "\\calc.exe 0x20019"), log.end());
    for (const std::string& call : log) EXPECT_EQ(call.find("0x2003F"), std::string::npos) << call;
}

TEST_F(HijackScan, NothingFoundShowsTheWindowThenTheNotice) {
    store.CreateKey(SubkeyPath(u"plain.exe"));
    Scan();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, u"没有发现IFEO重定向！谢谢使用本工具！");
    EXPECT_EQ(window.messages[0].title, u"提示");
    EXPECT_EQ(window.messages[0].style, 64u);
    EXPECT_EQ(window.countCaption, u"被重定向的应用程序 0 个。");
    EXPECT_FALSE(window.cmdFixEnabled);
    const auto shown = std::find(window.events.begin(), window.events.end(), "ShowForm");
    const auto notice = std::find_if(window.events.begin(), window.events.end(),
                                     [](const std::string& e) { return e.rfind("ShowMessage", 0) == 0; });
    EXPECT_LT(shown, notice);
}

TEST_F(HijackScan, AnUnopenableIfeoKeyLeavesListAndCountAsTheyWereAndShowsNothing) {
    Redirect(u"a.exe", u"x");
    Scan();
    window.Select(0);
    form.lstListKey_Click();
    store.DenyOpen(kIfeoKeyPath);
    Scan();
    EXPECT_EQ(window.lines, std::vector<Text>{u"a.exe"});
    EXPECT_EQ(window.countCaption, u"被重定向的应用程序 1 个，点击文件名查看重定向数据。");
    EXPECT_FALSE(window.cmdFixEnabled);
    EXPECT_FALSE(window.cmdDeleteEnabled);
    EXPECT_FALSE(window.cmdDelete1Enabled);
    EXPECT_TRUE(window.detailText.empty());
    EXPECT_TRUE(window.detailCaption.empty());
    EXPECT_TRUE(window.messages.empty());
}

// A key read only in part is never called clean: with nothing found, the
// window stays as it was, as for an IFEO key it cannot open.
struct PartialRead {
    const char* operation;
    std::uint64_t nth;
};

class HijackScanPartialRead : public FormTest, public ::testing::WithParamInterface<PartialRead> {};

TEST_P(HijackScanPartialRead, NothingFoundIsNotSaidOfAKeyReadInPart) {
    Redirect(u"a.exe", u"x");
    store.CreateKey(SubkeyPath(u"plain1.exe"));
    store.CreateKey(SubkeyPath(u"plain2.exe"));
    Scan();
    ASSERT_EQ(window.lines, std::vector<Text>{u"a.exe"});
    const Text countBefore = window.countCaption;
    store.RemoveTree(SubkeyPath(u"a.exe"));
    store.FailOperation(GetParam().operation, GetParam().nth);
    Scan();
    EXPECT_TRUE(window.messages.empty()) << "nothing-found notice after a failed read";
    EXPECT_EQ(window.lines, std::vector<Text>{u"a.exe"});
    EXPECT_EQ(window.countCaption, countBefore);
    EXPECT_FALSE(window.cmdFixEnabled);
    // Read whole again, the same store is clean.
    Scan();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, texts::kNothingFound);
}

INSTANTIATE_TEST_SUITE_P(Failures, HijackScanPartialRead,
                         ::testing::Values(PartialRead{"QueryInfoKey", 1}, PartialRead{"EnumKey", 1},
                                           PartialRead{"EnumKey", 2}, PartialRead{"QueryValue", 1}));

TEST_F(HijackScan, WhatWasReadIsListedWhenAnotherSubkeyCouldNotBeEnumerated) {
    Redirect(u"a.exe", u"x");
    Redirect(u"b.exe", u"y");
    Redirect(u"c.exe", u"z");
    store.FailOperation("EnumKey", 2);
    Scan();
    EXPECT_EQ(window.lines, (std::vector<Text>{u"a.exe", u"c.exe"}));
    EXPECT_EQ(form.strDebugger[1], u"z");
    EXPECT_TRUE(window.cmdFixEnabled);
    EXPECT_TRUE(window.messages.empty());
}

// The loader, running as a user the key lets read, may see what the scan
// cannot: a subkey left unread is named, never "nothing found".
TEST_F(HijackScan, ASubkeyNoOpenCanReadIsNamedOnceAndNothingFoundIsNeverSaid) {
    store.SetString(SubkeyPath(u"hidden.exe"), u"Debugger", u"evil.exe");
    store.DenyAdministrators(SubkeyPath(u"hidden.exe"));
    store.RefuseBackupIntent();
    Scan();
    EXPECT_EQ(window.countCaption, texts::CountCaption(0));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, texts::UnreadNotice({u"hidden.exe"}));
    EXPECT_EQ(window.messages[0].title, texts::kNoticeTitle);
    const auto notice = std::find_if(window.events.begin(), window.events.end(),
                                     [](const std::string& e) { return e.rfind("ShowMessage", 0) == 0; });
    EXPECT_LT(std::find(window.events.begin(), window.events.end(), "ShowForm"), notice)
        << "the notice stands over the window";

    Redirect(u"plain.exe", u"x");
    window.messages.clear();
    Scan();
    EXPECT_EQ(window.lines, std::vector<Text>{u"plain.exe"});
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, texts::UnreadNotice({u"hidden.exe"}));
}

TEST_F(HijackScan, MatchesOnlyStringValuesNamedDebuggerInAnyCase) {
    Redirect(u"upper.exe", u"u", u"DEBUGGER");
    Redirect(u"lower.exe", u"l", u"debugger");
    Redirect(u"expand.exe", u"%x%", u"Debugger", kExpandSz);
    store.SetValue(SubkeyPath(u"dword.exe"), u"Debugger", 4, {1, 0, 0, 0});
    Redirect(u"near.exe", u"n", u"Debuggers");
    Scan();
    EXPECT_EQ(window.lines, (std::vector<Text>{u"lower.exe", u"upper.exe"}));
}

TEST_F(HijackScan, SkipsTheTemplateKeyByItsExactName) {
    Redirect(u"Your Image File Name Here without a path", u"x");
    Scan();
    EXPECT_TRUE(window.lines.empty());
    store.RemoveTree(SubkeyPath(u"Your Image File Name Here without a path"));
    Redirect(u"your image file name here without a path", u"y");
    Scan();
    EXPECT_EQ(window.lines, std::vector<Text>{u"your image file name here without a path"});
}

TEST_F(HijackScan, ASubkeyWithSeveralValuesCountsOnce) {
    store.SetValue(SubkeyPath(u"multi.exe"), u"GlobalFlag", 4, {0, 2, 0, 0});
    Redirect(u"multi.exe", u"x");
    store.SetString(SubkeyPath(u"multi.exe"), u"MitigationOptions", u"1");
    Scan();
    EXPECT_EQ(window.lines, std::vector<Text>{u"multi.exe"});
    EXPECT_EQ(window.countCaption, u"被重定向的应用程序 1 个，点击文件名查看重定向数据。");
}

TEST_F(HijackScan, ALongValueNameBeforeTheDebuggerValueDoesNotHideIt) {
    store.SetString(SubkeyPath(u"hidden.exe"), Text(300, u'x'), u"decoy");
    store.SetString(SubkeyPath(u"hidden.exe"), Text(16383, u'y'), u"decoy");
    Redirect(u"hidden.exe", u"evil.exe");
    Scan();
    ASSERT_EQ(window.lines, std::vector<Text>{u"hidden.exe"});
    EXPECT_EQ(form.strDebugger[0], u"evil.exe");
}

TEST_F(HijackScan, TheCommandIsTheTextBeforeTheFirstNulAndOddDataIsReadSafely) {
    auto bytes = [](std::initializer_list<int> list) {
        return std::vector<unsigned char>(list.begin(), list.end());
    };
    store.SetValue(SubkeyPath(u"a-nul.exe"), u"Debugger", kRegSz, bytes({'a', 0, 0, 0, 'b', 0, 0, 0}));
    store.SetValue(SubkeyPath(u"b-unterminated.exe"), u"Debugger", kRegSz, bytes({'x', 0, 'y', 0}));
    store.SetValue(SubkeyPath(u"c-odd.exe"), u"Debugger", kRegSz, bytes({'p', 0, 'q'}));
    store.SetValue(SubkeyPath(u"d-empty.exe"), u"Debugger", kRegSz, {});
    Scan();
    ASSERT_EQ(window.lines.size(), 4u);
    EXPECT_EQ(form.strDebugger[0], u"a");
    EXPECT_EQ(form.strDebugger[1], u"xy");
    EXPECT_EQ(form.strDebugger[2], u"p");
    EXPECT_EQ(form.strDebugger[3], u"");
}

TEST_F(HijackScan, AShorterNameAfterALongerOneIsListedUnderItsOwnName) {
    Redirect(u"a-rather-long-executable-name.exe", u"1");
    Redirect(u"b.exe", u"2");
    Scan();
    EXPECT_EQ(window.lines, (std::vector<Text>{u"a-rather-long-executable-name.exe", u"b.exe"}));
}

TEST_F(HijackScan, ANameWithANulInsideIsNotTakenForTheKeyBeforeTheNul) {
    store.CreateKey(SubkeyPath(u"calc.exe"));  // legitimate, no redirection
    Redirect(Text(u"calc.exe\0hidden", 15), u"evil.exe");
    Scan();
    EXPECT_TRUE(window.lines.empty());
}

TEST_F(HijackScan, SkipsSubkeysThatCannotBeOpened) {
    Redirect(u"locked.exe", u"x");
    Redirect(u"open.exe", u"y");
    store.DenyOpen(SubkeyPath(u"locked.exe"));
    Scan();
    EXPECT_EQ(window.lines, std::vector<Text>{u"open.exe"});
}

TEST_F(HijackScan, RescanningGivesTheSameResultAndDropsRemovedEntries) {
    Redirect(u"a.exe", u"1");
    Redirect(u"b.exe", u"2");
    Redirect(u"c.exe", u"3");
    Scan();
    const auto firstLines = window.lines;
    Scan();
    EXPECT_EQ(window.lines, firstLines);
    store.RemoveTree(SubkeyPath(u"b.exe"));
    Scan();
    EXPECT_EQ(window.lines, (std::vector<Text>{u"a.exe", u"c.exe"}));
    EXPECT_EQ(form.strDebugger[1], u"3");
    EXPECT_EQ(form.strKeyName[2], u"c.exe") << "entries past the count keep their old text";
}

TEST_F(HijackScan, KeepsTheFirst201MatchesAndListTableAndCountAgree) {
    std::map<Text, Text> commandOf;
    for (int i = 249; i >= 0; --i) {
        const Text name = u"hijacked-" + DecimalText(static_cast<unsigned long>(i)) + u".exe";
        const Text command = u"cmd-" + DecimalText(static_cast<unsigned long>(i));
        Redirect(name, command);
        commandOf[name] = command;
    }
    Scan();
    ASSERT_EQ(window.lines.size(), 201u);
    EXPECT_EQ(window.countCaption, u"被重定向的应用程序 201 个，点击文件名查看重定向数据。");
    for (std::size_t i = 0; i < window.lines.size(); ++i) {
        EXPECT_EQ(form.strDebugger[i], commandOf[window.lines[i]]);
    }
    // The store hands out keys in creation order: 249 down to 49 were met first.
    EXPECT_EQ(std::count(window.lines.begin(), window.lines.end(), u"hijacked-49.exe"), 1);
    EXPECT_EQ(std::count(window.lines.begin(), window.lines.end(), u"hijacked-48.exe"), 0);
}

TEST_F(HijackScan, ALineTheListRefusesIsNotRecorded) {
    Redirect(u"a.exe", u"1");
    Redirect(u"b.exe", u"2");
    window.refuseLinesFrom = 1;
    Scan();
    EXPECT_EQ(window.lines, std::vector<Text>{u"a.exe"});
    EXPECT_EQ(window.countCaption, u"被重定向的应用程序 1 个，点击文件名查看重定向数据。");
}

// Whichever registry call fails, the scan closes what it opened and keeps
// list and table together.
TEST_F(HijackScan, SurvivesAFailureOfAnySingleRegistryCall) {
    for (int i = 0; i < 5; ++i) {
        const Text name = u"e" + DecimalText(static_cast<unsigned long>(i)) + u".exe";
        Redirect(name, u"c" + DecimalText(static_cast<unsigned long>(i)));
        store.SetString(SubkeyPath(name), u"Other", u"v");
    }
    const std::uint64_t before = store.CallCount();
    Scan();
    const std::uint64_t callsPerScan = store.CallCount() - before;
    ASSERT_GT(callsPerScan, 10u);
    for (std::uint64_t k = 1; k <= callsPerScan; ++k) {
        store.FailCall(k);
        Scan();
        EXPECT_LE(window.lines.size(), 5u) << "failing call " << k;
    }
}

}  // namespace
}  // namespace vornex::testing
