#pragma once
#include <optional>
#include <vector>

#include "core/ifeo.h"
#include "core/undo_record.h"

namespace vornex {

struct Change {
    enum class Kind {
        kDeletedValue,
        kDeletedKey,
        kDeletedLink,        // a link key itself; the key it points at stays
        kTookOverSecurity,   // the administrators were given full control of the key
        kRestoredSecurity,   // the key's own security was put back exactly
    };
    Kind kind;
    Text key;    // below HKEY_LOCAL_MACHINE
    Text value;  // the value deleted; empty for the other kinds
};

struct RepairFailure {
    Change attempted;  // what could not be done
    // The registry's code; kRegKeyHasChildren for a subkey that could not be
    // deleted because it has subkeys of its own.
    RegResult code;
};

struct RepairResult {
    std::vector<Change> changes;  // made, in order
    // Every failure, in order: the first alone, unless the repair went on past it.
    std::vector<RepairFailure> failures;
    std::optional<RepairFailure> failure;  // the first of them

    bool succeeded() const { return failures.empty(); }
};

// The repairs of IFEO entries, by their subkey names exactly as listed. Each
// asks only the access it needs; when a key's own security refuses the
// change, the repair takes over that one key's security, makes the change,
// and puts the original security back where the key remains. An entry that
// is a registry link is removed as a link, never through it: nothing outside
// the IFEO key is changed. Each stops at its first failure. `keepOpen`, when
// given, receives the key the repair opened, so that a caller can close it
// after work of its own. `undo`, when given, is handed the record of
// everything the repair will remove, read just before its first change; a
// record that cannot be read whole or kept stops the repair before it
// changes anything.

// Removes the Debugger value of one entry; the subkey and its other values stay.
RepairResult RemoveDebugger(Registry& registry, const Text& name, UniqueKey* keepOpen = nullptr,
                            UndoKeeper* undo = nullptr);
// Deletes one entry's subkey.
RepairResult DeleteEntry(Registry& registry, const Text& name, UniqueKey* keepOpen = nullptr,
                         UndoKeeper* undo = nullptr);
// Whether a repair of several entries stops at the first one it cannot
// change (the window's order) or goes on with the others, so that one planted
// obstacle cannot keep the rest in place.
enum class AfterFailure { kStop, kGoOn };

// Deletes the subkeys of the entries, in order, with one record of them all.
RepairResult DeleteEntries(Registry& registry, const std::vector<Text>& names,
                           UniqueKey* keepOpen = nullptr, UndoKeeper* undo = nullptr,
                           AfterFailure after = AfterFailure::kStop);

}  // namespace vornex
