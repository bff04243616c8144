#include <gtest/gtest.h>

#include "app/texts.h"
#include "core/display_text.h"
#include "tests/contract/display_escape_cases.h"

namespace vornex::testing {
namespace {

TEST(DisplayText, HiddenCharactersAndLoneSurrogatesAreEscapedAndTheRestKept) {
    for (const DisplayCase& c : DisplayCases()) {
        EXPECT_EQ(DisplayEscaped(c.stored), c.shown) << ToUtf8(c.shown);
    }
}

// The window's messages show a name as vornex-cli shows it.
TEST(DisplayText, TheWindowsNoticeShowsEachNameEscaped) {
    for (const DisplayCase& c : DisplayCases()) {
        const Text notice = texts::UnreadNotice({c.stored});
        EXPECT_EQ(notice.substr(notice.find(u"\r\n") + 2), c.shown) << ToUtf8(c.shown);
        EXPECT_NE(texts::HiveOpenFailure(c.stored, 2).find(u"“" + c.shown + u"”"), Text::npos) << ToUtf8(c.shown);
    }
}

}  // namespace
}  // namespace vornex::testing
