// A subkey's removal from its parent's list: li, lf, lh, or an ri over
// leaves. Entries keep their hashes and order; an emptied leaf leaves the
// ri; a list that empties is freed whole and the parent points at none.
#include "stores/hive/regf_edit.h"
#include "stores/hive/regf_subkey_list.h"

namespace vornex::hive {

Failure PlanSubkeyRemoval(const RegfImage& image, const CellUses& uses, const KeyNode& parent, KeyRef child,
                          ChangePlan* plan) {
    std::vector<std::uint32_t> lists;
    if (Failure failure = SubkeyListCells(image, parent, &lists)) return failure;
    plan->parent = parent.key;
    plan->removedKey = child;
    if (parent.subkeyCount == 1) {
        // Its last subkey: the list goes, with any empty leaves an ri kept.
        for (const std::uint32_t list : lists) {
            if (Failure failure = SoleUse(uses, list, "subkey list")) return failure;
            plan->frees.push_back(list);
        }
        parent.SetSubkeys(plan, kNoCell, 0);
        return {};
    }
    parent.SetSubkeys(plan, parent.subkeyList, parent.subkeyCount - 1);
    if (Failure failure = SoleUse(uses, parent.subkeyList, "subkey list")) return failure;
    SubkeyList root;
    if (Failure failure = ReadSubkeyList(image, parent.subkeyList, &root)) return failure;
    if (!root.indexRoot) {
        const std::uint32_t index = root.Find(child.cell);
        if (index == root.count) {
            return {ReadError::kBadList, "key " + Hex(child.cell) + " is not in list " + Hex(parent.subkeyList)};
        }
        root.RemoveEntry(plan, index);
        return {};
    }
    for (std::uint32_t at = 0; at < root.count; ++at) {
        SubkeyList leaf;
        if (Failure failure = ReadSubkeyList(image, root.Entry(at), &leaf)) return failure;
        const std::uint32_t index = leaf.Find(child.cell);
        if (index == leaf.count) continue;
        if (Failure failure = SoleUse(uses, leaf.cell, "subkey list")) return failure;
        if (leaf.count == 1) {
            root.RemoveEntry(plan, at);
            plan->frees.push_back(leaf.cell);
        } else {
            leaf.RemoveEntry(plan, index);
        }
        return {};
    }
    return {ReadError::kBadList, "key " + Hex(child.cell) + " is in no leaf of index root " + Hex(parent.subkeyList)};
}

}  // namespace vornex::hive
