#include "core/key_takeover.h"

namespace vornex {

RegResult RestoreKeySecurity(Registry& registry, const Text& path, LinkMode mode,
                             const std::vector<unsigned char>& original) {
    // Written at most twice: the key must not keep the security it was given.
    constexpr int kWrites = 2;
    RegResult writeFailure = kRegOk;
    for (int writes = 0;; ++writes) {
        std::vector<unsigned char> now;
        const RegResult read = registry.GetKeySecurity(kLocalMachine, path, mode, &now);
        if (read == kRegOk && now == original) return kRegOk;
        if (writes == kWrites) {
            if (writeFailure != kRegOk) return writeFailure;
            return read != kRegOk ? read : kRegInvalidSecurityDescr;
        }
        writeFailure = registry.SetKeySecurity(kLocalMachine, path, mode, original);
    }
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
