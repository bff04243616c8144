#pragma once
// Strings a GlobalFlag or UseFilter value may hold, with the number the loader
// takes from each. Checked natively against LoaderStringInteger and, under
// Wine, against ntdll's own RtlUnicodeStringToInteger (tests/e2e).
#include <cstdint>
#include <string>
#include <vector>

#include "core/text.h"

namespace vornex::testing {

struct LoaderIntegerCase {
    Text text;
    std::uint32_t expected;
    const char* what;
};

inline std::vector<LoaderIntegerCase> LoaderIntegerCases() {
    using namespace std::string_literals;
    return {
        {u"512", 512, "decimal"},
        {u"0x00000200", 0x200, "hex as written by gflags"},
        {u"0xFFFFFE00", 0xFFFFFE00, "hex digits in upper case"},
        {u"0xfffffe00", 0xFFFFFE00, "hex digits in lower case"},
        {u"+0x200", 0x200, "plus sign"},
        {u"-0x200", 0xFFFFFE00, "minus negates: bit 0x200 still set"},
        {u"-4294966784", 512, "negative that wraps to 512"},
        {u"-1", 0xFFFFFFFF, "minus one: every flag"},
        {u"\t512", 512, "leading tab"},
        {u" \r\n\v\f512", 512, "leading line breaks and feeds"},
        {u"\x01\x1F" u"512", 512, "leading control characters"},
        {u" 0x200 ", 0x200, "spaces around"},
        {u"0x00000200junk", 0x200, "junk after the digits"},
        {u"0x2g", 2, "a letter past the base ends the digits"},
        {u"1e3", 1, "no exponent"},
        {u"0b1000000000", 0x200, "binary prefix"},
        {u"0o1000", 0x200, "octal prefix"},
        {u"0b12", 1, "2 is no binary digit"},
        {u"0o9", 0, "9 is no octal digit"},
        {u"0X200", 0, "upper-case X is no prefix"},
        {u"0B1000000000", 0, "upper-case B is no prefix"},
        {u"0O1000", 0, "upper-case O is no prefix"},
        {u"00x200", 0, "a prefix only right after the sign"},
        {u"0755", 755, "a leading zero is not octal"},
        {u"4294967808", 512, "wraps at 32 bits"},
        {u"0x100000200", 0x200, "hex that wraps at 32 bits"},
        {u"0x1FFFFFFFF", 0xFFFFFFFF, "hex that wraps to all ones"},
        {u"99999999999999999999", 1661992959, "decimal far past 32 bits"},
        {u"", 0, "empty"},
        {u"0", 0, "zero"},
        {u"+", 0, "only a plus"},
        {u"-", 0, "only a minus"},
        {u"0x", 0, "only a hex prefix"},
        {u"0b", 0, "only a binary prefix"},
        {u"-0o", 0, "only a sign and a prefix"},
        {u"- 512", 0, "no white space after the sign"},
        {u"+-512", 0, "one sign only"},
        {u"0x 200", 0, "no white space after the prefix"},
        {u"512\0" u"1"s, 512, "NUL after the digits"},
        {u"5\0" u"12"s, 5, "NUL between the digits"},
        {u"\0" u"512"s, 0, "NUL before the digits"},
        {u" \0 512"s, 0, "NUL inside the leading white space"},
        {u"0x\0" u"200"s, 0, "NUL after the prefix"},
        {u"\u00A0" u"512", 0, "no-break space is not white space"},
        {u"\u3000" u"512", 0, "ideographic space is not white space"},
        {u"\u2003" u"512", 0, "em space is not white space"},
        {u"\u0085" u"512", 0, "next line is not white space"},
        {u"\uFEFF" u"512", 0, "byte order mark is not white space"},
        {u"\uFF15\uFF11\uFF12", 0, "full-width digits"},
        {u"\uFF10\uFF58\uFF12", 0, "full-width 0x2"},
        {u"\u0665\u0661\u0662", 0, "Arabic-Indic digits"},
        {u"\U0001D7D3", 0, "mathematical bold digit five"},
        {u"5\u0661", 5, "a non-ASCII digit ends the digits"},
        {u"\uFF0B" u"512", 0, "full-width plus"},
        {u"\u2212" u"512", 0, "minus sign U+2212"},
        {Text(32765, u' ') + u"512", 5, "long: the descriptor ends inside the digits"},
        {Text(40000, u' ') + u"512", 0, "long: digits past the descriptor's end"},
        {u"0x" + Text(40000, u'0') + u"200", 0, "long: zeros up to the end, then the flag"},
        {u"5" + Text(40000, u'0'), 0, "long: a decimal that wraps to 0"},
    };
}

}  // namespace vornex::testing
