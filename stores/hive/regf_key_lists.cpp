// A subkey's removal from its parent's list: li, lf, lh, or an ri over
// leaves. Entries keep their hashes and order; an emptied leaf leaves the
// ri; a list that empties is freed whole and the parent points at none.
#include "stores/hive/regf_edit.h"

namespace vornex::hive {

using namespace layout;

namespace {

// The entry of `child` in a leaf whose count CollectSubkeys has checked.
std::size_t EntryOf(const RegfEdit::Span& leaf, KeyRef child) {
    const std::size_t count = U16(leaf.data + kListCount);
    const std::size_t stride = LeafStride(leaf.data);
    for (std::size_t i = 0; i < count; ++i) {
        if (U32(leaf.data + kListEntries + i * stride) == child.cell) return i;
    }
    return count;
}

// Removes entry `index` of `stride` bytes from a list cell and lowers its count.
void PlanCut(std::uint32_t cell, const RegfEdit::Span& list, std::size_t index, std::size_t stride, ChangePlan* plan) {
    const std::size_t count = U16(list.data + kListCount);
    plan->cuts.push_back({cell, static_cast<std::uint32_t>(kListEntries + index * stride),
                          static_cast<std::uint32_t>(stride), static_cast<std::uint32_t>((count - 1 - index) * stride)});
    plan->puts.push_back({cell, kListCount, 2, count - 1});
}

}  // namespace

Failure PlanSubkeyRemoval(const RegfImage& image, const RegfEdit::CellUses& uses, const RegfEdit::KeyNode& parent,
                          KeyRef parentKey, KeyRef child, ChangePlan* plan) {
    std::vector<std::uint32_t> lists;
    if (Failure failure = SubkeyListCells(image, parent, &lists)) return failure;
    plan->parent = parentKey;
    plan->removedKey = child;
    if (parent.subkeyCount == 1) {
        // Its last subkey: the list goes, with any empty leaves an ri kept.
        for (const std::uint32_t list : lists) {
            if (Failure failure = SoleUse(uses, list, "subkey list")) return failure;
            plan->frees.push_back(list);
        }
        plan->puts.push_back({parentKey.cell, kKeySubkeyList, 4, kNoCell});
        plan->puts.push_back({parentKey.cell, kKeySubkeyCount, 4, 0});
        // As Windows does when a key's last subkey goes.
        plan->puts.push_back({parentKey.cell, kKeyMaxNameLength, 2, 0});
        plan->puts.push_back({parentKey.cell, kKeyMaxClassLength, 4, 0});
        return {};
    }
    plan->puts.push_back({parentKey.cell, kKeySubkeyCount, 4, parent.subkeyCount - 1});
    if (Failure failure = SoleUse(uses, parent.subkeyList, "subkey list")) return failure;
    RegfEdit::Span root;
    if (Failure failure = RegfEdit::Cell(image, parent.subkeyList, "subkey list", &root)) return failure;
    if (lists.size() == 1) {
        const std::size_t index = EntryOf(root, child);
        if (index == U16(root.data + kListCount)) {
            return {ReadError::kBadList, "key " + Hex(child.cell) + " is not in list " + Hex(parent.subkeyList)};
        }
        PlanCut(parent.subkeyList, root, index, LeafStride(root.data), plan);
        return {};
    }
    for (std::size_t at = 1; at < lists.size(); ++at) {
        RegfEdit::Span leaf;
        if (Failure failure = RegfEdit::Cell(image, lists[at], "subkey list", &leaf)) return failure;
        const std::size_t index = EntryOf(leaf, child);
        const std::size_t count = U16(leaf.data + kListCount);
        if (index == count) continue;
        if (Failure failure = SoleUse(uses, lists[at], "subkey list")) return failure;
        if (count == 1) {
            PlanCut(parent.subkeyList, root, at - 1, 4, plan);
            plan->frees.push_back(lists[at]);
        } else {
            PlanCut(lists[at], leaf, index, LeafStride(leaf.data), plan);
        }
        return {};
    }
    return {ReadError::kBadList, "key " + Hex(child.cell) + " is in no leaf of index root " + Hex(parent.subkeyList)};
}

}  // namespace vornex::hive
