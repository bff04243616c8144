// Which language vornex-cli speaks, and its catalog of messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/language.h"
#include "cli/messages.h"

namespace vornex::testing {
namespace {

using namespace vornex::cli;

TEST(Language, TheFirstSetAndNonEmptyOfLcAllLcMessagesLangDecides) {
    constexpr Language en = Language::kEnglish;
    constexpr Language zh = Language::kChinese;
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        Language want;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, en},
        {"", "", "", en},
        {nullptr, nullptr, "zh_CN.UTF-8", zh},
        {"", "", "zh_CN.UTF-8", zh},  // empty counts as unset
        {"C", nullptr, "zh_CN.UTF-8", en},
        {"POSIX", "zh_CN.UTF-8", "zh_CN.UTF-8", en},
        {"C.UTF-8", nullptr, "zh_CN.UTF-8", en},
        {nullptr, "zh_CN.UTF-8", "en_US.UTF-8", zh},
        {"en_US.UTF-8", "zh_CN.UTF-8", "zh_CN.UTF-8", en},
        {"zh_CN.UTF-8", "en_US.UTF-8", "en_US.UTF-8", zh},
        {"zh_TW", nullptr, nullptr, zh},
        {"zh_CN.GB18030", nullptr, nullptr, zh},
        {"zh-Hans", nullptr, nullptr, zh},
        {"zh", nullptr, nullptr, zh},
        {"zh@quot", nullptr, nullptr, zh},
        {"zha_CN", nullptr, nullptr, en},  // another language that starts alike
        {"zhuang", nullptr, nullptr, en},
        {"ZH_CN", nullptr, nullptr, en},   // locale names are case-sensitive
        {"z", nullptr, nullptr, en},
        {"_zh_CN", nullptr, nullptr, en},
        {" zh_CN", nullptr, nullptr, en},
        {"en_US.UTF-8", nullptr, nullptr, en},
        {"ja_JP.UTF-8", nullptr, "zh_CN.UTF-8", en},
        {"\xE4\xB8\xAD", nullptr, nullptr, en},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LanguageOfLocale(c.lcAll, c.lcMessages, c.lang), c.want)
            << (c.lcAll ? c.lcAll : "(unset)") << " / " << (c.lcMessages ? c.lcMessages : "(unset)") << " / "
            << (c.lang ? c.lang : "(unset)");
    }
    // Windows: every Chinese UI language, and nothing else.
    for (unsigned short id : {0x0804, 0x0404, 0x0C04, 0x1004, 0x1404, 0x0004, 0x7C04}) {
        EXPECT_EQ(LanguageOfLangId(id), zh) << std::hex << id;
    }
    for (unsigned short id : {0x0409, 0x0809, 0x0411, 0x0412, 0x0405, 0x0000}) {
        EXPECT_EQ(LanguageOfLangId(id), en) << std::hex << id;
    }
}

std::vector<std::string> Placeholders(const std::string& text) {
    std::vector<std::string> found;
    for (std::size_t at = text.find('{'); at != std::string::npos; at = text.find('{', at + 1)) {
        found.push_back(text.substr(at, 3));
    }
    std::sort(found.begin(), found.end());
    return found;
}

TEST(Catalog, EveryMessageHasAChineseTextWithTheSamePlaceholders) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(Msg::kCount); ++i) {
        const Msg id = static_cast<Msg>(i);
        SetLanguage(Language::kChinese);
        const std::string chinese = Words(id);
        SetLanguage(Language::kEnglish);
        const std::string english = Words(id);
        EXPECT_NE(chinese, english) << english;
        EXPECT_TRUE(std::any_of(chinese.begin(), chinese.end(), [](char c) { return (c & 0x80) != 0; })) << english;
        EXPECT_EQ(Placeholders(chinese), Placeholders(english)) << english;
    }
}

TEST(Catalog, NamesArePutInAsGivenInEitherLanguage) {
    const std::string name = "{2}\\u202E\xE4\xB8\xAD.exe";  // a placeholder in a name is not filled again
    SetLanguage(Language::kChinese);
    const std::string chinese = Say(Msg::kNotListed, {name});
    const Text change = SayText(Msg::kChangeValue, {u"Debugger", Text(1, char16_t(0xD800))});
    SetLanguage(Language::kEnglish);
    EXPECT_EQ(Say(Msg::kNotListed, {name}), "no listed entry is named exactly \"" + name + "\" (see vornex-cli scan)");
    EXPECT_NE(chinese.find("\xE2\x80\x9C" + name + "\xE2\x80\x9D"), std::string::npos) << chinese;
    EXPECT_NE(change.find(char16_t(0xD800)), Text::npos);  // a lone surrogate survives
    EXPECT_NE(change.find(u"Debugger"), Text::npos);
}

}  // namespace
}  // namespace vornex::testing
