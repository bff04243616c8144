#include "hive_registry.h"

#include <hivex.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/registry_upcase.h"

namespace vornex {

namespace {

// hivex hands out malloc'd strings and arrays.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Malloced = std::unique_ptr<T, FreeDeleter>;

const Text kSoftware = u"SOFTWARE";

// A UTF-8 name for hivex's ASCIIZ arguments; empty when the name cannot be
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

std::string Describe(int error) {
    switch (error) {
        case ENOTSUP: return "not a registry hive";
        case EINVAL:
        case EFAULT:
        case ERANGE: return "damaged registry hive";
        default: return std::strerror(error);
    }
}

}  // namespace

void HiveRegistry::HiveCloser::operator()(hive_h* hive) const { hivex_close(hive); }

HiveRegistry::HiveRegistry(std::unique_ptr<hive_h, HiveCloser> hive, std::string path, Mode mode)
    : hive_(std::move(hive)), path_(std::move(path)), mode_(mode), root_(hivex_root(hive_.get())) {}

HiveRegistry::~HiveRegistry() = default;

std::unique_ptr<HiveRegistry> HiveRegistry::Open(const std::string& path, Mode mode,
                                                 std::string* error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        *error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = path + ": not a regular file";
        return nullptr;
    }
    {
        unsigned char header[0x30] = {};
        std::FILE* file = std::fopen(path.c_str(), "rb");
        const std::size_t got = file ? std::fread(header, 1, sizeof header, file) : 0;
        if (file) std::fclose(file);
        if (got < 4 || std::memcmp(header, "regf", 4) != 0) {
            *error = path + ": not a registry hive";
            return nullptr;
        }
        // hivex reads the bins the file has; a file cut short of the size its
        // base block gives would lose keys without a word.
        const std::uint64_t bins = got < sizeof header ? 0
                                                       : static_cast<std::uint64_t>(header[0x28]) |
                                                             (static_cast<std::uint64_t>(header[0x29]) << 8) |
                                                             (static_cast<std::uint64_t>(header[0x2A]) << 16) |
                                                             (static_cast<std::uint64_t>(header[0x2B]) << 24);
        if (got < sizeof header || static_cast<std::uint64_t>(info.st_size) < 0x1000 + bins) {
            *error = path + ": damaged registry hive (truncated)";
            return nullptr;
        }
    }
    errno = 0;
    std::unique_ptr<hive_h, HiveCloser> hive(
        hivex_open(path.c_str(), mode == Mode::kWrite ? HIVEX_OPEN_WRITE : 0));
    if (!hive) {
        *error = path + ": " + Describe(errno);
        return nullptr;
    }
    errno = 0;
    if (hivex_root(hive.get()) == 0) {
        *error = path + ": damaged registry hive (no root key)";
        return nullptr;
    }
    return std::unique_ptr<HiveRegistry>(new HiveRegistry(std::move(hive), path, mode));
}

void HiveRegistry::NoteDamage(const std::string& what) {
    if (damage_.empty()) damage_ = path_ + ": damaged registry hive (" + what + ")";
}

void HiveRegistry::Changed() {
    dirty_ = true;
    childCache_.clear();
    valueCache_.clear();
}

const std::vector<HiveRegistry::Child>* HiveRegistry::Children(std::size_t node) {
    auto cached = childCache_.find(node);
    if (cached != childCache_.end()) return &cached->second;
    errno = 0;
    Malloced<hive_node_h> list(hivex_node_children(hive_.get(), node));
    if (!list) {
        NoteDamage("unreadable subkey list");
        return nullptr;
    }
    std::vector<Child> children;
    for (std::size_t i = 0; list.get()[i] != 0; ++i) {
        const hive_node_h child = list.get()[i];
        errno = 0;
        const std::size_t length = hivex_node_name_len(hive_.get(), child);
        Malloced<char> name(hivex_node_name(hive_.get(), child));
        // A name hivex cannot recode stays in the list, unreadable, so that
        // indexes keep their places.
        if (!name) {
            children.push_back({child, Text(), false});
        } else {
            children.push_back({child, FromUtf8(std::string(name.get(), length)), true});
        }
    }
    return &childCache_.emplace(node, std::move(children)).first->second;
}

