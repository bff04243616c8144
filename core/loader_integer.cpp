#include "core/loader_integer.h"

namespace vornex {

namespace {

unsigned BaseOfPrefix(char16_t c) {
    switch (c) {
        case u'x': return 16;
        case u'o': return 8;
        case u'b': return 2;
    }
    return 0;
}

}  // namespace

std::uint32_t LoaderStringInteger(const Text& text) {
    std::size_t end = text.find(u'\0');
    if (end == Text::npos) end = text.size();
    if (end > kLoaderStringMaxLength) end = kLoaderStringMaxLength;

    std::size_t i = 0;
    while (i < end && text[i] <= u' ') ++i;
    bool negative = false;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    unsigned base = 10;
    if (end - i >= 2 && text[i] == u'0' && BaseOfPrefix(text[i + 1]) != 0) {
        base = BaseOfPrefix(text[i + 1]);
        i += 2;
    }
    std::uint32_t value = 0;
    for (; i < end; ++i) {
        const int digit = DigitValue(text[i]);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
        value = value * base + static_cast<std::uint32_t>(digit);  // wraps, as the loader's does
    }
    return negative ? 0u - value : value;
}

}  // namespace vornex
