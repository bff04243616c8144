#include "core/ifeo_repair.h"

#include <functional>

#include "core/key_takeover.h"

namespace vornex {

namespace {

using Kind = Change::Kind;

class Repair {
public:
    explicit Repair(Registry& registry) : registry_(registry) {}

    RepairResult& result() { return result_; }

    bool Fail(Change attempted, RegResult code) {
        result_.failure = RepairFailure{std::move(attempted), code};
        return false;
    }

    // Makes `change` with `attempt`, through the takeover of that key's
    // security where the key refuses it, and records what was done.
    bool Make(const Change& change, const TakeoverOptions& options, const std::function<RegResult()>& attempt,
              const std::function<bool()>& refusedBySecurity = [] { return true; }) {
        const TakeoverOutcome outcome = ChangeWithTakeover(registry_, change.key, options, attempt, refusedBySecurity);
        const bool made = outcome.change == kRegOk;
        if (outcome.tookOver) Done({Kind::kTookOverSecurity, change.key, Text()});
        if (made) Done(change);
        if (outcome.restored) Done({Kind::kRestoredSecurity, change.key, Text()});
        // A key left taken over weighs more than the change that failed: that is what is said.
        if (outcome.restore != kRegOk) return Fail({Kind::kRestoredSecurity, change.key, Text()}, outcome.restore);
        return made || Fail(change, outcome.change);
    }

    // Whether the key at path is a link; false, with the failure noted, when
    // that cannot be told.
    bool IsLink(const Text& path, bool* link, const Change& forFailure) {
        const RegResult code = registry_.QueryLink(kLocalMachine, path, link, nullptr);
        return code == kRegOk || Fail(forFailure, code);
    }

    bool RemoveLink(const Text& path) {
        return Make({Kind::kDeletedLink, path, Text()}, {LinkMode::kLinkItself, KeyAfterChange::kGone},
                    [&] { return registry_.DeleteLink(kLocalMachine, path); });
    }

private:
    bool Done(Change change) {
        result_.changes.push_back(std::move(change));
        return true;
    }

    Registry& registry_;
    RepairResult result_;
};

Text EntryPath(const Text& name) { return kIfeoKeyPath + u'\\' + name; }

}  // namespace

RepairResult RemoveDebugger(Registry& registry, const Text& name, UniqueKey* keepOpen) {
    Repair repair(registry);
    const Text path = EntryPath(name);
    const Change change{Kind::kDeletedValue, path, kDebuggerValue};
    // Without a name the path would be the IFEO key itself.
    if (name.empty()) {
        repair.Fail(change, kRegInvalidParameter);
        return repair.result();
    }
    // A name no path reaches is never a link (stores refuse to open one as
    // such); every other entry is checked just before the change.
    bool link = false;
    if (!HoldsSeparator(name) && !repair.IsLink(path, &link, change)) return repair.result();
    // The loader reads the Debugger value through the link; removing the
    // link ends the redirection without touching the key it points at.
    if (link) {
        repair.RemoveLink(path);
        return repair.result();
    }
    UniqueKey ifeo(registry);
    UniqueKey subkey(registry);
    const bool removed = repair.Make(change, {LinkMode::kFollow, KeyAfterChange::kRemains}, [&] {
        constexpr std::uint32_t kAccess = kKeyQueryValue | kKeySetValue;
        RegResult opened = kRegOk;
        if (HoldsSeparator(name)) {
            // Opened below the IFEO key by its exact name, never as a path.
            opened = ifeo.TryOpen(kLocalMachine, kIfeoKeyPath, kKeyRead);
            if (opened == kRegOk) opened = subkey.TryOpenChild(ifeo.get(), name, kAccess);
        } else {
            opened = subkey.TryOpen(kLocalMachine, path, kAccess);
        }
        return opened != kRegOk ? opened : registry.DeleteValue(subkey.get(), kDebuggerValue);
    });
    if (removed && keepOpen) *keepOpen = std::move(subkey);
    return repair.result();
}

RepairResult DeleteEntry(Registry& registry, const Text& name, UniqueKey* keepOpen) {
    return DeleteEntries(registry, {name}, keepOpen);
}

RepairResult DeleteEntries(Registry& registry, const std::vector<Text>& names, UniqueKey* keepOpen) {
    Repair repair(registry);
    UniqueKey ifeo(registry);
    if (const RegResult opened = ifeo.TryOpen(kLocalMachine, kIfeoKeyPath, kKeyRead); opened != kRegOk) {
        repair.Fail({Kind::kDeletedKey, names.empty() ? kIfeoKeyPath : EntryPath(names.front()), Text()}, opened);
        return repair.result();
    }
    for (const Text& name : names) {
        const Change change{Kind::kDeletedKey, EntryPath(name), Text()};
        // An empty subkey name would delete the IFEO key itself.
        if (name.empty()) {
            repair.Fail(change, kRegInvalidParameter);
            return repair.result();
        }
        bool link = false;
        if (!HoldsSeparator(name) && !repair.IsLink(change.key, &link, change)) return repair.result();
        const auto hasNoSubkeys = [&] { return HasNoSubkeys(registry, ifeo.get(), name); };
        const bool deleted =
            link ? repair.RemoveLink(change.key)
                 : repair.Make(change, {LinkMode::kFollow, KeyAfterChange::kGone},
                               [&] { return registry.DeleteKey(ifeo.get(), name); }, hasNoSubkeys);
        // The registry refuses a key with subkeys as it refuses a key's
        // security; told apart, since taking the key over would not help.
        if (!deleted && repair.result().failure->code == kRegAccessDenied &&
            HasSubkeys(registry, ifeo.get(), name)) {
            repair.result().failure->code = kRegKeyHasChildren;
        }
        if (!deleted) return repair.result();
    }
    if (keepOpen) *keepOpen = std::move(ifeo);
    return repair.result();
}

}  // namespace vornex
