#pragma once
#include <functional>
#include <vector>

#include "core/registry.h"

namespace vornex {

// What becomes of the key when the change succeeds.
enum class KeyAfterChange { kRemains, kGone };

struct TakeoverOptions {
    LinkMode mode = LinkMode::kFollow;
    KeyAfterChange after = KeyAfterChange::kRemains;
};

// What one takeover did. `change` is the change's own result, of the second
// try when the key was taken over.
struct TakeoverOutcome {
    RegResult change = kRegOk;
    bool tookOver = false;          // the administrators were given full control
    bool restored = false;          // the original security was put back and read back equal
    RegResult restore = kRegOk;     // why putting it back failed, if it did
};

// The one protocol for a change that a key's own security refuses: capture
// the key's descriptor, take over that one key, make the change again, put
// the original back and read it back to compare, unless the change removed
// the key. Nothing changes that could not be put back: a key whose
// descriptor cannot be read is not taken over. `change` is tried first as
// it is; `refusedBySecurity` tells a refusal the key's security makes from
// one it does not (the registry says "access denied" for both).
TakeoverOutcome ChangeWithTakeover(Registry& registry, const Text& path, const TakeoverOptions& options,
                                   const std::function<RegResult()>& change,
                                   const std::function<bool()>& refusedBySecurity = [] { return true; });

// Puts `original` back on root\path and reads it back: kRegOk when it reads
// back equal (also when it already was), kRegInvalidSecurityDescr when it
// does not. Tried twice before giving up.
RegResult RestoreKeySecurity(Registry& registry, const Text& path, LinkMode mode,
                             const std::vector<unsigned char>& original);

}  // namespace vornex
