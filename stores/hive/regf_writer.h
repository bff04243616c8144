#pragma once
#include <cstdint>
#include <memory>

#include "stores/hive/regf_image.h"
#include "stores/hive/regf_result.h"

namespace vornex::hive {

struct ChangePlan;
struct CellUses;

// Changes the image it was given in place; reads of that image see each change at once.
//
// Each change keeps the bookkeeping Windows expects of a hive it loads: list
// counts, subkey lists in their own form (li, lf, lh, ri over leaves), value
// lists, security descriptors' reference counts and their ring, class names,
// big data, freed cells merged with their free neighbours, the last-write
// time of the key changed. A change is checked whole before its first byte
// is written: damage, or a cell something else still uses, refuses it and
// leaves the image as it was. Nothing grows; no copy of the image is made.
// On the first change every cell's references are counted from the root once.
class RegfWriter {
public:
    explicit RegfWriter(RegfImage& image);
    ~RegfWriter();
    // Removes one value (the one whose vk cell is value.cell) from key's value list and frees its cells.
    Failure DeleteValue(KeyRef key, const ValueInfo& value);
    // Removes child (which must have no subkeys) from parent's subkey list and frees it with all its values.
    // A link key (KEY_SYM_LINK) is removed the same way, as itself: nothing it points at is touched.
    Failure DeleteKey(KeyRef parent, KeyRef child);
    // What DeleteValue / DeleteKey would answer, changing nothing: the same
    // plan, checked, not written.
    Failure CanDeleteValue(KeyRef key, const ValueInfo& value);
    Failure CanDeleteKey(KeyRef parent, KeyRef child);
    // Makes the image a clean primary: both sequence numbers = sequence, the time stamp, the checksum.
    void Seal(std::uint32_t sequence, std::uint64_t filetime);

private:
    Failure PlanValueDeletion(KeyRef key, const ValueInfo& value, ChangePlan* plan);
    Failure PlanKeyDeletion(KeyRef parent, KeyRef child, ChangePlan* plan);
    Failure Write(const ChangePlan& plan);
    const CellUses& Uses();

    RegfImage& image_;
    std::unique_ptr<CellUses> uses_;
};

}  // namespace vornex::hive
