#include "stores/hive/hive_registry.h"

#include <algorithm>

#include "stores/hive/hive_key_paths.h"

namespace vornex {

using hive::KeyRef;
using hive::ValueInfo;

HiveRegistry::HiveRegistry(hive::RegfImage image, bool changeable)
    : changeable_(changeable), image_(std::move(image)) {}

HiveRegistry::~HiveRegistry() = default;

namespace {

// A key with subkeys is refused as the registry refuses it; anything else
// the writer refuses is damage, or a cell that something else also uses.
RegResult CodeOf(const hive::Failure& failure) {
    if (!failure) return kRegOk;
    return failure.error == hive::ReadError::kHasSubkeys ? kRegAccessDenied : kRegBadDatabase;
}

}  // namespace

const std::vector<unsigned char>& HiveRegistry::CommitBytes() {
    writer_.Seal(image_.Base().primarySeq + 1, hive::FileTimeNow());
    return image_.Bytes();
}

RegResult HiveRegistry::Changed(RegResult result, const KeyRef* removed) {
    subkeyCache_.clear();
    valueCache_.clear();
    if (result == kRegOk) changed_ = true;
    if (result == kRegOk && removed) {
        for (auto& [handle, node] : handles_) {
            if (node.ref == *removed) node.deleted = true;
        }
    }
    return result;
}

RegResult HiveRegistry::Resolve(KeyHandle key, OpenNode** out) {
    auto found = handles_.find(key);
    if (found == handles_.end()) return kRegInvalidHandle;
    if (found->second.deleted) return kRegKeyDeleted;
    *out = &found->second;
    return kRegOk;
}

namespace {

// A key's list, read once until the next change.
template <typename T, typename Read>
const std::vector<T>* Cached(std::map<std::uint32_t, std::vector<T>>& cache, KeyRef key, Read read) {
    auto cached = cache.find(key.cell);
    if (cached != cache.end()) return &cached->second;
    hive::Result<std::vector<T>> fresh = read();
    if (!fresh.ok()) return nullptr;
    return &cache.emplace(key.cell, std::move(fresh.value)).first->second;
}

}  // namespace

const std::vector<KeyRef>* HiveRegistry::Subkeys(KeyRef key) {
    return Cached(subkeyCache_, key, [&] { return Image().Subkeys(key); });
}

const std::vector<ValueInfo>* HiveRegistry::Values(KeyRef key) {
    return Cached(valueCache_, key, [&] { return Image().Values(key); });
}

RegResult HiveRegistry::OpenKey(KeyHandle root, const Text& path, std::uint32_t /*access*/, KeyHandle* key) {
    if (!key) return kRegInvalidHandle;
    KeyRef found{};
    if (root == kLocalMachine) {
        const RegResult result = hive::WalkMachinePath(Image(), path, false, &found);
        if (result != kRegOk) return result;
    } else {
        OpenNode* open = nullptr;
        if (const RegResult bad = Resolve(root, &open)) return bad;
        if (const RegResult result = hive::WalkKeyPath(Image(), open->ref, path, false, &found); result != kRegOk) {
            return result;
        }
    }
    *key = AddHandle(found);
    return kRegOk;
}

KeyHandle HiveRegistry::AddHandle(KeyRef ref) {
    const KeyHandle handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = OpenNode{ref, false};
    return handle;
}

RegResult HiveRegistry::OpenSubkey(KeyHandle parent, const Text& name, std::uint32_t access, KeyHandle* key) {
    if (!HoldsSeparator(name)) return Registry::OpenSubkey(parent, name, access, key);
    KeyRef from{};
    KeyRef child{};
    bool link = false;
    if (const RegResult found = ChildNamed(parent, name, &from, &child, &link); found != kRegOk) return found;
    // No path names it, so neither could a repair remove it as a link.
    if (link) return kRegCantResolveFilename;
    *key = AddHandle(child);
    return kRegOk;
}

RegResult HiveRegistry::ChildNamed(KeyHandle parent, const Text& name, KeyRef* from, KeyRef* child, bool* link) {
    OpenNode* open = nullptr;
    if (const RegResult bad = Resolve(parent, &open)) return bad;
    if (name.empty()) return kRegFileNotFound;
    const hive::Result<std::optional<KeyRef>> found = Image().FindSubkey(open->ref, name);
    if (!found.ok()) return kRegBadDatabase;
    if (!found.value) return kRegFileNotFound;
    *from = open->ref;
    *child = *found.value;
    return hive::ReadLinkKey(Image(), *child, link, nullptr);
}

RegResult HiveRegistry::QueryInfoKey(KeyHandle key, std::uint32_t* subkeyCount,
                                     std::uint32_t* maxSubkeyNameLength) {
    OpenNode* open = nullptr;
    if (const RegResult bad = Resolve(key, &open)) return bad;
    const std::vector<KeyRef>* subkeys = Subkeys(open->ref);
    if (!subkeys) return kRegBadDatabase;
    std::size_t longest = 0;
    if (maxSubkeyNameLength) {
        // A name that cannot be read shows when it is enumerated.
        for (const KeyRef child : *subkeys) {
            const hive::Result<Text> name = Image().KeyName(child);
            if (name.ok()) longest = std::max(longest, name.value.size());
        }
        *maxSubkeyNameLength = static_cast<std::uint32_t>(longest);
    }
    if (subkeyCount) *subkeyCount = static_cast<std::uint32_t>(subkeys->size());
    return kRegOk;
}

RegResult HiveRegistry::EnumKey(KeyHandle key, std::uint32_t index, char16_t* name, std::uint32_t* nameLength) {
    OpenNode* open = nullptr;
    if (const RegResult bad = Resolve(key, &open)) return bad;
    const std::vector<KeyRef>* subkeys = Subkeys(open->ref);
    if (!subkeys) return kRegBadDatabase;
    if (index >= subkeys->size()) return kRegNoMoreItems;
    const hive::Result<Text> read = Image().KeyName((*subkeys)[index]);
    if (!read.ok()) return kRegBadDatabase;
    if (read.value.size() + 1 > *nameLength) return kRegMoreData;
    std::copy(read.value.begin(), read.value.end(), name);
    name[read.value.size()] = u'\0';
    *nameLength = static_cast<std::uint32_t>(read.value.size());
    return kRegOk;
}

namespace {

// Copies a value's data as RegEnumValue / RegQueryValueEx do: the size only
// without a buffer, kRegMoreData when the buffer is too small.
RegResult CopyData(const std::vector<unsigned char>& bytes, unsigned char* data, std::uint32_t* dataSize) {
    if (!dataSize) return kRegOk;
    const auto size = static_cast<std::uint32_t>(bytes.size());
    if (data && size > *dataSize) {
        *dataSize = size;
        return kRegMoreData;
    }
    if (data) std::copy(bytes.begin(), bytes.end(), data);
    *dataSize = size;
    return kRegOk;
}

}  // namespace

RegResult HiveRegistry::EnumValue(KeyHandle key, std::uint32_t index, char16_t* name, std::uint32_t* nameLength,
                                  std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize) {
    OpenNode* open = nullptr;
    if (const RegResult bad = Resolve(key, &open)) return bad;
    const std::vector<ValueInfo>* values = Values(open->ref);
    if (!values) return kRegBadDatabase;
    if (index >= values->size()) return kRegNoMoreItems;
    const ValueInfo& value = (*values)[index];
    if (value.name.size() + 1 > *nameLength) return kRegMoreData;
    const hive::Result<std::vector<unsigned char>> bytes = Image().ValueData(value);
    if (!bytes.ok()) return kRegBadDatabase;
    std::copy(value.name.begin(), value.name.end(), name);
    name[value.name.size()] = u'\0';
    *nameLength = static_cast<std::uint32_t>(value.name.size());
    if (type) *type = value.type;
    return CopyData(bytes.value, data, dataSize);
}

RegResult HiveRegistry::QueryValue(KeyHandle key, const Text& valueName, std::uint32_t* type, unsigned char* data,
                                   std::uint32_t* dataSize) {
    OpenNode* open = nullptr;
    if (const RegResult bad = Resolve(key, &open)) return bad;
    const hive::Result<std::optional<ValueInfo>> found = Image().FindValue(open->ref, valueName);
    if (!found.ok()) return kRegBadDatabase;
    if (!found.value) return kRegFileNotFound;
    const hive::Result<std::vector<unsigned char>> bytes = Image().ValueData(*found.value);
    if (!bytes.ok()) return kRegBadDatabase;
    const RegResult copied = CopyData(bytes.value, data, dataSize);
    if (copied == kRegOk && type) *type = found.value->type;
    return copied;
}

RegResult HiveRegistry::CloseKey(KeyHandle key) { return handles_.erase(key) ? kRegOk : kRegInvalidHandle; }

RegResult HiveRegistry::DeletableValue(KeyHandle key, const Text& valueName, KeyRef* owner, ValueInfo* out) {
    OpenNode* open = nullptr;
    if (const RegResult bad = Resolve(key, &open)) return bad;
    const hive::Result<std::optional<ValueInfo>> target = Image().FindValue(open->ref, valueName);
    if (!target.ok()) return kRegBadDatabase;
    if (!target.value) return kRegFileNotFound;
    *owner = open->ref;
    *out = *target.value;
    return kRegOk;
}

RegResult HiveRegistry::WouldDeleteValue(KeyHandle key, const Text& valueName) {
    return RemoveValue(key, valueName, true);
}

RegResult HiveRegistry::DeleteValue(KeyHandle key, const Text& valueName) { return RemoveValue(key, valueName, false); }

RegResult HiveRegistry::RemoveValue(KeyHandle key, const Text& valueName, bool dryRun) {
    KeyRef owner{};
    ValueInfo value;
    if (const RegResult checked = DeletableValue(key, valueName, &owner, &value); checked != kRegOk) return checked;
    if (dryRun) return CodeOf(writer_.CanDeleteValue(owner, value));
    // A hive that may not be changed: as a key opened without the right to change it.
    if (!changeable_) return kRegAccessDenied;
    return Changed(CodeOf(writer_.DeleteValue(owner, value)), nullptr);
}

RegResult HiveRegistry::RemoveKey(RegResult found, KeyRef parent, KeyRef key, bool dryRun) {
    if (found != kRegOk) return found;
    if (dryRun) return CodeOf(writer_.CanDeleteKey(parent, key));
    if (!changeable_) return kRegAccessDenied;
    return Changed(CodeOf(writer_.DeleteKey(parent, key)), &key);
}

RegResult HiveRegistry::DeletableSubkey(KeyHandle key, const Text& subkeyName, KeyRef* parent, KeyRef* out) {
    bool link = false;
    if (const RegResult found = ChildNamed(key, subkeyName, parent, out, &link); found != kRegOk) return found;
    // Deleting by a link's name would delete what it points at: never done
    // here. A key with subkeys of its own the writer refuses, as the registry does.
    return link ? kRegAccessDenied : kRegOk;
}

RegResult HiveRegistry::WouldDeleteKey(KeyHandle key, const Text& subkeyName) {
    return RemoveSubkey(key, subkeyName, true);
}

RegResult HiveRegistry::DeleteKey(KeyHandle key, const Text& subkeyName) {
    return RemoveSubkey(key, subkeyName, false);
}

RegResult HiveRegistry::RemoveSubkey(KeyHandle key, const Text& subkeyName, bool dryRun) {
    KeyRef parent{};
    KeyRef target{};
    const RegResult found = DeletableSubkey(key, subkeyName, &parent, &target);
    return RemoveKey(found, parent, target, dryRun);
}

RegResult HiveRegistry::QueryLink(KeyHandle root, const Text& path, bool* isLink, Text* target) {
    if (root != kLocalMachine) return kRegInvalidHandle;
    KeyRef key{};
    if (const RegResult found = hive::WalkMachinePath(Image(), path, true, &key); found != kRegOk) return found;
    bool link = false;
    const RegResult read = hive::ReadLinkKey(Image(), key, &link, target);
    if (isLink) *isLink = link;
    return read;
}

RegResult HiveRegistry::DeletableLink(KeyHandle root, const Text& path, KeyRef* parent, KeyRef* key) {
    if (root != kLocalMachine) return kRegInvalidHandle;
    if (const RegResult found = hive::WalkMachinePath(Image(), path, true, key, parent); found != kRegOk) return found;
    if (*key == Image().Root()) return kRegInvalidParameter;
    bool link = false;
    if (const RegResult read = hive::ReadLinkKey(Image(), *key, &link, nullptr); read != kRegOk) return read;
    return link ? kRegOk : kRegInvalidParameter;
}

RegResult HiveRegistry::WouldDeleteLink(KeyHandle root, const Text& path) { return RemoveLink(root, path, true); }

RegResult HiveRegistry::DeleteLink(KeyHandle root, const Text& path) { return RemoveLink(root, path, false); }

RegResult HiveRegistry::RemoveLink(KeyHandle root, const Text& path, bool dryRun) {
    KeyRef parent{};
    KeyRef key{};
    const RegResult found = DeletableLink(root, path, &parent, &key);
    return RemoveKey(found, parent, key, dryRun);
}

}  // namespace vornex
