#include "core/ifeo_repair.h"

#include <functional>

#include "core/key_takeover.h"

namespace vornex {

namespace {

using Kind = Change::Kind;

class Repair {
public:
    explicit Repair(Registry& registry) : registry_(registry) {}

    RepairResult& result() {
        if (!result_.failures.empty()) result_.failure = result_.failures.front();
        return result_;
    }

    bool Fail(Change attempted, RegResult code) {
        result_.failures.push_back(RepairFailure{std::move(attempted), code});
        return false;
    }

    // The last failure was for another reason than its code said.
    void Reclassify(RegResult code) { result_.failures.back().code = code; }

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

    // Reads what the changes at `attempted` will remove and has it kept;
    // false, with the failure noted on the first change, when either fails.
    bool Recorded(UndoKeeper* undo, const std::vector<Change>& attempted) {
        if (!undo || attempted.empty()) return true;
        UndoRecord record;
        std::size_t budget = kUndoDataBound;
        for (const Change& change : attempted) {
            UndoKey key;
            const bool wholeKey = change.kind != Kind::kDeletedValue;
            const RegResult read = ReadUndoKey(registry_, change.key, wholeKey, change.value, &budget, &key);
            if (read != kRegOk) return Fail(change, read);
            record.keys.push_back(std::move(key));
        }
        const RegResult kept = undo->Keep(record);
        return kept == kRegOk || Fail(attempted.front(), kept);
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

RepairResult RemoveDebugger(Registry& registry, const Text& name, UniqueKey* keepOpen, UndoKeeper* undo) {
    Repair repair(registry);
    const Text path = EntryPath(name);
    const Change change{Kind::kDeletedValue, path, kDebuggerValue};
    // Without a name the path would be the IFEO key itself.
    if (name.empty()) {
        repair.Fail(change, kRegInvalidParameter);
        return repair.result();
    }
    if (!repair.Recorded(undo, {change})) return repair.result();
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

RepairResult DeleteEntry(Registry& registry, const Text& name, UniqueKey* keepOpen, UndoKeeper* undo) {
    return DeleteEntries(registry, {name}, keepOpen, undo);
}

RepairResult DeleteEntries(Registry& registry, const std::vector<Text>& names, UniqueKey* keepOpen,
                           UndoKeeper* undo, AfterFailure after) {
    Repair repair(registry);
    UniqueKey ifeo(registry);
    if (const RegResult opened = ifeo.TryOpen(kLocalMachine, kIfeoKeyPath, kKeyRead); opened != kRegOk) {
        repair.Fail({Kind::kDeletedKey, names.empty() ? kIfeoKeyPath : EntryPath(names.front()), Text()}, opened);
        return repair.result();
    }
    std::vector<Change> planned;
    // Up to the first empty name, where the deletions stop.
    for (const Text& name : names) {
        if (name.empty()) break;
        planned.push_back({Kind::kDeletedKey, EntryPath(name), Text()});
    }
    if (!repair.Recorded(undo, planned)) return repair.result();
    for (const Text& name : names) {
        const Change change{Kind::kDeletedKey, EntryPath(name), Text()};
        // An empty subkey name would delete the IFEO key itself.
        if (name.empty()) {
            repair.Fail(change, kRegInvalidParameter);
            return repair.result();
        }
        bool link = false;
        if (!HoldsSeparator(name) && !repair.IsLink(change.key, &link, change)) {
            if (after == AfterFailure::kGoOn) continue;
            return repair.result();
        }
        const auto hasNoSubkeys = [&] { return SubkeyCount(registry, ifeo.get(), name) == 0u; };
        const bool deleted =
            link ? repair.RemoveLink(change.key)
                 : repair.Make(change, {LinkMode::kFollow, KeyAfterChange::kGone},
                               [&] { return registry.DeleteKey(ifeo.get(), name); }, hasNoSubkeys);
        // The registry refuses a key with subkeys as it refuses a key's
        // security; told apart, since taking the key over would not help.
        if (!deleted && repair.result().failures.back().code == kRegAccessDenied &&
            SubkeyCount(registry, ifeo.get(), name).value_or(0) > 0) {
            repair.Reclassify(kRegKeyHasChildren);
        }
        if (!deleted && after == AfterFailure::kStop) return repair.result();
    }
    if (keepOpen) *keepOpen = std::move(ifeo);
    return repair.result();
}

}  // namespace vornex
