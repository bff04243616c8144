#include "core/registry_upcase.h"

#include <array>
#include <cstdint>

namespace vornex {
namespace {

struct UpcaseRun {
    std::uint16_t first;
    std::uint16_t last;
    std::uint16_t step;
    std::int32_t delta;
};

constexpr UpcaseRun kRuns[] = {
#include "core/registry_upcase_ranges.inc"
};

// The whole BMP as one table: lookups sit in every name comparison, and
// 128 KiB once is cheaper than a search per unit.
using UpcaseTable = std::array<char16_t, 0x10000>;

UpcaseTable BuildTable() {
    UpcaseTable table{};
    for (std::size_t unit = 0; unit < table.size(); ++unit) table[unit] = static_cast<char16_t>(unit);
    for (const UpcaseRun& run : kRuns) {
        for (std::uint32_t unit = run.first; unit <= run.last; unit += run.step) {
            table[unit] = static_cast<char16_t>(static_cast<std::int32_t>(unit) + run.delta);
        }
    }
    return table;
}

const UpcaseTable& Table() {
    static const UpcaseTable table = BuildTable();
    return table;
}

}  // namespace

char16_t RegistryUpcase(char16_t unit) { return Table()[unit]; }

bool RegistryNamesEqual(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() && RegistryNamesCompare(a.data(), a.size(), b.data(), b.size()) == 0;
}

int RegistryNamesCompare(const char16_t* a, std::size_t aLength, const char16_t* b,
                         std::size_t bLength) {
    const UpcaseTable& table = Table();
    const std::size_t common = aLength < bLength ? aLength : bLength;
    for (std::size_t i = 0; i < common; ++i) {
        const char16_t left = table[a[i]];
        const char16_t right = table[b[i]];
        if (left != right) return left < right ? -1 : 1;
    }
    if (aLength == bLength) return 0;
    return aLength < bLength ? -1 : 1;
}

}  // namespace vornex
