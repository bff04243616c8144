#pragma once
// How names, commands and paths are shown, by the window's messages and by
// vornex-cli alike: the one table both front ends are held to.
#include <vector>

#include "core/text.h"

namespace vornex::testing {

struct DisplayCase {
    Text stored;
    Text shown;
};

inline std::vector<DisplayCase> DisplayCases() {
    const Text loneHigh(1, char16_t(0xD800));
    const Text loneLow(1, char16_t(0xDC00));
    return {
        {u"calc\u202Eexe.txt", u"calc\\u202Eexe.txt"},                        // right-to-left override
        {u"a\tb\r\nc\u0007", u"a\\u0009b\\u000D\\u000Ac\\u0007"},                // C0 controls forge lines
        {u"\u200B\u2066\uFEFF\u00AD", u"\\u200B\\u2066\\uFEFF\\u00AD"},          // zero-width, isolate, BOM, soft hyphen
        {u"zw\u200Dj\u200C.exe", u"zw\\u200Dj\\u200C.exe"},                      // joiners
        {u"a\u0085\u009B\u007F", u"a\\u0085\\u009B\\u007F"},                     // C1 and DEL
        {u"\u2028\u2029\u061C\u180E", u"\\u2028\\u2029\\u061C\\u180E"},          // separators, Arabic letter mark
        {u"\U000E0041\U000E007F", u"\\uDB40\\uDC41\\uDB40\\uDC7F"},              // tag characters
        {loneHigh + u"x", u"\\uD800x"},                                          // lone surrogates
        {u"x" + loneLow, u"x\\uDC00"},
        {loneLow + loneHigh, u"\\uDC00\\uD800"},                                 // reversed pair is no pair
        {u"\u4E2D\u6587 \u00E9 \U0001F600", u"\u4E2D\u6587 \u00E9 \U0001F600"},  // the rest is kept
        {u"C:\\Program Files\\x y.exe", u"C:\\Program Files\\x y.exe"},
        {u"cafe\u0301 \uFF43alc", u"cafe\u0301 \uFF43alc"},
    };
}

}  // namespace vornex::testing
