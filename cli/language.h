#pragma once
// The language vornex-cli speaks: Simplified Chinese for a Chinese user,
// English for everyone else (and wherever the choice is unclear).

namespace vornex::cli {

enum class Language { kEnglish, kChinese };

// As gettext chooses on Linux: the first of LC_ALL, LC_MESSAGES and LANG that
// is set and not empty decides (nullptr: not set). Any "zh" language (zh,
// zh_CN, zh_TW.Big5, zh-Hans, zh@x) is Chinese; C, POSIX and anything else,
// malformed or empty, is English.
Language LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang);
// Windows: a user UI language (a LANGID); any Chinese one is Chinese.
Language LanguageOfLangId(unsigned short langId);
// This user's language: GetUserDefaultUILanguage on Windows, the environment elsewhere.
Language UserLanguage();

}  // namespace vornex::cli
