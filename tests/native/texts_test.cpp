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

TEST(TextConversions, Utf8RoundTripKeepsSurrogatePairs) {
    const Text text = u"a\u0101\u4E2D\U0001F600";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(Text(1, static_cast<char16_t>(0xD800))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace vornex
