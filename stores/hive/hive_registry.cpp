#include "stores/hive/hive_registry.h"

#include <hivex.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/registry_upcase.h"
#include "stores/hive/unique_fd.h"

namespace vornex {

namespace {

using hive::KeyRef;
using hive::ValueInfo;

constexpr std::uint16_t kKeySymLink = 0x0010;
constexpr std::uint32_t kRegLink = 6;
constexpr int kMaxLinkHops = 16;
constexpr std::size_t kHiveBinsStart = 4096;
const Text kSoftware = u"SOFTWARE";
const Text kLinkValue = u"SymbolicLinkValue";
// Where this hive's root lies in the names a link key holds.
const std::vector<Text> kHiveRootInLinks = {u"", u"REGISTRY", u"MACHINE", u"SOFTWARE"};

// hivex hands out malloc'd strings and arrays.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Malloced = std::unique_ptr<T, FreeDeleter>;


// A UTF-8 name for hivex's ASCIIZ arguments; false when the name cannot be
// given as one (a NUL inside, or a lone surrogate that UTF-8 cannot carry).
bool NameForHivex(const Text& name, std::string* out) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (c == u'\0') return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    *out = ToUtf8(name);
    return true;
}

Text Joined(const std::vector<Text>& parts, std::size_t from, std::size_t to) {
    Text name;
    for (std::size_t i = from; i < to; ++i) name += (i == from ? Text() : Text(u"\\")) + parts[i];
    return name;
}

}  // namespace

void HiveRegistry::HiveCloser::operator()(hive_h* hive) const { hivex_close(hive); }

HiveRegistry::HiveRegistry(Passkey, std::string path, Mode mode, hive::LoadedHive loaded, hive::RegfImage image)
    : path_(std::move(path)),
      mode_(mode),
      recovery_(loaded.recovery),
      logsApplied_(std::move(loaded.logsApplied)),
      recoveryNote_(std::move(loaded.note)),
      image_(std::move(image)) {}

HiveRegistry::~HiveRegistry() = default;

std::unique_ptr<HiveRegistry> HiveRegistry::Open(const std::string& path, Mode mode, std::string* error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        *error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = path + ": not a regular file";
        return nullptr;
    }
    hive::LoadedHive loaded;
    std::string why;
    if (!hive::LoadHive(path, &loaded, &why)) {
        *error = path + ": " + why;
        return nullptr;
    }
    std::optional<hive::RegfImage> image = hive::RegfImage::Parse(std::move(loaded.image), &why);
    if (!image) {
        *error = path + ": damaged registry hive (" + why + ")";
        return nullptr;
    }
    auto opened = std::make_unique<HiveRegistry>(Passkey(), path, mode, std::move(loaded), std::move(*image));
    if (mode == Mode::kWrite) {
        // A change is made to what was read: for a dirty hive, the state its
        // logs hold, so that the file written holds that state plus the change.
        if (opened->recovery_ == hive::Recovery::kDirtyNoUsableLog) {
            *error = path + ": the hive is dirty and no transaction log could be applied (" + opened->recoveryNote_ +
                     "): its newest state is unknown, so it is not written";
            return nullptr;
        }
        // Refused at once on a read-only file system, and while another
        // program holds the hive: before any change, not after.
        const int locked = open(RealPath(path).c_str(), O_RDWR | O_CLOEXEC);
        if (locked < 0) {
            *error = path + ": cannot open for writing: " + std::strerror(errno);
            return nullptr;
        }
        opened->lock_ = std::make_unique<UniqueFd>(locked);
        if (flock(locked, LOCK_EX | LOCK_NB) != 0) {
            *error = path + ": " + (errno == EWOULDBLOCK ? std::string("in use by another program (locked)")
                                                         : std::string(std::strerror(errno)));
            return nullptr;
        }
        if (!opened->OpenWriter()) {
            *error = path + ": cannot open for writing: " + std::strerror(errno);
            return nullptr;
        }
    }
    return opened;
}

std::size_t HiveRegistry::HivexNode(KeyRef key) const { return kHiveBinsStart + key.cell; }

