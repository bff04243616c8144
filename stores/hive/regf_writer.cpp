#include "stores/hive/regf_writer.h"

#include <algorithm>

#include "stores/hive/regf_edit.h"
#include "stores/hive/regf_security.h"
#include "stores/hive/regf_subkey_list.h"
#include "stores/hive/regf_value_node.h"

namespace vornex::hive {

namespace {

// Releases a cell one key held: freed with its last user, else kept for the others.
Failure PlanCellRelease(const CellUses& uses, std::uint32_t cell, const char* what, ChangePlan* plan) {
    if (uses.Of(cell) == 0) return SoleUse(uses, cell, what);
    (uses.Of(cell) > 1 ? plan->drops : plan->frees).push_back(cell);
    return {};
}

// A value and its data, freed with their last user.
Failure PlanValueRelease(const RegfImage& image, const CellUses& uses, std::uint32_t value, ChangePlan* plan) {
    const std::uint32_t users = uses.Of(value);
    if (users == 0) return SoleUse(uses, value, "value");
    if (users > 1) {
        plan->drops.push_back(value);  // another key lists it too: it stays theirs
        return {};
    }
    std::vector<std::uint32_t> data;
    if (Failure failure = ValueDataCells(image, value, &data)) return failure;
    for (const std::uint32_t cell : data) {
        if (Failure failure = PlanCellRelease(uses, cell, "value data", plan)) return failure;
    }
    plan->frees.push_back(value);
    return {};
}

// One key fewer uses the descriptor; the last one frees it and closes the
// ring of descriptors over the gap.
Failure PlanSecurityRelease(const RegfImage& image, const CellUses& uses, std::uint32_t cell, ChangePlan* plan) {
    SecurityCell sk;
    if (Failure failure = ReadSecurityCell(image, cell, &sk)) return failure;
    const std::uint32_t users = uses.Of(cell);
    if (sk.references == 0 || (users != CellUses::kMany && sk.references < users)) {
        return {ReadError::kBadCount, "security descriptor " + Hex(cell) + " counts " +
                                          std::to_string(sk.references) + " users, " + std::to_string(users) +
                                          " use it"};
    }
    if (sk.references > 1) {
        sk.SetReferences(plan, sk.references - 1);
        plan->releasedSecurity = cell;
        return {};
    }
    plan->frees.push_back(cell);
    if (sk.flink == cell && sk.blink == cell) return {};
    SecurityCell next;
    SecurityCell previous;
    if (Failure failure = ReadSecurityCell(image, sk.flink, &next)) return failure;
    if (Failure failure = ReadSecurityCell(image, sk.blink, &previous)) return failure;
    if (next.blink != cell) return {ReadError::kBadList, "the ring of security descriptors is broken at " + Hex(next.cell)};
    if (previous.flink != cell) {
        return {ReadError::kBadList, "the ring of security descriptors is broken at " + Hex(previous.cell)};
    }
    next.SetBlink(plan, previous.cell);
    previous.SetFlink(plan, next.cell);
    return {};
}

}  // namespace

Failure SoleUse(const CellUses& uses, std::uint32_t cell, const char* what) {
    const std::uint32_t count = uses.Of(cell);
    if (count == 1) return {};
    if (count == 0) return {ReadError::kBadCell, std::string(what) + " " + Hex(cell) + " is not reached from the root"};
    return {ReadError::kShared, std::string(what) + " " + Hex(cell) + " is used " +
                                    (count == CellUses::kMany ? std::string("many") : std::to_string(count)) + " times"};
}

RegfWriter::RegfWriter(RegfImage& image) : image_(image) {}
RegfWriter::~RegfWriter() = default;

const CellUses& RegfWriter::Uses() {
    if (!uses_) uses_ = std::make_unique<CellUses>(CellUses::Count(image_));
    return *uses_;
}

Failure RegfWriter::PlanValueDeletion(KeyRef key, const ValueInfo& value, ChangePlan* out) {
    const CellUses& uses = Uses();
    KeyNode node;
    if (Failure failure = ReadKeyNode(image_, key, &node)) return failure;
    std::vector<std::uint32_t> cells;
    if (Failure failure = ReadValueList(image_, node, &cells)) return failure;
    const auto found = std::find(cells.begin(), cells.end(), value.cell);
    if (found == cells.end()) {
        return {ReadError::kBadList, "value " + Hex(value.cell) + " is not in key " + Hex(key.cell) + "'s list"};
    }
    if (std::count(cells.begin(), cells.end(), value.cell) != 1) {
        return {ReadError::kDuplicate, "key " + Hex(key.cell) + " lists value " + Hex(value.cell) + " twice"};
    }
    ChangePlan plan;
    if (uses.Of(node.valueList) == 0) return SoleUse(uses, node.valueList, "value list");
    const auto count = static_cast<std::uint32_t>(cells.size());
    const auto index = static_cast<std::uint32_t>(found - cells.begin());
    if (uses.Of(node.valueList) > 1) {
        // Another key lists the same values through this very list: this key
        // gets a list of its own without the value, and theirs stays whole.
        if (uses.Of(value.cell) == 0) return SoleUse(uses, value.cell, "value");
        plan.drops.push_back(node.valueList);
        plan.drops.push_back(value.cell);
        std::uint32_t list = kNoCell;
        if (count > 1) {
            std::vector<std::uint32_t> rest = cells;
            rest.erase(rest.begin() + index);
            const auto size = static_cast<std::uint32_t>((4 + 4 * rest.size() + kCellAlignment - 1) &
                                                         ~std::size_t{kCellAlignment - 1});
            list = image_.FindFreeCell(size);
            if (list == kNoCell) {
                return {ReadError::kShared, "no free room in the hive for key " + Hex(key.cell) + "'s own value list"};
            }
            plan.allocations.push_back({list, size, std::move(rest)});
        }
        node.SetValues(&plan, list, count - 1);
    } else {
        if (Failure failure = PlanValueRelease(image_, uses, value.cell, &plan)) return failure;
        if (count == 1) {
            plan.frees.push_back(node.valueList);
            node.SetValues(&plan, kNoCell, 0);
        } else {
            CutValueListEntry(&plan, node.valueList, index, count);
            node.SetValues(&plan, node.valueList, count - 1);
        }
    }
    node.SetLastWrite(&plan, FileTimeNow());
    *out = std::move(plan);
    return {};
}

Failure RegfWriter::PlanKeyDeletion(KeyRef parent, KeyRef child, ChangePlan* out) {
    const CellUses& uses = Uses();
    KeyNode parentNode;
    KeyNode childNode;
    if (Failure failure = ReadKeyNode(image_, parent, &parentNode)) return failure;
    if (Failure failure = ReadKeyNode(image_, child, &childNode)) return failure;
    if (childNode.subkeyCount != 0) {
        return {ReadError::kHasSubkeys, "key " + Hex(child.cell) + " has " + std::to_string(childNode.subkeyCount) +
                                            " subkeys"};
    }
    std::vector<KeyRef> siblings;
    if (Failure failure = ReadSubkeys(image_, parentNode, &siblings)) return failure;
    if (std::find(siblings.begin(), siblings.end(), child) == siblings.end()) {
        return {ReadError::kBadList, "key " + Hex(child.cell) + " is not a subkey of " + Hex(parent.cell)};
    }
    if (Failure failure = SoleUse(uses, child.cell, "key")) return failure;
    ChangePlan plan;
    if (Failure failure = PlanSubkeyRemoval(image_, uses, parentNode, child, &plan)) return failure;
    std::vector<std::uint32_t> values;
    if (Failure failure = ReadValueList(image_, childNode, &values)) return failure;
    if (!values.empty()) {
        if (const std::uint32_t repeat = FirstDuplicate(values); repeat != kNoCell) {
            return {ReadError::kDuplicate, "key " + Hex(child.cell) + " lists value " + Hex(repeat) + " twice"};
        }
        const bool listShared = uses.Of(childNode.valueList) > 1;
        if (Failure failure = PlanCellRelease(uses, childNode.valueList, "value list", &plan)) return failure;
        for (const std::uint32_t value : values) {
            // Through a shared list, each value stays in the other key's list.
            if (listShared) {
                if (uses.Of(value) == 0) return SoleUse(uses, value, "value");
                plan.drops.push_back(value);
            } else if (Failure failure = PlanValueRelease(image_, uses, value, &plan)) {
                return failure;
            }
        }
    }
    if (childNode.classLength > 0) {
        if (Failure failure = PlanCellRelease(uses, childNode.classCell, "class name", &plan)) return failure;
    }
    if (childNode.security != kNoCell) {
        if (Failure failure = PlanSecurityRelease(image_, uses, childNode.security, &plan)) return failure;
    }
    plan.frees.push_back(child.cell);
    parentNode.SetLastWrite(&plan, FileTimeNow());
    *out = std::move(plan);
    return {};
}

Failure RegfWriter::Write(const ChangePlan& plan) {
    if (Failure failure = image_.Check(plan)) return failure;
    image_.Apply(plan);
    uses_->Update(plan);
    return {};
}

Failure RegfWriter::DeleteValue(KeyRef key, const ValueInfo& value) {
    ChangePlan plan;
    if (Failure failure = PlanValueDeletion(key, value, &plan)) return failure;
    return Write(plan);
}

Failure RegfWriter::DeleteKey(KeyRef parent, KeyRef child) {
    ChangePlan plan;
    if (Failure failure = PlanKeyDeletion(parent, child, &plan)) return failure;
    return Write(plan);
}

Failure RegfWriter::CanDeleteValue(KeyRef key, const ValueInfo& value) {
    ChangePlan plan;
    if (Failure failure = PlanValueDeletion(key, value, &plan)) return failure;
    return image_.Check(plan);
}

Failure RegfWriter::CanDeleteKey(KeyRef parent, KeyRef child) {
    ChangePlan plan;
    if (Failure failure = PlanKeyDeletion(parent, child, &plan)) return failure;
    return image_.Check(plan);
}

void RegfWriter::Seal(std::uint32_t sequence, std::uint64_t filetime) { image_.Seal(sequence, filetime); }

}  // namespace vornex::hive
