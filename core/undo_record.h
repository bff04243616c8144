#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/registry.h"

namespace vornex {

// One value as it was read just before a change removed it.
struct UndoValue {
    Text name;  // exactly as stored
    std::uint32_t type = 0;
    std::vector<unsigned char> data;  // empty when not recorded
    std::size_t size = 0;             // the data's size as stored
    bool recorded = true;             // false: past the record's bound, named only
};

// What one change removes: a value of a key, or a key with every value it holds.
struct UndoKey {
    Text path;              // below HKEY_LOCAL_MACHINE
    bool wholeKey = false;  // the key goes; else only `values` go
    bool link = false;      // a link key, removed as a link; nothing below it is read
    Text linkTarget;
    // The key's own security, self-relative; empty when it could not be read
    // (securityResult says why). Only kept for a key that goes.
    std::vector<unsigned char> security;
    RegResult securityResult = kRegOk;
    std::vector<UndoValue> values;
    Text className;  // of a key that goes; empty for none
};

struct UndoRecord {
    std::vector<UndoKey> keys;
};

// The most value data one record holds: a key stuffed with data must not
// stop its own removal, so past this the rest is named with its size only.
constexpr std::size_t kUndoDataBound = 16u * 1024u * 1024u;

// Where a record of what a change removes is kept, whole and flushed, before
// the change is made. kRegOk, or why not: then nothing may be changed.
class UndoKeeper {
public:
    virtual ~UndoKeeper() = default;
    virtual RegResult Keep(const UndoRecord& record) = 0;
};

// Reads HKLM\path as it is now, for a record: every value when `wholeKey`,
// else only the value named `valueName` (compared as the registry does).
// A key whose security refuses reading is read with backup intent. Value
// data beyond `*budget` bytes is named, not recorded, and uses up the budget.
// kRegOk, or why the key could not be read whole: then no record exists.
RegResult ReadUndoKey(Registry& registry, const Text& path, bool wholeKey, const Text& valueName,
                      std::size_t* budget, UndoKey* out);

}  // namespace vornex