bool HiveRegistry::OpenWriter() {
    // hivex takes the bytes read (the replayed image of a dirty hive) from an
    // anonymous file: its offsets are then this reader's, and it never reads
    // the primary's older state.
    UniqueFd fd(memfd_create("vornex-hive", 0));
    if (fd.get() < 0) return false;
    const std::vector<unsigned char>& bytes = image_->Bytes();
    std::size_t put = 0;
    while (put < bytes.size()) {
        const ssize_t n = pwrite(fd.get(), bytes.data() + put, bytes.size() - put, static_cast<off_t>(put));
        if (n <= 0) return false;
        put += static_cast<std::size_t>(n);
    }
    const std::string name = "/proc/self/fd/" + std::to_string(fd.get());
    errno = 0;
    writer_.reset(hivex_open(name.c_str(), HIVEX_OPEN_WRITE));
    return writer_ != nullptr;
}

hive_h* HiveRegistry::Writer() { return mode_ == Mode::kWrite && !unreadable_ ? writer_.get() : nullptr; }

RegResult HiveRegistry::Changed() {
    changed_ = true;
    subkeyCache_.clear();
    valueCache_.clear();
    if (Reload()) return kRegOk;
    // Reads would no longer show what is written: nothing more is done, and
    // nothing is committed.
    unreadable_ = true;
    return kRegWriteFault;
}