const std::vector<HiveRegistry::ValueEntry>* HiveRegistry::Values(std::size_t node) {
    auto cached = valueCache_.find(node);
    if (cached != valueCache_.end()) return &cached->second;
    errno = 0;
    Malloced<hive_value_h> list(hivex_node_values(hive_.get(), node));
    if (!list) {
        NoteDamage("unreadable value list");
        return nullptr;
    }
    std::vector<ValueEntry> values;
    for (std::size_t i = 0; list.get()[i] != 0; ++i) {
        const hive_value_h value = list.get()[i];
        errno = 0;
        const std::size_t length = hivex_value_key_len(hive_.get(), value);
        Malloced<char> name(hivex_value_key(hive_.get(), value));
        if (!name) {
            values.push_back({value, Text(), false});
        } else {
            values.push_back({value, FromUtf8(std::string(name.get(), length)), true});
        }
    }
    return &valueCache_.emplace(node, std::move(values)).first->second;
}

std::size_t HiveRegistry::FindChild(std::size_t parent, const Text& name, RegResult* result) {
    const std::vector<Child>* children = Children(parent);
    if (!children) {
        *result = kBadDatabase;
        return 0;
    }
    for (const Child& child : *children) {
        if (child.readable && RegistryNamesEqual(child.name, name)) return child.node;
    }
    *result = kFileNotFound;
    return 0;
}

std::size_t HiveRegistry::Walk(std::size_t from, const Text& path, RegResult* result) {
    if (path.empty()) return from;
    std::size_t node = from;
    for (const Text& part : SplitKeyPath(path)) {
        if (part.empty()) {
            *result = kFileNotFound;
            return 0;
        }
        node = FindChild(node, part, result);
        if (node == 0) return 0;
    }
    return node;
}

RegResult HiveRegistry::Resolve(KeyHandle key, OpenNode** out) {
    auto found = handles_.find(key);
    if (found == handles_.end()) return kInvalidHandle;
    if (found->second.deleted) return kKeyDeleted;
    *out = &found->second;
    return kRegOk;
}

bool HiveRegistry::IsWithin(std::size_t node, std::size_t ancestor) {
    // Bounded: a damaged parent chain must not loop.
    for (int depth = 0; depth < 512 && node != 0; ++depth) {
        if (node == ancestor) return true;
        if (node == root_) return false;
        errno = 0;
        node = hivex_node_parent(hive_.get(), node);
    }
    return false;
}

RegResult HiveRegistry::OpenKey(KeyHandle root, const Text& path, std::uint32_t /*access*/,
                                KeyHandle* key) {
    if (!key) return kInvalidParameter;
    std::size_t node = 0;
    RegResult result = kRegOk;
    if (root == kLocalMachine) {
        // Only SOFTWARE lives in this file; its root node stands for it.
        const std::size_t separator = path.find(u'\\');
        const Text first = path.substr(0, separator);
        if (!RegistryNamesEqual(first, kSoftware)) return kFileNotFound;
        node = separator == Text::npos ? root_ : Walk(root_, path.substr(separator + 1), &result);
    } else {
        OpenNode* base = nullptr;
        if (RegResult bad = Resolve(root, &base)) return bad;
        node = Walk(base->node, path, &result);
    }
    if (node == 0) return result == kRegOk ? kFileNotFound : result;
    const KeyHandle handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = OpenNode{node, false};
    *key = handle;
    return kRegOk;
}

RegResult HiveRegistry::QueryInfoKey(KeyHandle key, std::uint32_t* subkeyCount,
                                     std::uint32_t* maxSubkeyNameLength) {
    OpenNode* open = nullptr;
    if (RegResult bad = Resolve(key, &open)) return bad;
    const std::vector<Child>* children = Children(open->node);
    if (!children) return kBadDatabase;
    std::size_t longest = 0;
    for (const Child& child : *children) longest = std::max(longest, child.name.size());
    if (subkeyCount) *subkeyCount = static_cast<std::uint32_t>(children->size());
    if (maxSubkeyNameLength) *maxSubkeyNameLength = static_cast<std::uint32_t>(longest);
    return kRegOk;
}

