// Subkeys by name, through an index per parent key.
#include <algorithm>
#include <utility>

#include "core/registry_upcase.h"
#include "stores/hive/regf_index.h"
#include "stores/hive/regf_subkey_list.h"

namespace vornex::hive {

Result<std::vector<KeyRef>> RegfImage::Subkeys(KeyRef parent) const {
    using R = Result<std::vector<KeyRef>>;
    KeyNode node;
    if (Failure failure = ReadKeyNode(*this, parent, &node)) return R::From(std::move(failure));
    std::vector<KeyRef> subkeys;
    if (Failure failure = ReadSubkeys(*this, node, &subkeys)) return R::From(std::move(failure));
    return R::Of(std::move(subkeys));
}

Result<std::shared_ptr<const RegfImage::SubkeyIndex>> RegfImage::IndexFor(KeyRef parent) const {
    using R = Result<std::shared_ptr<const SubkeyIndex>>;
    const auto cached = cache_->byParent.find(parent.cell);
    if (cached != cache_->byParent.end()) return R::Of(cached->second);
    KeyNode node;
    if (Failure failure = ReadKeyNode(*this, parent, &node)) return R::From(std::move(failure));
    std::vector<KeyRef> subkeys;
    if (Failure failure = ReadSubkeys(*this, node, &subkeys)) return R::From(std::move(failure));

    auto index = std::make_shared<SubkeyIndex>();
    index->byName.reserve(subkeys.size());
    for (const KeyRef subkey : subkeys) {
        KeyNode child;
        if (Failure failure = ReadKeyNode(*this, subkey, &child)) {
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
