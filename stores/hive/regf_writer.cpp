#include "stores/hive/regf_writer.h"

#include <algorithm>

#include "stores/hive/regf_edit.h"

namespace vornex::hive {

using namespace layout;

namespace {

}  // namespace

Failure PlanValueRelease(const RegfImage& image, const RegfEdit::CellUses& uses, std::uint32_t value,
                         ChangePlan* plan) {
    const std::uint32_t users = uses.Of(value);
    if (users == 0) return SoleUse(uses, value, "value");
    if (users > 1) {
        plan->drops.push_back(value);  // another key lists it too: it stays theirs
        return {};
    }
    std::vector<std::uint32_t> data;
    if (Failure failure = ValueDataCells(image, value, &data)) return failure;
    for (const std::uint32_t cell : data) {
        if (uses.Of(cell) == 0) return SoleUse(uses, cell, "value data");
        (uses.Of(cell) > 1 ? plan->drops : plan->frees).push_back(cell);
    }
    plan->frees.push_back(value);
    return {};
}

namespace {

// Releases a cell one key held: freed with its last user, else kept for the others.
Failure PlanCellRelease(const RegfEdit::CellUses& uses, std::uint32_t cell, const char* what, ChangePlan* plan) {
    if (uses.Of(cell) == 0) return SoleUse(uses, cell, what);
    (uses.Of(cell) > 1 ? plan->drops : plan->frees).push_back(cell);
    return {};
}

// One key fewer uses the descriptor; the last one frees it and closes the
// ring of descriptors over the gap.
Failure PlanSecurityRelease(const RegfImage& image, const RegfEdit::CellUses& uses, std::uint32_t security,
                            ChangePlan* plan) {
    RegfEdit::Span sk;
    if (Failure failure = RegfEdit::Cell(image, security, "security descriptor", &sk)) return failure;
    if (sk.size < kSecurityHeaderSize || !Signature(sk.data, "sk")) {
        return {ReadError::kBadSignature, "security descriptor " + Hex(security) + " has no sk signature"};
    }
    const std::uint32_t count = U32(sk.data + kSecurityReferences);
    const std::uint32_t users = uses.Of(security);
    if (count == 0 || (users != RegfEdit::CellUses::kMany && count < users)) {
        return {ReadError::kBadCount, "security descriptor " + Hex(security) + " counts " + std::to_string(count) +
                                          " users, " + std::to_string(users) + " use it"};
    }
    if (count > 1) {
        plan->puts.push_back({security, kSecurityReferences, 4, count - 1});
        plan->releasedSecurity = security;
        return {};
    }
    const std::uint32_t flink = U32(sk.data + kSecurityFlink);
    const std::uint32_t blink = U32(sk.data + kSecurityBlink);
    plan->frees.push_back(security);
    if (flink == security && blink == security) return {};
    for (const std::uint32_t neighbour : {flink, blink}) {
        RegfEdit::Span other;
        if (Failure failure = RegfEdit::Cell(image, neighbour, "security descriptor", &other)) return failure;
        if (other.size < kSecurityHeaderSize || !Signature(other.data, "sk")) {
            return {ReadError::kBadSignature, "security descriptor " + Hex(neighbour) + " has no sk signature"};
        }
        const std::size_t back = neighbour == flink ? kSecurityBlink : kSecurityFlink;
        if (U32(other.data + back) != security) {
            return {ReadError::kBadList, "the ring of security descriptors is broken at " + Hex(neighbour)};
        }
    }
    plan->puts.push_back({flink, kSecurityBlink, 4, blink});
    plan->puts.push_back({blink, kSecurityFlink, 4, flink});
    return {};
}

Failure CheckAndApply(RegfImage& image, const ChangePlan& plan) {
    if (Failure failure = RegfEdit::Check(image, plan)) return failure;
    RegfEdit::Apply(image, plan);
    return {};
}

}  // namespace

Failure SoleUse(const RegfEdit::CellUses& uses, std::uint32_t cell, const char* what) {
    const std::uint32_t count = uses.Of(cell);
    if (count == 1) return {};
    if (count == 0) return {ReadError::kBadCell, std::string(what) + " " + Hex(cell) + " is not reached from the root"};
    return {ReadError::kShared, std::string(what) + " " + Hex(cell) + " is used " +
                                    (count == RegfEdit::CellUses::kMany ? std::string("many") : std::to_string(count)) +
                                    " times"};
}

RegfWriter::RegfWriter(RegfImage& image) : image_(image) {}

Failure RegfWriter::PlanValueDeletion(KeyRef key, const ValueInfo& value, ChangePlan* out) {
    const RegfEdit::CellUses& uses = RegfEdit::Uses(image_);
    RegfEdit::KeyNode node;
    if (Failure failure = RegfEdit::ReadKey(image_, key, &node)) return failure;
    std::vector<std::uint32_t> cells;
    if (Failure failure = RegfEdit::ValueList(image_, key, node, &cells)) return failure;
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
    if (uses.Of(node.valueList) > 1) {
        // Another key lists the same values through this very list: this key
        // gets a list of its own without the value, and theirs stays whole.
        if (uses.Of(value.cell) == 0) return SoleUse(uses, value.cell, "value");
        plan.drops.push_back(node.valueList);
        plan.drops.push_back(value.cell);
        if (count == 1) {
            plan.puts.push_back({key.cell, kKeyValueList, 4, kNoCell});
        } else {
            std::vector<std::uint32_t> rest = cells;
            rest.erase(rest.begin() + (found - cells.begin()));
            const auto size = static_cast<std::uint32_t>((4 + 4 * rest.size() + kCellAlignment - 1) &
                                                         ~std::size_t{kCellAlignment - 1});
            const std::uint32_t room = RegfEdit::FindFreeCell(image_, size);
            if (room == kNoCell) return {ReadError::kShared, "no free room in the hive for key " + Hex(key.cell) +
                                                                 "'s own value list"};
            plan.allocations.push_back({room, size, std::move(rest)});
            plan.puts.push_back({key.cell, kKeyValueList, 4, room});
        }
        plan.puts.push_back({key.cell, kKeyValueCount, 4, count - 1});
    } else if (count == 1) {
        if (Failure failure = PlanValueRelease(image_, uses, value.cell, &plan)) return failure;
        plan.frees.push_back(node.valueList);
        plan.puts.push_back({key.cell, kKeyValueList, 4, kNoCell});
        plan.puts.push_back({key.cell, kKeyValueCount, 4, 0});
    } else {
        if (Failure failure = PlanValueRelease(image_, uses, value.cell, &plan)) return failure;
        const auto index = static_cast<std::uint32_t>(found - cells.begin());
        plan.cuts.push_back({node.valueList, 4 * index, 4, 4 * (count - 1 - index)});
        plan.puts.push_back({key.cell, kKeyValueCount, 4, count - 1});
    }
    if (count == 1) {
        plan.puts.push_back({key.cell, kKeyMaxValueNameLength, 4, 0});
        plan.puts.push_back({key.cell, kKeyMaxValueDataLength, 4, 0});
    }
    plan.puts.push_back({key.cell, kKeyLastWrite, 8, FileTimeNow()});
    *out = std::move(plan);
    return {};
}

Failure RegfWriter::PlanKeyDeletion(KeyRef parent, KeyRef child, ChangePlan* out) {
    const RegfEdit::CellUses& uses = RegfEdit::Uses(image_);
    RegfEdit::KeyNode parentNode;
    RegfEdit::KeyNode childNode;
    if (Failure failure = RegfEdit::ReadKey(image_, parent, &parentNode)) return failure;
    if (Failure failure = RegfEdit::ReadKey(image_, child, &childNode)) return failure;
    if (childNode.subkeyCount != 0) {
        return {ReadError::kHasSubkeys, "key " + Hex(child.cell) + " has " + std::to_string(childNode.subkeyCount) +
                                            " subkeys"};
    }
    std::vector<KeyRef> siblings;
    if (Failure failure = RegfEdit::Subkeys(image_, parent, parentNode, &siblings)) return failure;
    if (std::find(siblings.begin(), siblings.end(), child) == siblings.end()) {
        return {ReadError::kBadList, "key " + Hex(child.cell) + " is not a subkey of " + Hex(parent.cell)};
    }
    if (Failure failure = SoleUse(uses, child.cell, "key")) return failure;
    ChangePlan plan;
    if (Failure failure = PlanSubkeyRemoval(image_, uses, parentNode, parent, child, &plan)) return failure;
    std::vector<std::uint32_t> values;
    if (Failure failure = RegfEdit::ValueList(image_, child, childNode, &values)) return failure;
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
    plan.puts.push_back({parent.cell, kKeyLastWrite, 8, FileTimeNow()});
    *out = std::move(plan);
    return {};
}

Failure RegfWriter::DeleteValue(KeyRef key, const ValueInfo& value) {
    ChangePlan plan;
    if (Failure failure = PlanValueDeletion(key, value, &plan)) return failure;
    return CheckAndApply(image_, plan);
}

Failure RegfWriter::DeleteKey(KeyRef parent, KeyRef child) {
    ChangePlan plan;
    if (Failure failure = PlanKeyDeletion(parent, child, &plan)) return failure;
    return CheckAndApply(image_, plan);
}

Failure RegfWriter::CanDeleteValue(KeyRef key, const ValueInfo& value) {
    ChangePlan plan;
    if (Failure failure = PlanValueDeletion(key, value, &plan)) return failure;
    return RegfEdit::Check(image_, plan);
}

Failure RegfWriter::CanDeleteKey(KeyRef parent, KeyRef child) {
    ChangePlan plan;
    if (Failure failure = PlanKeyDeletion(parent, child, &plan)) return failure;
    return RegfEdit::Check(image_, plan);
}

void RegfWriter::Seal(std::uint32_t sequence, std::uint64_t filetime) { RegfEdit::Seal(image_, sequence, filetime); }

}  // namespace vornex::hive
