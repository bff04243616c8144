#include "core/display_text.h"

namespace vornex {

namespace {

bool IsHidden(char32_t cp) {
    // C0, DEL and C1 controls; line and paragraph separators; the format
    // characters (Unicode category Cf) that change how text is shown.
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return true;
    if (cp == 0x00AD || cp == 0x061C || cp == 0x06DD || cp == 0x070F || cp == 0x08E2 ||
        cp == 0x180E || cp == 0xFEFF || cp == 0x110BD || cp == 0x110CD || cp == 0xE0001) {
        return true;
    }
    if (cp >= 0x0600 && cp <= 0x0605) return true;
    if (cp >= 0x200B && cp <= 0x200F) return true;
    if (cp >= 0x2028 && cp <= 0x202E) return true;
    if (cp >= 0x2060 && cp <= 0x2064) return true;
    if (cp >= 0x2066 && cp <= 0x206F) return true;
    if (cp >= 0xFFF9 && cp <= 0xFFFB) return true;
    if (cp >= 0x13430 && cp <= 0x1343F) return true;
    if (cp >= 0x1BCA0 && cp <= 0x1BCA3) return true;
    if (cp >= 0x1D173 && cp <= 0x1D17A) return true;
    if (cp >= 0xE0020 && cp <= 0xE007F) return true;
    return false;
}

bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

Text UnitEscape(char16_t unit) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    Text out = u"\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(unit >> shift) & 0xF]);
    return out;
}

Text DisplayEscaped(const Text& text) {
    Text out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHigh(unit) && i + 1 < text.size() && IsLow(text[i + 1])) {
            const char32_t cp = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            if (IsHidden(cp)) {
                out += UnitEscape(unit);
                out += UnitEscape(text[i + 1]);
            } else {
                out.push_back(unit);
                out.push_back(text[i + 1]);
            }
            ++i;
        } else if (IsHigh(unit) || IsLow(unit) || IsHidden(unit)) {
            out += UnitEscape(unit);
        } else {
            out.push_back(unit);
        }
    }
    return out;
}

}  // namespace vornex
