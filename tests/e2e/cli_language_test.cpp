// vornex-cli.exe speaks the user's UI language: Simplified Chinese for a
// Chinese one, English for another; written to a file, it stays UTF-8. The
// e2e suite runs this once under each (scripts/run-wine-suite.sh): under Wine
// a child takes its UI language from the Unix locale of the driver.
#include <windows.h>

#include "tests/e2e/cli_run.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/e2e/test_options.h"

namespace vornex::e2e {
namespace {

class CliLanguage : public VornexE2E {
protected:
    void SetUp() override {
        VornexE2E::SetUp();
        if (Options().cli.empty()) GTEST_SKIP() << "no --cli given";
    }
};

TEST_F(CliLanguage, ChineseForAChineseUserEnglishOtherwise) {
    const bool chinese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE;
    RecordProperty("chinese", chinese ? "yes" : "no");
    Redirect(L"notepad.exe", L"C:\\evil\\n.exe");
    const CliRun help = RunCli({L"--help"});
    const CliRun error = RunCli({L"repair", L"\u4E2D.exe"});
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_EQ(error.exitCode, 2u);
    ASSERT_EQ(LinesOf(error.err).size(), 1u) << error.err;
    EXPECT_EQ(error.err.rfind("vornex-cli: ", 0), 0u) << error.err;
    EXPECT_NE(error.err.find("\u4E2D.exe"), std::string::npos) << error.err;  // the name, as UTF-8
    // 手工修复 and 重定向, the window's words, as UTF-8.
    EXPECT_EQ(help.out.find("\u624B\u5DE5\u4FEE\u590D") != std::string::npos, chinese) << help.out;
    EXPECT_EQ(help.out.rfind("usage: vornex-cli", 0) == 0, !chinese) << help.out;
    EXPECT_EQ(error.err.find("\u91CD\u5B9A\u5411") != std::string::npos, chinese) << error.err;
    EXPECT_EQ(error.err.find("no listed entry") != std::string::npos, !chinese) << error.err;
}

}  // namespace
}  // namespace vornex::e2e
