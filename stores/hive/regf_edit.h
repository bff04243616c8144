#pragma once
// Internal to the regf writer: the reference count of every cell, and the
// parts of a change planned by more than one of its files.
#include <cstdint>
#include <vector>

#include "stores/hive/regf_change_plan.h"
#include "stores/hive/regf_key_node.h"

namespace vornex::hive {

// How many references reach each cell from the root: subkey lists, value
// lists, values, data, big-data segments, class names, keys' security
// descriptors. One byte per 8-byte slot of the bins, saturating at 255.
// A cell is freed only when the change removes its last reference.
struct CellUses {
    static constexpr std::uint8_t kMany = 255;
    std::vector<std::uint8_t> refs;

    // Walked from the root; what the walk cannot read stays uncounted, so a
    // change that needs one of those cells finds it reached by nothing and
    // is refused (SoleUse).
    static CellUses Count(const RegfImage& image);

    std::uint8_t Of(std::uint32_t cell) const {
        return cell % kCellAlignment == 0 && cell / kCellAlignment < refs.size() ? refs[cell / kCellAlignment] : 0;
    }
    // True on the first reference.
    bool Add(std::uint32_t cell) {
        if (cell % kCellAlignment != 0 || cell / kCellAlignment >= refs.size()) return false;
        std::uint8_t& count = refs[cell / kCellAlignment];
        if (count != kMany) ++count;
        return count == 1;
    }
    void Drop(std::uint32_t cell) {
        if (cell % kCellAlignment != 0 || cell / kCellAlignment >= refs.size()) return;
        std::uint8_t& count = refs[cell / kCellAlignment];
        if (count != kMany && count != 0) --count;
    }
    // After the plan is written: new cells counted, dropped and freed ones not.
    void Update(const ChangePlan& plan);
};

// The cells that hold a value's data: none (inline, empty or absent), one
// cell, or a db cell, its segment list and its segments.
Failure ValueDataCells(const RegfImage& image, std::uint32_t valueCell, std::vector<std::uint32_t>* out);

// Succeeds when exactly one reference reaches the cell: the one a change
// removes. Anything else uses it too, or the walk never reached it.
Failure SoleUse(const CellUses& uses, std::uint32_t cell, const char* what);

// Plans child's removal from parent's subkey list, in the list's own form;
// a list that empties is freed whole (regf_key_lists.cpp).
Failure PlanSubkeyRemoval(const RegfImage& image, const CellUses& uses, const KeyNode& parent, KeyRef child,
                          ChangePlan* plan);

}  // namespace vornex::hive