bool HiveRegistry::Reload() {
    // hivex keeps its changes in memory; its commit to an anonymous file gives
    // the bytes the next reads see, the same file Commit would write.
    UniqueFd fd(memfd_create("vornex-hive", 0));
    if (fd.get() < 0) return false;
    const std::string name = "/proc/self/fd/" + std::to_string(fd.get());
    if (hivex_commit(writer_.get(), name.c_str(), 0) != 0) return false;
    struct stat info {};
    if (fstat(fd.get(), &info) != 0) return false;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = pread(fd.get(), bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    std::string why;
    std::optional<hive::RegfImage> image = hive::RegfImage::Parse(std::move(bytes), &why);
    if (!image) return false;
    image_ = std::move(image);
    return true;
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
    hive::Result<std::vector<KeyRef>> read = image_->Subkeys(key);
    if (!read.ok()) return nullptr;
    return &subkeyCache_.emplace(key.cell, std::move(read.value)).first->second;
}

const std::vector<ValueInfo>* HiveRegistry::Values(KeyRef key) {
    auto cached = valueCache_.find(key.cell);
    if (cached != valueCache_.end()) return &cached->second;
    hive::Result<std::vector<ValueInfo>> read = image_->Values(key);
    if (!read.ok()) return nullptr;
    return &valueCache_.emplace(key.cell, std::move(read.value)).first->second;
}

RegResult HiveRegistry::IsLink(KeyRef key, bool* link, Text* target) {
    const hive::Result<std::uint16_t> flags = image_->KeyFlags(key);
    if (!flags.ok()) return kRegBadDatabase;
    *link = (flags.value & kKeySymLink) != 0;
    if (target) target->clear();
    if (!*link || !target) return kRegOk;
    const hive::Result<std::optional<ValueInfo>> value = image_->FindValue(key, kLinkValue);
    if (!value.ok()) return kRegBadDatabase;
    if (!value.value || value.value->type != kRegLink) return kRegOk;
    const hive::Result<std::vector<unsigned char>> data = image_->ValueData(*value.value);
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
    const std::vector<Text> parts = SplitKeyPath(target);
    if (parts.size() < kHiveRootInLinks.size()) return kRegCantResolveFilename;
    for (std::size_t i = 0; i < kHiveRootInLinks.size(); ++i) {
        if (!RegistryNamesEqual(parts[i], kHiveRootInLinks[i])) return kRegCantResolveFilename;
    }
    const Text rest = Joined(parts, kHiveRootInLinks.size(), parts.size());
    return Walk(image_->Root(), rest, false, hops + 1, out);
}

RegResult HiveRegistry::Walk(KeyRef from, const Text& path, bool openLink, int hops, KeyRef* out) {
    KeyRef key = from;
    if (path.empty()) {
        *out = key;
        return kRegOk;
    }
    const std::vector<Text> parts = SplitKeyPath(path);
    std::size_t at = 0;
    while (at < parts.size()) {
        // A key's name may hold a backslash: the longest name that exists wins,
        // so that the name an enumeration gave opens that very key.
        bool found = false;
        bool damaged = false;
        for (std::size_t end = parts.size(); end > at && !found; --end) {
            const hive::Result<std::optional<KeyRef>> child = image_->FindSubkey(key, Joined(parts, at, end));
            if (!child.ok()) {
                damaged = true;
            } else if (child.value) {
                key = *child.value;
                at = end;
                found = true;
            }
        }
        if (!found) return damaged ? kRegBadDatabase : kRegFileNotFound;
        bool link = false;
        if (const RegResult read = IsLink(key, &link, nullptr); read != kRegOk) return read;
        if (link && !(openLink && at == parts.size())) {
            if (const RegResult followed = FollowLink(key, hops, &key); followed != kRegOk) return followed;
        }
    }
    *out = key;
    return kRegOk;
}

RegResult HiveRegistry::FromMachine(const Text& path, bool openLink, KeyRef* out) {
    const std::size_t slash = path.find(u'\\');
    if (!RegistryNamesEqual(path.substr(0, slash), kSoftware)) return kRegFileNotFound;
    return Walk(image_->Root(), slash == Text::npos ? Text() : path.substr(slash + 1), openLink, 0, out);
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
    const KeyHandle handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = OpenNode{found, false};
    *key = handle;
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
            const hive::Result<Text> name = image_->KeyName(child);
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
    const hive::Result<Text> read = image_->KeyName((*subkeys)[index]);
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
    const hive::Result<std::vector<unsigned char>> bytes = image_->ValueData(value);
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
    const hive::Result<std::optional<ValueInfo>> found = image_->FindValue(open->ref, valueName);
    if (!found.ok()) return kRegBadDatabase;
    if (!found.value) return kRegFileNotFound;
    const hive::Result<std::vector<unsigned char>> bytes = image_->ValueData(*found.value);
    if (!bytes.ok()) return kRegBadDatabase;
    const RegResult copied = CopyData(bytes.value, data, dataSize);
    if (copied == kRegOk && type) *type = found.value->type;
    return copied;
}

RegResult HiveRegistry::CloseKey(KeyHandle key) { return handles_.erase(key) ? kRegOk : kRegInvalidHandle; }

// hivex replaces a node's values as a whole: every other value goes back
// byte for byte. One hivex could not write back exactly (a name it cannot
// take) refuses the deletion rather than lose it.
RegResult HiveRegistry::ValuesKept(KeyHandle key, const Text& valueName, KeptValues* kept) {
    OpenNode* open = nullptr;
    if (const RegResult bad = Resolve(key, &open)) return bad;
    const hive::Result<std::optional<ValueInfo>> target = image_->FindValue(open->ref, valueName);
    if (!target.ok()) return kRegBadDatabase;
    if (!target.value) return kRegFileNotFound;
    const std::vector<ValueInfo>* values = Values(open->ref);
    if (!values) return kRegBadDatabase;
    kept->node = HivexNode(open->ref);
    for (const ValueInfo& value : *values) {
        if (value.cell == target.value->cell) continue;
        std::string utf8;
        if (!NameForHivex(value.name, &utf8)) return kRegNotSupported;
        const hive::Result<std::vector<unsigned char>> bytes = image_->ValueData(value);
        if (!bytes.ok()) return kRegBadDatabase;
        kept->names.push_back(std::move(utf8));
        kept->datas.emplace_back(bytes.value.begin(), bytes.value.end());
        kept->types.push_back(value.type);
    }
    return kRegOk;
}

RegResult HiveRegistry::WouldDeleteValue(KeyHandle key, const Text& valueName) {
    KeptValues kept;
    return ValuesKept(key, valueName, &kept);
}

RegResult HiveRegistry::DeleteValue(KeyHandle key, const Text& valueName) {
    KeptValues kept;
    if (const RegResult checked = ValuesKept(key, valueName, &kept); checked != kRegOk) return checked;
    hive_h* writer = Writer();
    if (!writer) return kRegAccessDenied;
    std::vector<hive_set_value> values;
    for (std::size_t i = 0; i < kept.names.size(); ++i) {
        values.push_back({kept.names[i].data(), static_cast<hive_type>(kept.types[i]), kept.datas[i].size(),
                          kept.datas[i].empty() ? nullptr : kept.datas[i].data()});
    }
    errno = 0;
    if (hivex_node_set_values(writer, kept.node, values.size(), values.data(), 0) != 0) return kRegAccessDenied;
    return Changed();
}

RegResult HiveRegistry::DeletableSubkey(KeyHandle key, const Text& subkeyName, KeyRef* out) {
    OpenNode* open = nullptr;
    if (const RegResult bad = Resolve(key, &open)) return bad;
    if (subkeyName.empty()) return kRegFileNotFound;
    const hive::Result<std::optional<KeyRef>> target = image_->FindSubkey(open->ref, subkeyName);
    if (!target.ok()) return kRegBadDatabase;
    if (!target.value) return kRegFileNotFound;
    bool link = false;
    if (const RegResult read = IsLink(*target.value, &link, nullptr); read != kRegOk) return read;
    // Deleting by a link's name would delete what it points at: never done here.
    if (link) return kRegAccessDenied;
    const std::vector<KeyRef>* children = Subkeys(*target.value);
    if (!children) return kRegBadDatabase;
    // Like the registry: a key with subkeys of its own is not deleted.
    if (!children->empty()) return kRegAccessDenied;
    *out = *target.value;
    return kRegOk;
}

RegResult HiveRegistry::WouldDeleteKey(KeyHandle key, const Text& subkeyName) {
    KeyRef target{};
    return DeletableSubkey(key, subkeyName, &target);
}

RegResult HiveRegistry::DeleteKey(KeyHandle key, const Text& subkeyName) {
    KeyRef target{};
    if (const RegResult checked = DeletableSubkey(key, subkeyName, &target); checked != kRegOk) return checked;
    hive_h* writer = Writer();
    if (!writer) return kRegAccessDenied;
    errno = 0;
    if (hivex_node_delete_child(writer, HivexNode(target)) != 0) return kRegAccessDenied;
    for (auto& [handle, node] : handles_) {
        if (node.ref == target) node.deleted = true;
    }
    return Changed();
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

RegResult HiveRegistry::DeleteLink(KeyHandle root, const Text& path) {
    if (root != kLocalMachine) return kRegInvalidHandle;
    KeyRef key{};
    if (const RegResult found = FromMachine(path, true, &key); found != kRegOk) return found;
    bool link = false;
    if (const RegResult read = IsLink(key, &link, nullptr); read != kRegOk) return read;
    if (!link) return kRegInvalidParameter;
    hive_h* writer = Writer();
    if (!writer) return kRegAccessDenied;
    errno = 0;
    if (hivex_node_delete_child(writer, HivexNode(key)) != 0) return kRegAccessDenied;
    for (auto& [handle, node] : handles_) {
        if (node.ref == key) node.deleted = true;
    }
    return Changed();
}

namespace {

bool IsWithin(hive_h* hive, std::size_t node, std::size_t ancestor) {
    for (int depth = 0; node != 0 && depth < 512; ++depth) {
        if (node == ancestor) return true;
        errno = 0;
        node = hivex_node_parent(hive, node);
    }
    return false;
}

}  // namespace

bool HiveRegistry::CreateSubkeyNamed(const Text& parentPath, const Text& name) {
    hive_h* writer = Writer();
    KeyRef parent{};
    std::string utf8;
    if (!writer || !CreateKey(parentPath) || FromMachine(parentPath, true, &parent) != kRegOk ||
        !NameForHivex(name, &utf8)) {
        return false;
    }
    errno = 0;
    if (hivex_node_add_child(writer, HivexNode(parent), utf8.c_str()) == 0) return false;
    return Changed() == kRegOk;
}

bool HiveRegistry::CreateKey(const Text& path) {
    hive_h* writer = Writer();
    std::vector<Text> parts = SplitKeyPath(path);
    if (!writer || parts.empty() || !RegistryNamesEqual(parts.front(), kSoftware)) return false;
    KeyRef existing{};
    // Also a key whose name holds a backslash, as a lookup finds it.
    if (FromMachine(path, true, &existing) == kRegOk) return true;
    KeyRef key = image_->Root();
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const hive::Result<std::optional<KeyRef>> child = image_->FindSubkey(key, parts[i]);
        if (!child.ok()) return false;
        if (child.value) {
            key = *child.value;
            continue;
        }
        std::string utf8;
        if (parts[i].empty() || !NameForHivex(parts[i], &utf8)) return false;
        errno = 0;
        const std::size_t added = hivex_node_add_child(writer, HivexNode(key), utf8.c_str());
        if (added < kHiveBinsStart) return false;
        if (Changed() != kRegOk) return false;
        key = KeyRef{static_cast<std::uint32_t>(added - kHiveBinsStart)};
    }
    return true;
}

bool HiveRegistry::SetValue(const Text& keyPath, const Text& name, std::uint32_t type,
                            const std::vector<unsigned char>& data) {
    hive_h* writer = Writer();
    KeyRef key{};
    std::string utf8;
    if (!writer || !CreateKey(keyPath) || FromMachine(keyPath, true, &key) != kRegOk) return false;
    if (!NameForHivex(name, &utf8)) return false;
    std::vector<char> bytes(data.begin(), data.end());
    const hive_set_value value{utf8.data(), static_cast<hive_type>(type), bytes.size(),
                               bytes.empty() ? nullptr : bytes.data()};
    errno = 0;
    if (hivex_node_set_value(writer, HivexNode(key), &value, 0) != 0) return false;
    return Changed() == kRegOk;
}

bool HiveRegistry::RemoveTree(const Text& path) {
    hive_h* writer = Writer();
    KeyRef key{};
    if (!writer || FromMachine(path, true, &key) != kRegOk || key == image_->Root()) return false;
    const std::size_t node = HivexNode(key);
    for (auto& [handle, open] : handles_) {
        if (!open.deleted && IsWithin(writer, HivexNode(open.ref), node)) open.deleted = true;
    }
    errno = 0;
    if (hivex_node_delete_child(writer, node) != 0) return false;
    return Changed() == kRegOk;
}

std::string HiveRegistry::RealPath(const std::string& path) {
    Malloced<char> resolved(realpath(path.c_str(), nullptr));
    return resolved ? std::string(resolved.get()) : path;
}

bool HiveRegistry::Commit(std::string* error) {
    if (!changed_) return true;
    hive_h* writer = Writer();
    if (!writer) {
        *error = path_ + (unreadable_ ? ": the changes could not be read back, so they are not written" : ": opened read-only");
        return false;
    }
    // The file really written is the one a link points at; the temporary file
    // is new, beside it, on the same file system, so that the rename is atomic.
    const std::string target = RealPath(path_);
    std::string temporary = target + ".vornex-new-XXXXXX";
    {
        UniqueFd created(mkstemp(temporary.data()));
        if (created.get() < 0) {
            *error = target + ": cannot create a file beside it: " + std::strerror(errno);
            return false;
        }
    }
    const auto fail = [&](const std::string& what) {
        *error = what + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    };
    errno = 0;
    if (hivex_commit(writer, temporary.c_str(), 0) != 0) return fail(temporary);
    {
        UniqueFd written(open(temporary.c_str(), O_RDONLY | O_CLOEXEC));
        // On disk before it takes the hive's place: a crash leaves one whole file or the other.
        if (written.get() < 0 || fsync(written.get()) != 0) return fail(temporary);
    }
    struct stat info {};
    if (stat(target.c_str(), &info) == 0) chmod(temporary.c_str(), info.st_mode & 07777);
    if (rename(temporary.c_str(), target.c_str()) != 0) return fail(target);
    const std::string folder = target.substr(0, target.find_last_of('/') == std::string::npos ? 1 : target.find_last_of('/') + 1);
    UniqueFd directory(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0 || fsync(directory.get()) != 0) {
        *error = folder + ": the new hive is in place but its folder could not be flushed: " + std::strerror(errno);
        return false;
    }
    changed_ = false;
    return true;
}

}  // namespace vornex
