#include <gtest/gtest.h>

#include "core/text.h"
#include "app/texts.h"

namespace vornex {
namespace {

TEST(Texts, HeadingAndAdviceReadExactlyAsDesigned) {
    EXPECT_EQ(texts::DetailHeading(u"notepad.exe"),
              u"下面是 notepad.exe 的重定向情况及处理建议，请谨慎选择操作方式！");
    EXPECT_EQ(texts::DetailAdvice(u"notepad.exe", u"C:\\x.exe"),
              u"notepad.exe被重定向到C:\\x.exe，如没有安装notepad.exe，请点击“手工删除”。"
              u"如果安装了notepad.exe并确认被劫持，请点击“手工修复”。");
}

TEST(Texts, AnEmptyCommandLeavesNothingBetweenTheLiterals) {
    const Text advice = texts::DetailAdvice(u"a.exe", u"");
    EXPECT_NE(advice.find(u"被重定向到，如没有安装"), Text::npos);
}

TEST(Texts, CountCaptionForNoneSomeAndMany) {
    EXPECT_EQ(texts::CountCaption(0), u"被重定向的应用程序 0 个。");
    EXPECT_EQ(texts::CountCaption(7), u"被重定向的应用程序 7 个，点击文件名查看重定向数据。");
    EXPECT_EQ(texts::CountCaption(201), u"被重定向的应用程序 201 个，点击文件名查看重定向数据。");
}

TEST(Texts, TheUnreadNoticeNamesTenThenCountsTheRest) {
    std::vector<Text> names;
    for (unsigned long i = 1; i <= 12; ++i) names.push_back(u"k" + DecimalText(i) + u".exe");
    const Text notice = texts::UnreadNotice(names);
    EXPECT_EQ(notice.substr(0, 24), u"以下IFEO子项无法读取，其中可能隐藏着重定向：");
    EXPECT_NE(notice.find(u"\r\nk10.exe\r\n……另有 2 项无法读取。"), Text::npos) << ToUtf8(notice);
    EXPECT_EQ(notice.find(u"k11.exe"), Text::npos);
    EXPECT_EQ(texts::UnreadNotice({u"a.exe"}), u"以下IFEO子项无法读取，其中可能隐藏着重定向：\r\na.exe");
}

// A name planted to forge lines of the notice, or to turn around.
TEST(Texts, ANameCannotForgeALineOrReverseTheNotice) {
    const Text forged = texts::UnreadNotice({u"x.exe\r\n\u6CA1\u6709\u53D1\u73B0", u"\u202Eexe.txt", u"\u2066a\u0085"});
    EXPECT_EQ(forged.substr(forged.find(u"\r\n")),
              u"\r\nx.exe\\u000D\\u000A\u6CA1\u6709\u53D1\u73B0\r\n\\u202Eexe.txt\r\n\\u2066a\\u0085");
}

TEST(TextConversions, Utf8RoundTripKeepsSurrogatePairs) {
    const Text text = u"a\u0101\u4E2D\U0001F600";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(Text(1, static_cast<char16_t>(0xD800))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace vornex
