#include "stores/hive/hive_registry.h"

#include <algorithm>

#include "core/registry_upcase.h"
#include "stores/hive/hive_commit.h"
#include "stores/hive/hive_load.h"

namespace vornex {

namespace {

using hive::KeyRef;
using hive::ValueInfo;

constexpr std::uint16_t kKeySymLink = 0x0010;
constexpr std::uint32_t kRegLink = 6;
constexpr int kMaxLinkHops = 16;
const Text kSoftware = u"SOFTWARE";
const Text kLinkValue = u"SymbolicLinkValue";
// Where this hive's root lies in the absolute names a link key holds.
const std::vector<Text> kHiveRootInLinks = {u"REGISTRY", u"MACHINE", u"SOFTWARE"};

}  // namespace

HiveRegistry::HiveRegistry(Passkey, std::string path, Mode mode, hive::LoadedHive loaded, hive::RegfImage image)
    : path_(std::move(path)),
      mode_(mode),
      recovery_(loaded.recovery),
      logsApplied_(std::move(loaded.logsApplied)),
      recoveryNote_(std::move(loaded.note)),
      logsRead_(std::move(loaded.logsRead)),
      logsRefused_(std::move(loaded.logsRefused)),
      changes_(std::move(image)) {}

HiveRegistry::~HiveRegistry() = default;

std::unique_ptr<HiveRegistry> HiveRegistry::Open(const std::string& path, Mode mode, std::string* error,
                                                 RegResult* code) {
    RegResult ignored = kRegOk;
    if (!code) code = &ignored;
    // For a change: refused at once on a read-only medium, and while another
    // program holds the hive: before it is read, so that what is changed is
    // what was read.
    std::unique_ptr<hive::HiveFileLayer> files = hive::SystemFileLayer();
    if (mode == Mode::kWrite) {
        if (const hive::FileFailure held = files->Hold(path)) {
            *error = held.message;
            *code = held.code;
            return nullptr;
        }
    }
    hive::LoadedHive loaded;
    if (const hive::FileFailure failed = hive::LoadHive(*files, path, &loaded)) {
        *error = failed.message;
        *code = failed.code;
        return nullptr;
    }
    std::string why;
    std::optional<hive::RegfImage> image = hive::RegfImage::Parse(std::move(loaded.image), &why);
    if (!image) {
        *error = path + ": damaged registry hive (" + why + ")";
        *code = kRegBadDatabase;
        return nullptr;
    }
    auto opened = std::make_unique<HiveRegistry>(Passkey(), path, mode, std::move(loaded), std::move(*image));
    if (mode == Mode::kWrite) {
        // A change is made to what was read: for a dirty hive, the state its
        // logs hold, so that the file written holds that state plus the change.
        if (opened->recovery_ == hive::Recovery::kDirtyNoUsableLog) {
            *error = path + ": the hive is dirty and no transaction log could be applied (" + opened->recoveryNote_ +
                     "): its newest state is unknown, so it is not written";
            *code = kRegBadDatabase;
            return nullptr;
        }
        opened->files_ = std::move(files);
    }
    *code = kRegOk;
    return opened;
}

RegResult HiveRegistry::Changed(RegResult result, const KeyRef* removed) {
    subkeyCache_.clear();
    valueCache_.clear();
    if (result == kRegOk) pending_ = true;
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

const std::vector<KeyRef>* HiveRegistry::Subkeys(KeyRef key) {
    auto cached = subkeyCache_.find(key.cell);
    if (cached != subkeyCache_.end()) return &cached->second;
    hive::Result<std::vector<KeyRef>> read = Image().Subkeys(key);
    if (!read.ok()) return nullptr;
    return &subkeyCache_.emplace(key.cell, std::move(read.value)).first->second;
}

const std::vector<ValueInfo>* HiveRegistry::Values(KeyRef key) {
    auto cached = valueCache_.find(key.cell);
    if (cached != valueCache_.end()) return &cached->second;
    hive::Result<std::vector<ValueInfo>> read = Image().Values(key);
    if (!read.ok()) return nullptr;
    return &valueCache_.emplace(key.cell, std::move(read.value)).first->second;
}

RegResult HiveRegistry::IsLink(KeyRef key, bool* link, Text* target) {
    const hive::Result<std::uint16_t> flags = Image().KeyFlags(key);
    if (!flags.ok()) return kRegBadDatabase;
    *link = (flags.value & kKeySymLink) != 0;
    if (target) target->clear();
    if (!*link || !target) return kRegOk;
    const hive::Result<std::optional<ValueInfo>> value = Image().FindValue(key, kLinkValue);
    if (!value.ok()) return kRegBadDatabase;
    if (!value.value || value.value->type != kRegLink) return kRegOk;
    const hive::Result<std::vector<unsigned char>> data = Image().ValueData(*value.value);
    if (!data.ok()) return kRegBadDatabase;
    for (std::size_t i = 0; i + 1 < data.value.size(); i += 2) {
        target->push_back(static_cast<char16_t>(data.value[i] | (data.value[i + 1] << 8)));
    }
    return kRegOk;
}

RegResult HiveRegistry::FollowLink(KeyRef link, int hops, KeyRef* out) {
    if (hops >= kMaxLinkHops) return kRegCantResolveFilename;
    bool isLink = false;
    Text target;
    if (const RegResult read = IsLink(link, &isLink, &target); read != kRegOk) return read;
    // Only an absolute name in this hive can be followed here; the parser
    // takes repeated and trailing separators as Windows' does.
    if (target.empty() || target.front() != u'\\') return kRegCantResolveFilename;
    const std::vector<Text> parts = SplitKeyPath(target);
    if (parts.size() < kHiveRootInLinks.size()) return kRegCantResolveFilename;
    for (std::size_t i = 0; i < kHiveRootInLinks.size(); ++i) {
        if (!RegistryNamesEqual(parts[i], kHiveRootInLinks[i])) return kRegCantResolveFilename;
    }
    const std::vector<Text> rest(parts.begin() + static_cast<std::ptrdiff_t>(kHiveRootInLinks.size()), parts.end());
    const RegResult followed = WalkNames(Image().Root(), rest, false, hops + 1, out);
    // A target that is not there is a link that cannot be followed, never "no key".
    return followed == kRegFileNotFound ? kRegCantResolveFilename : followed;
}

RegResult HiveRegistry::Walk(KeyRef from, const Text& path, bool openLink, int hops, KeyRef* out,
                             KeyRef* parent) {
    return WalkNames(from, SplitKeyPath(path), openLink, hops, out, parent);
}

RegResult HiveRegistry::WalkNames(KeyRef from, const std::vector<Text>& names, bool openLink, int hops,
                                  KeyRef* out, KeyRef* parent) {
    KeyRef key = from;
    KeyRef above = from;
    for (std::size_t at = 0; at < names.size(); ++at) {
        // One name per step, as Windows walks a path: a key whose own name
        // holds a backslash is never reached through one.
        const hive::Result<std::optional<KeyRef>> child = Image().FindSubkey(key, names[at]);
        if (!child.ok()) return kRegBadDatabase;
        if (!child.value) return kRegFileNotFound;
        above = key;
        key = *child.value;
        bool link = false;
        if (const RegResult read = IsLink(key, &link, nullptr); read != kRegOk) return read;
        if (link && !(openLink && at + 1 == names.size())) {
            if (const RegResult followed = FollowLink(key, hops, &key); followed != kRegOk) return followed;
        }
    }
    *out = key;
    if (parent) *parent = above;
    return kRegOk;
}

RegResult HiveRegistry::FromMachine(const Text& path, bool openLink, KeyRef* out, KeyRef* parent) {
    std::vector<Text> names = SplitKeyPath(path);
    if (names.empty() || !RegistryNamesEqual(names.front(), kSoftware)) return kRegFileNotFound;
    names.erase(names.begin());
    return WalkNames(Image().Root(), names, openLink, 0, out, parent);
}

RegResult HiveRegistry::OpenKey(KeyHandle root, const Text& path, std::uint32_t /*access*/, KeyHandle* key) {
    if (!key) return kRegInvalidHandle;
    KeyRef found{};
    if (root == kLocalMachine) {
        if (const RegResult result = FromMachine(path, false, &found); result != kRegOk) return result;
    } else {
        OpenNode* open = nullptr;
        if (const RegResult bad = Resolve(root, &open)) return bad;
        if (const RegResult result = Walk(open->ref, path, false, 0, &found); result != kRegOk) return result;
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
    OpenNode* open = nullptr;
    if (const RegResult bad = Resolve(parent, &open)) return bad;
    const hive::Result<std::optional<KeyRef>> child = Image().FindSubkey(open->ref, name);
    if (!child.ok()) return kRegBadDatabase;
    if (!child.value) return kRegFileNotFound;
    bool link = false;
    if (const RegResult read = IsLink(*child.value, &link, nullptr); read != kRegOk) return read;
    // No path names it, so neither could a repair remove it as a link.
    if (link) return kRegCantResolveFilename;
    *key = AddHandle(*child.value);
    return kRegOk;
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
    KeyRef owner{};
    ValueInfo value;
    const RegResult found = DeletableValue(key, valueName, &owner, &value);
    return found == kRegOk ? changes_.CanDeleteValue(owner, value) : found;
}

RegResult HiveRegistry::DeleteValue(KeyHandle key, const Text& valueName) {
    KeyRef owner{};
    ValueInfo value;
    if (const RegResult checked = DeletableValue(key, valueName, &owner, &value); checked != kRegOk) return checked;
    // A hive opened for reading: as a key opened without the right to change it.
    if (mode_ != Mode::kWrite) return kRegAccessDenied;
    return Changed(changes_.DeleteValue(owner, value), nullptr);
}

RegResult HiveRegistry::DeletableSubkey(KeyHandle key, const Text& subkeyName, KeyRef* parent, KeyRef* out) {
    OpenNode* open = nullptr;
    if (const RegResult bad = Resolve(key, &open)) return bad;
    if (subkeyName.empty()) return kRegFileNotFound;
    const hive::Result<std::optional<KeyRef>> target = Image().FindSubkey(open->ref, subkeyName);
    if (!target.ok()) return kRegBadDatabase;
    if (!target.value) return kRegFileNotFound;
    bool link = false;
    if (const RegResult read = IsLink(*target.value, &link, nullptr); read != kRegOk) return read;
    // Deleting by a link's name would delete what it points at: never done here.
    if (link) return kRegAccessDenied;
    // A key with subkeys of its own the writer refuses, as the registry does.
    *parent = open->ref;
    *out = *target.value;
    return kRegOk;
}

RegResult HiveRegistry::WouldDeleteKey(KeyHandle key, const Text& subkeyName) {
    KeyRef parent{};
    KeyRef target{};
    const RegResult found = DeletableSubkey(key, subkeyName, &parent, &target);
    return found == kRegOk ? changes_.CanDeleteKey(parent, target) : found;
}

RegResult HiveRegistry::DeleteKey(KeyHandle key, const Text& subkeyName) {
    KeyRef parent{};
    KeyRef target{};
    if (const RegResult checked = DeletableSubkey(key, subkeyName, &parent, &target); checked != kRegOk) {
        return checked;
    }
    if (mode_ != Mode::kWrite) return kRegAccessDenied;
    return Changed(changes_.DeleteKey(parent, target), &target);
}

RegResult HiveRegistry::QueryLink(KeyHandle root, const Text& path, bool* isLink, Text* target) {
    if (root != kLocalMachine) return kRegInvalidHandle;
    KeyRef key{};
    if (const RegResult found = FromMachine(path, true, &key); found != kRegOk) return found;
    bool link = false;
    const RegResult read = IsLink(key, &link, target);
    if (isLink) *isLink = link;
    return read;
}

RegResult HiveRegistry::DeletableLink(KeyHandle root, const Text& path, KeyRef* parent, KeyRef* key) {
    if (root != kLocalMachine) return kRegInvalidHandle;
    if (const RegResult found = FromMachine(path, true, key, parent); found != kRegOk) return found;
    if (*key == Image().Root()) return kRegInvalidParameter;
    bool link = false;
    if (const RegResult read = IsLink(*key, &link, nullptr); read != kRegOk) return read;
    return link ? kRegOk : kRegInvalidParameter;
}

RegResult HiveRegistry::WouldDeleteLink(KeyHandle root, const Text& path) {
    KeyRef parent{};
    KeyRef key{};
    const RegResult found = DeletableLink(root, path, &parent, &key);
    return found == kRegOk ? changes_.CanDeleteKey(parent, key) : found;
}

RegResult HiveRegistry::DeleteLink(KeyHandle root, const Text& path) {
    KeyRef parent{};
    KeyRef key{};
    if (const RegResult checked = DeletableLink(root, path, &parent, &key); checked != kRegOk) return checked;
    if (mode_ != Mode::kWrite) return kRegAccessDenied;
    return Changed(changes_.DeleteKey(parent, key), &key);
}

RegResult HiveRegistry::Backup(std::string* backupPath, std::string* error) {
    if (!files_) {
        *error = path_ + ": opened read-only";
        return kRegAccessDenied;
    }
    const hive::FileFailure failed = hive::WriteHiveBackup(*files_, path_, logsRead_, backupPath);
    *error = failed.message;
    return failed.code;
}

RegResult HiveRegistry::Commit(std::string* error) {
    if (!pending_) return kRegOk;
    if (!files_) {
        *error = path_ + ": opened read-only";
        return kRegAccessDenied;
    }
    const hive::FileFailure failed = hive::ReplaceHiveFile(*files_, path_, changes_.CommitBytes());
    *error = failed.message;
    if (failed) return failed.code;
    pending_ = false;
    // The file held is the one replaced: the new one is held for a later
    // commit. If another program took it meanwhile, this one is done and
    // said to be; a later change is refused as on a hive opened read-only.
    files_ = hive::SystemFileLayer();
    if (const hive::FileFailure held = files_->Hold(path_)) {
        files_.reset();
        *error = path_ + ": written, but no longer held for a later change: " + held.message;
    }
    return kRegOk;
}

}  // namespace vornex
