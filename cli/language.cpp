#include "cli/language.h"

#include <cstring>
#include <initializer_list>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace vornex::cli {

Language LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    const char* deciding = nullptr;
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value != nullptr && *value != '\0') {
            deciding = value;
            break;
        }
    }
    // language[_territory][.codeset][@modifier]; a BCP 47 tag (zh-Hans) too.
    if (deciding == nullptr || std::strncmp(deciding, "zh", 2) != 0) return Language::kEnglish;
    const char after = deciding[2];
    return after == '\0' || std::strchr("_.@-", after) != nullptr ? Language::kChinese : Language::kEnglish;
}

Language LanguageOfLangId(unsigned short langId) {
    // PRIMARYLANGID(LANG_CHINESE): zh-CN, zh-TW, zh-HK, zh-SG, zh-MO.
    return (langId & 0x3FF) == 0x04 ? Language::kChinese : Language::kEnglish;
}

Language UserLanguage() {
#ifdef _WIN32
    return LanguageOfLangId(GetUserDefaultUILanguage());
#else
    return LanguageOfLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
#endif
}

}  // namespace vornex::cli
