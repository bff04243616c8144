#include "stores/hive/regf_subkey_list.h"

namespace vornex::hive {

namespace {

enum : std::uint32_t { kCount = 2, kEntries = 4 };

bool IsLeaf(const unsigned char* p) { return Signature(p, "li") || Signature(p, "lf") || Signature(p, "lh"); }

// A leaf's entries after those already in `out`, up to the key's count.
Failure AppendLeaf(const SubkeyList& leaf, std::uint32_t expected, std::vector<KeyRef>* out) {
    if (leaf.count > expected - out->size()) {
        return {ReadError::kBadList, "subkey list " + Hex(leaf.cell) + " lists more subkeys than the key's count " +
                                         std::to_string(expected)};
    }
    for (std::size_t i = 0; i < leaf.count; ++i) out->push_back(KeyRef{leaf.Entry(i)});
    return {};
}

}  // namespace

std::uint32_t SubkeyList::Find(std::uint32_t target) const {
    for (std::uint32_t i = 0; i < count; ++i) {
        if (Entry(i) == target) return i;
    }
    return count;
}

void SubkeyList::RemoveEntry(ChangePlan* plan, std::uint32_t index) const {
    plan->cuts.push_back({cell, kEntries + index * stride, stride, (count - 1 - index) * stride});
    plan->puts.push_back({cell, kCount, 2, count - 1});
}

Failure ReadSubkeyList(const RegfImage& image, std::uint32_t cell, SubkeyList* out) {
    CellSpan span;
    if (Failure failure = image.Cell(cell, "subkey list", &span)) return failure;
    if (span.size < kEntries) {
        return {ReadError::kBadList, "subkey list " + Hex(cell) + " is shorter than its header"};
    }
    out->cell = cell;
    out->data = span.data;
    out->indexRoot = Signature(span.data, "ri");
    out->count = U16(span.data + kCount);
    out->stride = Signature(span.data, "li") || out->indexRoot ? 4 : 8;
    if (!out->indexRoot && !IsLeaf(span.data)) {
        return {ReadError::kBadSignature, "subkey list " + Hex(cell) + " has no list signature"};
    }
    if (out->count > (span.size - kEntries) / out->stride) {
        return {ReadError::kBadList, (out->indexRoot ? "index root " : "subkey list ") + Hex(cell) + " claims " +
                                         std::to_string(out->count) +
                                         (out->indexRoot ? " lists" : " entries") + ", more than its cell holds"};
    }
    return {};
}

Failure SubkeyListCells(const RegfImage& image, const KeyNode& key, std::vector<std::uint32_t>* out) {
    out->clear();
    if (key.subkeyCount == 0) return {};
    SubkeyList list;
    const Failure failure = ReadSubkeyList(image, key.subkeyList, &list);
    if (failure.error == ReadError::kBadCell) return failure;
    out->push_back(key.subkeyList);
    if (!list.indexRoot) return {};
    if (failure) return failure;
    // A leaf listed twice stays listed twice: counted twice, it is then
    // refused as shared by any change that would free it.
    out->reserve(1 + std::size_t{list.count});
    for (std::uint32_t i = 0; i < list.count; ++i) out->push_back(list.Entry(i));
    return {};
}

Failure ReadSubkeys(const RegfImage& image, const KeyNode& key, std::vector<KeyRef>* out) {
    out->clear();
    if (key.subkeyCount == 0) return {};
    SubkeyList list;
    if (Failure failure = ReadSubkeyList(image, key.subkeyList, &list)) return failure;
    if (!list.indexRoot) {
        if (Failure failure = AppendLeaf(list, key.subkeyCount, out)) return failure;
    } else {
        std::vector<std::uint32_t> leaves(list.count);
        for (std::uint32_t i = 0; i < list.count; ++i) leaves[i] = list.Entry(i);
        // Checked before any leaf is read: a root that repeats one leaf would
        // otherwise multiply it.
        if (const std::uint32_t repeat = FirstDuplicate(leaves); repeat != kNoCell) {
            return {ReadError::kDuplicate, "index root " + Hex(key.subkeyList) + " lists " + Hex(repeat) + " twice"};
        }
        for (const std::uint32_t cell : leaves) {
            if (cell == key.subkeyList) return {ReadError::kCycle, "index root " + Hex(cell) + " lists itself"};
            SubkeyList leaf;
            const Failure failure = ReadSubkeyList(image, cell, &leaf);
            if (failure.error == ReadError::kBadSignature || (!failure && leaf.indexRoot)) {
                return {ReadError::kBadList, "index root " + Hex(key.subkeyList) + " lists " + Hex(cell) +
                                                 ", which is not a leaf list"};
            }
            if (failure) return failure;
            if (Failure appended = AppendLeaf(leaf, key.subkeyCount, out)) return appended;
        }
    }
    if (out->size() != key.subkeyCount) {
        return {ReadError::kBadList, "key " + Hex(key.key.cell) + " counts " + std::to_string(key.subkeyCount) +
                                         " subkeys, its lists hold " + std::to_string(out->size())};
    }
    std::vector<std::uint32_t> cells(out->size());
    for (std::size_t i = 0; i < out->size(); ++i) {
        cells[i] = (*out)[i].cell;
        if (cells[i] == key.key.cell) {
            return {ReadError::kCycle, "key " + Hex(key.key.cell) + " lists itself as a subkey"};
        }
    }
    if (const std::uint32_t repeat = FirstDuplicate(std::move(cells)); repeat != kNoCell) {
        return {ReadError::kDuplicate, "key " + Hex(key.key.cell) + " lists subkey " + Hex(repeat) + " twice"};
    }
    return {};
}

}  // namespace vornex::hive
