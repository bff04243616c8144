#include "core/text.h"

namespace vornex {

Text DecimalText(unsigned long value) {
    Text digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

Text TextFromRegistryData(const unsigned char* data, std::size_t bytes) {
    std::size_t fullLength = 0;
    return TextFromRegistryData(data, bytes, Text::npos, &fullLength);
}

Text TextFromRegistryData(const unsigned char* data, std::size_t bytes, std::size_t maxLength,
                          std::size_t* fullLength) {
    // Registry data is little-endian UTF-16 on every platform Windows runs on.
    const auto unitAt = [data](std::size_t i) { return static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8)); };
    std::size_t length = 0;
    while (length < bytes / 2 && unitAt(length) != u'\0') ++length;
    *fullLength = length;
    std::size_t kept = length < maxLength ? length : maxLength;
    if (kept < length && kept > 0 && unitAt(kept - 1) >= 0xD800 && unitAt(kept - 1) <= 0xDBFF) --kept;
    Text text(kept, u'\0');
    for (std::size_t i = 0; i < kept; ++i) text[i] = unitAt(i);
    return text;
}

}  // namespace vornex

namespace vornex {

std::string ToUtf8(const Text& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

Text FromUtf8(const std::string& utf8) {
    Text out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

}  // namespace vornex

namespace vornex {

int DigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'z') return c - u'a' + 10;
    if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
    return -1;
}

std::vector<Text> SplitKeyPath(const Text& path) {
    std::vector<Text> parts;
    Text part;
    for (char16_t c : path) {
        if (c != u'\\') {
            part.push_back(c);
        } else if (!part.empty()) {
            parts.push_back(std::move(part));
            part.clear();
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

}  // namespace vornex
