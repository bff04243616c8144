#include "core/case_fold.h"

namespace vornex {

char16_t RegistryUpcase(char16_t c) {
    auto shifted = [c](int delta) { return static_cast<char16_t>(c + delta); };
    if (c >= u'a' && c <= u'z') return shifted(-32);
    if (c < 0x80) return c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return shifted(-32);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x137 && (c & 1)) return shifted(-1);
    if (c >= 0x139 && c <= 0x148 && !(c & 1)) return shifted(-1);
    if (c >= 0x14A && c <= 0x177 && (c & 1)) return shifted(-1);
    if ((c == 0x17A || c == 0x17C || c == 0x17E)) return shifted(-1);
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return shifted(-32);
    if (c >= 0x430 && c <= 0x44F) return shifted(-32);
    if (c >= 0x450 && c <= 0x45F) return shifted(-80);
    if (c >= 0xFF41 && c <= 0xFF5A) return shifted(-32);
    return c;
}

bool RegistryNamesEqual(const Text& a, const Text& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (RegistryUpcase(a[i]) != RegistryUpcase(b[i])) return false;
    }
    return true;
}

}  // namespace vornex
