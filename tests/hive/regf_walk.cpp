#include "tests/hive/regf_walk.h"

#include <unordered_set>
#include <utility>
#include <vector>

namespace vornex::hive {

WalkCounts WalkKeys(const RegfImage& image, const WalkEvents& events) {
    WalkCounts counts;
    std::unordered_set<std::uint32_t> seen;
    std::vector<std::pair<KeyRef, std::size_t>> pending{{image.Root(), 0}};
    seen.insert(image.Root().cell);
    while (!pending.empty()) {
        const auto [key, depth] = pending.back();
        pending.pop_back();
        ++counts.keys;
        if (events.onKey) events.onKey(key, depth);
        auto subkeys = image.Subkeys(key);
        if (!subkeys.ok()) {
            ++counts.damaged;
            if (events.onDamage) events.onDamage(key, subkeys.error, subkeys.where);
            continue;
        }
        // Pushed in reverse so that children come out in stored order.
        for (auto child = subkeys.value.rbegin(); child != subkeys.value.rend(); ++child) {
            if (!seen.insert(child->cell).second) {
                ++counts.repeats;
                if (events.onRepeat) events.onRepeat(key, *child);
                continue;
            }
            pending.emplace_back(*child, depth + 1);
        }
    }
    return counts;
}

}  // namespace vornex::hive