RegResult HiveRegistry::EnumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                                std::uint32_t* nameLength) {
    OpenNode* open = nullptr;
    if (RegResult bad = Resolve(key, &open)) return bad;
    if (!name || !nameLength) return kInvalidParameter;
    const std::vector<Child>* children = Children(open->node);
    if (!children) return kBadDatabase;
    if (index >= children->size()) return kNoMoreItems;
    const Child& child = (*children)[index];
    if (!child.readable) return kBadDatabase;
    if (child.name.size() + 1 > *nameLength) return kMoreData;
    std::copy(child.name.begin(), child.name.end(), name);
    name[child.name.size()] = u'\0';
    *nameLength = static_cast<std::uint32_t>(child.name.size());
    return kRegOk;
}

RegResult HiveRegistry::EnumValue(KeyHandle key, std::uint32_t index, char16_t* name,
                                  std::uint32_t* nameLength, std::uint32_t* type,
                                  unsigned char* data, std::uint32_t* dataSize) {
    OpenNode* open = nullptr;
    if (RegResult bad = Resolve(key, &open)) return bad;
    if (!name || !nameLength || (data && !dataSize)) return kInvalidParameter;
    const std::vector<ValueEntry>* values = Values(open->node);
    if (!values) return kBadDatabase;
    if (index >= values->size()) return kNoMoreItems;
    const ValueEntry& value = (*values)[index];
    if (!value.readable) return kBadDatabase;
    if (value.name.size() + 1 > *nameLength) return kMoreData;

    hive_type valueType{};
    std::size_t length = 0;
    errno = 0;
    if (hivex_value_type(hive_.get(), value.value, &valueType, &length) != 0) {
        NoteDamage("unreadable value");
        return kBadDatabase;
    }
    std::copy(value.name.begin(), value.name.end(), name);
    name[value.name.size()] = u'\0';
    *nameLength = static_cast<std::uint32_t>(value.name.size());
    if (type) *type = static_cast<std::uint32_t>(valueType);
    if (!dataSize) return kRegOk;
    if (!data) {
        *dataSize = static_cast<std::uint32_t>(length);
        return kRegOk;
    }
    if (length > *dataSize) {
        *dataSize = static_cast<std::uint32_t>(length);
        return kMoreData;
    }
    errno = 0;
    Malloced<char> bytes(hivex_value_value(hive_.get(), value.value, &valueType, &length));
    if (!bytes) {
        NoteDamage("unreadable value data");
        return kBadDatabase;
    }
    length = std::min<std::size_t>(length, *dataSize);
    std::memcpy(data, bytes.get(), length);
    *dataSize = static_cast<std::uint32_t>(length);
    return kRegOk;
}

RegResult HiveRegistry::CloseKey(KeyHandle key) {
    return handles_.erase(key) ? kRegOk : kInvalidHandle;
}

RegResult HiveRegistry::DeleteValue(KeyHandle key, const Text& valueName) {
    OpenNode* open = nullptr;
    if (RegResult bad = Resolve(key, &open)) return bad;
    const std::size_t node = open->node;
    const std::vector<ValueEntry>* values = Values(node);
    if (!values) return kBadDatabase;
    auto target = std::find_if(values->begin(), values->end(), [&](const ValueEntry& value) {
        return value.readable && RegistryNamesEqual(value.name, valueName);
    });
    if (target == values->end()) return kFileNotFound;
    if (mode_ != Mode::kWrite) return kAccessDenied;

    // hivex replaces a node's values as a whole: every other value goes back
    // byte for byte. One that could not be written back exactly (a name hivex
    // cannot take) refuses the deletion rather than lose it.
    std::vector<std::string> names;
    std::vector<Malloced<char>> datas;
    std::vector<hive_set_value> kept;
    names.reserve(values->size());
    for (auto it = values->begin(); it != values->end(); ++it) {
        if (it == target) continue;
        std::string utf8;
        if (!it->readable || !NameForHivex(it->name, &utf8)) return kAccessDenied;
        hive_type valueType{};
        std::size_t length = 0;
        errno = 0;
        Malloced<char> bytes(hivex_value_value(hive_.get(), it->value, &valueType, &length));
        if (!bytes) {
            NoteDamage("unreadable value data");
            return kBadDatabase;
        }
        names.push_back(std::move(utf8));
        kept.push_back({nullptr, valueType, length, bytes.get()});
        datas.push_back(std::move(bytes));
    }
    for (std::size_t i = 0; i < kept.size(); ++i) kept[i].key = names[i].data();
    errno = 0;
    if (hivex_node_set_values(hive_.get(), node, kept.size(), kept.data(), 0) != 0) {
        return kAccessDenied;
    }
    Changed();
    return kRegOk;
}

