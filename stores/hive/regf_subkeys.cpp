// Subkey lists (li, lf, lh, and ri over them) and lookup by name.
#include <algorithm>
#include <utility>

#include "core/registry_upcase.h"
#include "stores/hive/regf_image.h"
#include "stores/hive/regf_index.h"
#include "stores/hive/regf_layout.h"

namespace vornex::hive {

using namespace layout;

Failure RegfImage::AppendLeaf(std::uint32_t leaf, const Span& list, std::uint32_t expected,
                              std::vector<KeyRef>* out) const {
    const std::size_t count = U16(list.data + kListCount);
    const std::size_t stride = LeafStride(list.data);
    if (count > (list.size - kListEntries) / stride) {
        return {ReadError::kBadList, "subkey list " + Hex(leaf) + " claims " + std::to_string(count) +
                                         " entries, more than its cell holds"};
    }
    if (count > expected - out->size()) {
        return {ReadError::kBadList, "subkey list " + Hex(leaf) + " lists more subkeys than the key's count " +
                                         std::to_string(expected)};
    }
    for (std::size_t i = 0; i < count; ++i) {
        out->push_back(KeyRef{U32(list.data + kListEntries + i * stride)});
    }
    return {};
}

Failure RegfImage::ReadIndexRoot(std::uint32_t cell, const Span& list, std::vector<std::uint32_t>* leaves) const {
    const std::size_t count = U16(list.data + kListCount);
    if (count > (list.size - kListEntries) / 4) {
        return {ReadError::kBadList, "index root " + Hex(cell) + " claims " + std::to_string(count) +
                                         " lists, more than its cell holds"};
    }
    leaves->resize(count);
    for (std::size_t i = 0; i < count; ++i) (*leaves)[i] = U32(list.data + kListEntries + 4 * i);
    // Checked before any leaf is read: a root that repeats one leaf would
    // otherwise multiply it.
    if (const std::uint32_t repeat = FirstDuplicate(*leaves); repeat != kNoCell) {
        return {ReadError::kDuplicate, "index root " + Hex(cell) + " lists " + Hex(repeat) + " twice"};
    }
    return {};
}

Failure RegfImage::CollectSubkeys(KeyRef parent, const KeyNode& node, std::vector<KeyRef>* out) const {
    out->clear();
    if (node.subkeyCount == 0) return {};
    Span list;
    if (Failure failure = Cell(node.subkeyList, "subkey list", &list)) return failure;
    if (list.size < kListEntries) {
        return {ReadError::kBadList, "subkey list " + Hex(node.subkeyList) + " is shorter than its header"};
    }
    if (IsLeafList(list.data)) {
        if (Failure failure = AppendLeaf(node.subkeyList, list, node.subkeyCount, out)) return failure;
    } else if (Signature(list.data, "ri")) {
        std::vector<std::uint32_t> leaves;
        if (Failure failure = ReadIndexRoot(node.subkeyList, list, &leaves)) return failure;
        for (const std::uint32_t leaf : leaves) {
            if (leaf == node.subkeyList) {
                return {ReadError::kCycle, "index root " + Hex(leaf) + " lists itself"};
            }
            Span leafList;
            if (Failure failure = Cell(leaf, "subkey list", &leafList)) return failure;
            if (leafList.size < kListEntries || !IsLeafList(leafList.data)) {
                return {ReadError::kBadList, "index root " + Hex(node.subkeyList) + " lists " + Hex(leaf) +
                                                 ", which is not a leaf list"};
            }
            if (Failure failure = AppendLeaf(leaf, leafList, node.subkeyCount, out)) return failure;
        }
    } else {
        return {ReadError::kBadSignature, "subkey list " + Hex(node.subkeyList) + " has no list signature"};
    }
    if (out->size() != node.subkeyCount) {
        return {ReadError::kBadList, "key " + Hex(parent.cell) + " counts " + std::to_string(node.subkeyCount) +
                                         " subkeys, its lists hold " + std::to_string(out->size())};
    }
    std::vector<std::uint32_t> cells(out->size());
    for (std::size_t i = 0; i < out->size(); ++i) {
        cells[i] = (*out)[i].cell;
        if (cells[i] == parent.cell) {
            return {ReadError::kCycle, "key " + Hex(parent.cell) + " lists itself as a subkey"};
        }
    }
    if (const std::uint32_t repeat = FirstDuplicate(std::move(cells)); repeat != kNoCell) {
        return {ReadError::kDuplicate, "key " + Hex(parent.cell) + " lists subkey " + Hex(repeat) + " twice"};
    }
    return {};
}

Result<std::vector<KeyRef>> RegfImage::Subkeys(KeyRef parent) const {
    using R = Result<std::vector<KeyRef>>;
    KeyNode node;
    if (Failure failure = ReadKey(parent, &node)) return R::From(std::move(failure));
    std::vector<KeyRef> subkeys;
    if (Failure failure = CollectSubkeys(parent, node, &subkeys)) return R::From(std::move(failure));
    return R::Of(std::move(subkeys));
}

Result<std::shared_ptr<const RegfImage::SubkeyIndex>> RegfImage::IndexFor(KeyRef parent) const {
    using R = Result<std::shared_ptr<const SubkeyIndex>>;
    const auto cached = cache_->byParent.find(parent.cell);
    if (cached != cache_->byParent.end()) return R::Of(cached->second);
    KeyNode node;
    if (Failure failure = ReadKey(parent, &node)) return R::From(std::move(failure));
    std::vector<KeyRef> subkeys;
    if (Failure failure = CollectSubkeys(parent, node, &subkeys)) return R::From(std::move(failure));

    auto index = std::make_shared<SubkeyIndex>();
    index->byName.reserve(subkeys.size());
    for (const KeyRef subkey : subkeys) {
        KeyNode child;
        if (Failure failure = ReadKey(subkey, &child)) {
            if (index->unreadable++ == 0) index->firstUnreadable = std::move(failure);
            continue;
        }
        const std::size_t units = child.name.Units();
        index->byName.push_back({subkey.cell, static_cast<std::uint32_t>(index->names.size()),
                                 static_cast<std::uint32_t>(units)});
        for (std::size_t i = 0; i < units; ++i) index->names.push_back(RegistryUpcase(child.name.Unit(i)));
    }
    const SubkeyIndex& built = *index;
    std::stable_sort(index->byName.begin(), index->byName.end(),
                     [&built](const SubkeyIndex::Entry& a, const SubkeyIndex::Entry& b) {
                         return built.Name(a) < built.Name(b);
                     });
    const std::size_t bytes = index->Bytes();
    if (bytes <= cache_->capacity) {
        if (cache_->bytes + bytes > cache_->capacity) {
            cache_->byParent.clear();
            cache_->bytes = 0;
        }
        cache_->bytes += bytes;
        cache_->byParent.emplace(parent.cell, index);
    }
    return R::Of(std::move(index));
}

void RegfImage::ForgetSubkey(KeyRef parent, KeyRef child) {
    const auto cached = cache_->byParent.find(parent.cell);
    if (cached == cache_->byParent.end()) return;
    // A copy without the entry: an index handed out before stays as it was.
    auto index = std::make_shared<SubkeyIndex>(*cached->second);
    const auto gone = std::remove_if(index->byName.begin(), index->byName.end(),
                                     [child](const SubkeyIndex::Entry& entry) { return entry.cell == child.cell; });
    index->byName.erase(gone, index->byName.end());
    cache_->bytes = cache_->bytes - cached->second->Bytes() + index->Bytes();
    cached->second = std::move(index);
}

Result<std::vector<KeyRef>> RegfImage::SubkeysNamed(KeyRef parent, const std::u16string& name) const {
    using R = Result<std::vector<KeyRef>>;
    auto index = IndexFor(parent);
    if (!index.ok()) return R::From({index.error, std::move(index.where)});
    const SubkeyIndex& built = *index.value;
    std::u16string wanted(name.size(), u'\0');
    for (std::size_t i = 0; i < name.size(); ++i) wanted[i] = RegistryUpcase(name[i]);
    const std::u16string_view key(wanted);
    auto match = std::lower_bound(built.byName.begin(), built.byName.end(), key,
                                  [&built](const SubkeyIndex::Entry& entry, std::u16string_view sought) {
                                      return built.Name(entry) < sought;
                                  });
    std::vector<KeyRef> found;
    for (; match != built.byName.end() && built.Name(*match) == key; ++match) found.push_back(KeyRef{match->cell});
    if (found.empty() && built.unreadable != 0) {
        Failure failure = built.firstUnreadable;
        failure.where = "no readable subkey of that name, and " + std::to_string(built.unreadable) +
                        " unreadable: " + failure.where;
        return R::From(std::move(failure));
    }
    return R::Of(std::move(found));
}

Result<std::optional<KeyRef>> RegfImage::FindSubkey(KeyRef parent, const std::u16string& name) const {
    using R = Result<std::optional<KeyRef>>;
    auto all = SubkeysNamed(parent, name);
    if (!all.ok()) return R::From({all.error, std::move(all.where)});
    if (all.value.empty()) return R::Of(std::nullopt);
    return R::Of(all.value.front());
}

}  // namespace vornex::hive
