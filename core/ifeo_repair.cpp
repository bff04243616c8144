#include "core/ifeo_repair.h"

namespace vornex {

namespace {

RepairResult Failed(Change attempted, RegResult code) {
    RepairResult result;
    result.failure = RepairFailure{std::move(attempted), code};
    return result;
}

void Keep(UniqueKey& key, UniqueKey* keepOpen) {
    if (keepOpen) *keepOpen = std::move(key);
}

}  // namespace

RepairResult RemoveDebugger(Registry& registry, const Text& name, UniqueKey* keepOpen) {
    const Change change{Change::Kind::kDeletedValue, kIfeoKeyPath + u'\\' + name, kDebuggerValue};
    // Without a name the path would be the IFEO key itself.
    if (name.empty()) return Failed(change, kRegInvalidParameter);
    UniqueKey subkey(registry);
    if (const RegResult opened = subkey.TryOpen(kLocalMachine, change.key); opened != kRegOk) {
        return Failed(change, opened);
    }
    if (const RegResult deleted = registry.DeleteValue(subkey.get(), kDebuggerValue); deleted != kRegOk) {
        return Failed(change, deleted);
    }
    Keep(subkey, keepOpen);
    return {{change}, std::nullopt};
}

RepairResult DeleteEntry(Registry& registry, const Text& name, UniqueKey* keepOpen) {
    return DeleteEntries(registry, {name}, keepOpen);
}

RepairResult DeleteEntries(Registry& registry, const std::vector<Text>& names, UniqueKey* keepOpen) {
    RepairResult result;
    UniqueKey ifeo(registry);
    if (const RegResult opened = ifeo.TryOpen(kLocalMachine, kIfeoKeyPath); opened != kRegOk) {
        const Text first = names.empty() ? Text() : u'\\' + names.front();
        return Failed({Change::Kind::kDeletedKey, kIfeoKeyPath + first, Text()}, opened);
    }
    for (const Text& name : names) {
        const Change change{Change::Kind::kDeletedKey, kIfeoKeyPath + u'\\' + name, Text()};
        // An empty subkey name would delete the IFEO key itself.
        const RegResult deleted = name.empty() ? kRegInvalidParameter : registry.DeleteKey(ifeo.get(), name);
        if (deleted != kRegOk) {
            result.failure = RepairFailure{change, deleted};
            return result;
        }
        result.changes.push_back(change);
    }
    Keep(ifeo, keepOpen);
    return result;
}

}  // namespace vornex