RegResult HiveRegistry::DeleteKey(KeyHandle key, const Text& subkeyName) {
    OpenNode* open = nullptr;
    if (RegResult bad = Resolve(key, &open)) return bad;
    if (subkeyName.empty()) return kFileNotFound;
    RegResult result = kRegOk;
    const std::size_t target = Walk(open->node, subkeyName, &result);
    if (target == 0) return result == kRegOk ? kFileNotFound : result;
    const std::vector<Child>* children = Children(target);
    if (!children) return kBadDatabase;
    // Like the registry: a key with subkeys of its own is not deleted.
    if (!children->empty()) return kAccessDenied;
    if (mode_ != Mode::kWrite) return kAccessDenied;
    for (auto& [handle, node] : handles_) {
        if (!node.deleted && IsWithin(node.node, target)) node.deleted = true;
    }
    errno = 0;
    if (hivex_node_delete_child(hive_.get(), target) != 0) return kAccessDenied;
    Changed();
    return kRegOk;
}

std::size_t HiveRegistry::SoftwarePath(const Text& path, bool create) {
    std::vector<Text> parts = SplitKeyPath(path);
    if (parts.empty() || !RegistryNamesEqual(parts.front(), kSoftware)) return 0;
    std::size_t node = root_;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i].empty()) return 0;
        RegResult result = kRegOk;
        std::size_t child = FindChild(node, parts[i], &result);
        if (child == 0 && create && result == kFileNotFound) {
            std::string utf8;
            if (!NameForHivex(parts[i], &utf8)) return 0;
            errno = 0;
            child = hivex_node_add_child(hive_.get(), node, utf8.c_str());
            if (child != 0) Changed();
        }
        if (child == 0) return 0;
        node = child;
    }
    return node;
}

bool HiveRegistry::CreateKey(const Text& path) {
    return mode_ == Mode::kWrite && SoftwarePath(path, true) != 0;
}

bool HiveRegistry::SetValue(const Text& keyPath, const Text& name, std::uint32_t type,
                            const std::vector<unsigned char>& data) {
    if (mode_ != Mode::kWrite) return false;
    const std::size_t node = SoftwarePath(keyPath, true);
    std::string utf8;
    if (node == 0 || !NameForHivex(name, &utf8)) return false;
    std::vector<char> bytes(data.begin(), data.end());
    const hive_set_value value{utf8.data(), static_cast<hive_type>(type), bytes.size(),
                               bytes.empty() ? nullptr : bytes.data()};
    errno = 0;
    if (hivex_node_set_value(hive_.get(), node, &value, 0) != 0) return false;
    Changed();
    return true;
}

bool HiveRegistry::RemoveTree(const Text& path) {
    if (mode_ != Mode::kWrite) return false;
    const std::size_t node = SoftwarePath(path, false);
    if (node == 0 || node == root_) return false;
    for (auto& [handle, open] : handles_) {
        if (!open.deleted && IsWithin(open.node, node)) open.deleted = true;
    }
    errno = 0;
    if (hivex_node_delete_child(hive_.get(), node) != 0) return false;
    Changed();
    return true;
}

bool HiveRegistry::Commit(std::string* error) {
    if (!dirty_) return true;
    if (mode_ != Mode::kWrite) {
        *error = path_ + ": opened read-only";
        return false;
    }
    const std::string temporary = path_ + ".vornex-new";
    errno = 0;
    if (hivex_commit(hive_.get(), temporary.c_str(), 0) != 0) {
        *error = temporary + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    struct stat info {};
    if (stat(path_.c_str(), &info) == 0) chmod(temporary.c_str(), info.st_mode & 07777);
    if (std::rename(temporary.c_str(), path_.c_str()) != 0) {
        *error = path_ + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    dirty_ = false;
    return true;
}

}  // namespace vornex
