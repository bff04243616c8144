#include "core/key_takeover.h"

namespace vornex {

RegResult RestoreKeySecurity(Registry& registry, const Text& path, LinkMode mode,
                             const std::vector<unsigned char>& original) {
    RegResult result = kRegOk;
    // Once more before giving up: the key must not keep the security it was given.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<unsigned char> now;
        result = registry.GetKeySecurity(kLocalMachine, path, mode, &now);
        if (result == kRegOk && now == original) return kRegOk;
        if (result == kRegOk) result = kRegInvalidSecurityDescr;
        if (attempt == 2) break;
        if (const RegResult written = registry.SetKeySecurity(kLocalMachine, path, mode, original); written != kRegOk) {
            result = written;
        }
    }
    return result;
}

TakeoverOutcome ChangeWithTakeover(Registry& registry, const Text& path, const TakeoverOptions& options,
                                   const std::function<RegResult()>& change,
                                   const std::function<bool()>& refusedBySecurity) {
    TakeoverOutcome outcome;
    outcome.change = change();
    if (outcome.change != kRegAccessDenied || !refusedBySecurity()) return outcome;

    std::vector<unsigned char> original;
    if (registry.GetKeySecurity(kLocalMachine, path, options.mode, &original) != kRegOk) return outcome;
    if (registry.TakeOverKey(kLocalMachine, path, options.mode) != kRegOk) {
        // A takeover that failed half way (the owner taken, the DACL refused) is undone too.
        outcome.restore = RestoreKeySecurity(registry, path, options.mode, original);
        return outcome;
    }
    outcome.tookOver = true;
    outcome.change = change();
    if (outcome.change == kRegOk && options.after == KeyAfterChange::kGone) return outcome;
    outcome.restore = RestoreKeySecurity(registry, path, options.mode, original);
    outcome.restored = outcome.restore == kRegOk;
    return outcome;
}

}  // namespace vornex
