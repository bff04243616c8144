#include "memory_registry.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <unordered_map>

#include "core/registry_upcase.h"

namespace vornex {

namespace {

constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
// What a key's security allows a change with: set value, create subkey,
// create link, delete, write DAC, write owner.
constexpr std::uint32_t kChangeAccess = 0x0002 | 0x0004 | 0x0020 | 0x10000 | 0x40000 | 0x80000;
constexpr int kMaxLinkHops = 16;
const Text kMachinePrefix = u"\\REGISTRY\\MACHINE\\";

Text Upcased(const Text& text) {
    Text out = text;
    for (char16_t& c : out) c = RegistryUpcase(c);
    return out;
}

bool ContainsName(const std::vector<Text>& list, const Text& name) {
    return std::any_of(list.begin(), list.end(),
                       [&](const Text& entry) { return RegistryNamesEqual(entry, name); });
}

}  // namespace

struct MemoryRegistry::Node {
    struct Value {
        Text name;
        std::uint32_t type;
        std::vector<unsigned char> data;
    };
    Text name;
    std::weak_ptr<Node> parent;
    std::vector<NodePtr> children;  // in creation order, as they enumerate
    std::unordered_map<Text, NodePtr> childByUpcasedName;
    std::vector<Value> values;
    bool deleted = false;
    bool link = false;
    // Security, as this store models it: read-only for everyone, and what a
    // takeover added (ownership and full control for the administrators).
    struct Security {
        bool readOnly = false;
        bool ownedByAdministrators = false;
        bool administratorsFull = false;
        bool administratorsDenied = false;
        bool operator==(const Security& o) const {
            return readOnly == o.readOnly && ownedByAdministrators == o.ownedByAdministrators &&
                   administratorsFull == o.administratorsFull && administratorsDenied == o.administratorsDenied;
        }
    } security;

    NodePtr Child(const Text& childName) const {
        auto found = childByUpcasedName.find(Upcased(childName));
        return found == childByUpcasedName.end() ? nullptr : found->second;
    }
    void AddChild(const NodePtr& child) {
        children.push_back(child);
        childByUpcasedName[Upcased(child->name)] = child;
    }
    void RemoveChild(const NodePtr& child) {
        children.erase(std::remove(children.begin(), children.end(), child), children.end());
        childByUpcasedName.erase(Upcased(child->name));
    }
    Value* FindValue(const Text& valueName) {
        for (auto& value : values) {
            if (RegistryNamesEqual(value.name, valueName)) return &value;
        }
        return nullptr;
    }
};

MemoryRegistry::MemoryRegistry() : root_(std::make_shared<Node>()) {}
MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::NodePtr MemoryRegistry::FollowLink(NodePtr node) const {
    for (int hop = 0; node && node->link; ++hop) {
        if (hop == kMaxLinkHops) return nullptr;
        const Node::Value* target = node->FindValue(u"SymbolicLinkValue");
        if (!target || target->type != kRegLink) return nullptr;
        Text text;
        for (std::size_t i = 0; i + 1 < target->data.size(); i += 2) {
            text.push_back(static_cast<char16_t>(target->data[i] | (target->data[i + 1] << 8)));
        }
        if (text.size() <= kMachinePrefix.size() ||
            !RegistryNamesEqual(text.substr(0, kMachinePrefix.size()), kMachinePrefix)) {
            return nullptr;
        }
        node = FindFrom(root_, text.substr(kMachinePrefix.size()), true);
    }
    return node;
}

MemoryRegistry::NodePtr MemoryRegistry::FindFrom(NodePtr from, const Text& path, bool openLink) const {
    if (path.empty()) return from;
    const std::vector<Text> parts = SplitKeyPath(path);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!from || parts[i].empty()) return nullptr;
        from = from->Child(parts[i]);
        if (from && from->link && !(openLink && i + 1 == parts.size())) from = FollowLink(from);
    }
    return from;
}

bool MemoryRegistry::MayChange(const Node& node) {
    return !(node.security.readOnly || node.security.administratorsDenied) || node.security.administratorsFull;
}

// The ACE a takeover adds comes before the deny.
bool MemoryRegistry::MayOpen(const Node& node) {
    return !node.security.administratorsDenied || node.security.administratorsFull;
}

MemoryRegistry::NodePtr MemoryRegistry::Find(const Text& path) const {
    return FindFrom(root_, path);
}

MemoryRegistry::NodePtr MemoryRegistry::CreatePath(const Text& path) {
    NodePtr node = root_;
    for (const Text& part : SplitKeyPath(path)) {
        if (part.empty() || part.size() > kMaxKeyNameLength) {
            throw std::invalid_argument("key name empty or longer than 255 characters");
        }
        NodePtr child = node->Child(part);
        if (!child) {
            child = std::make_shared<Node>();
            child->name = part;
            child->parent = node;
            node->AddChild(child);
        }
        node = child;
    }
    return node;
}

Text MemoryRegistry::PathOf(const Node& node) {
    Text path = node.name;
    for (auto parent = node.parent.lock(); parent && parent->parent.lock();
         parent = parent->parent.lock()) {
        path = parent->name + u'\\' + path;
    }
    return path;
}

void MemoryRegistry::CreateKey(const Text& path) { CreatePath(path); }

void MemoryRegistry::SetValue(const Text& keyPath, const Text& name, std::uint32_t type,
                              std::vector<unsigned char> data) {
    if (name.size() > kMaxValueNameLength) {
        throw std::invalid_argument("value name longer than 16383 characters");
    }
    NodePtr node = CreatePath(keyPath);
    if (Node::Value* existing = node->FindValue(name)) {
        existing->type = type;
        existing->data = std::move(data);
    } else {
        node->values.push_back({name, type, std::move(data)});
    }
}

void MemoryRegistry::SetString(const Text& keyPath, const Text& name, const Text& text,
                               std::uint32_t type) {
    std::vector<unsigned char> data;
    for (char16_t c : text + u'\0') {
        data.push_back(static_cast<unsigned char>(c & 0xFF));
        data.push_back(static_cast<unsigned char>(c >> 8));
    }
    SetValue(keyPath, name, type, std::move(data));
}

bool MemoryRegistry::RemoveTree(const Text& path) {
    NodePtr node = FindFrom(root_, path, true);  // a link goes, not what it points at
    NodePtr parent = node ? node->parent.lock() : nullptr;
    if (!parent) return false;
    parent->RemoveChild(node);
    // Handles to the key or anything below it now refer to a deleted key.
    std::vector<NodePtr> gone{node};
    while (!gone.empty()) {
        NodePtr next = gone.back();
        gone.pop_back();
        next->deleted = true;
        gone.insert(gone.end(), next->children.begin(), next->children.end());
    }
    return true;
}

bool MemoryRegistry::KeyExists(const Text& path) const { return Find(path) != nullptr; }

void MemoryRegistry::ProtectKey(const Text& path) { CreatePath(path)->security.readOnly = true; }

void MemoryRegistry::DenyAdministrators(const Text& path) {
    Node::Security& security = CreatePath(path)->security;
    security.readOnly = true;
    security.administratorsDenied = true;
}

void MemoryRegistry::CreateLink(const Text& path, const Text& targetPath) {
    NodePtr node = CreatePath(path);
    node->link = true;
    std::vector<unsigned char> data;
    for (char16_t c : kMachinePrefix + targetPath) {
        data.push_back(static_cast<unsigned char>(c & 0xFF));
        data.push_back(static_cast<unsigned char>(c >> 8));
    }
    node->values.push_back({u"SymbolicLinkValue", kRegLink, std::move(data)});
}

void MemoryRegistry::DenyOpen(const Text& path) { deniedOpens_.push_back(path); }
void MemoryRegistry::RefuseTakeover(const Text& path) { refusedTakeovers_.push_back(path); }
void MemoryRegistry::FailTakeoverHalfWay(const Text& path) { halfTakeovers_.push_back(path); }
void MemoryRegistry::RefuseDeletion(const Text& keyPath) { refusedDeletions_.push_back(keyPath); }
void MemoryRegistry::FailCall(std::uint64_t callNumber) {
    failingCalls_.insert(calls_ + callNumber);
}

void MemoryRegistry::FailOperation(const std::string& operation, std::uint64_t nth, RegResult code) {
    failingOperations_.push_back({operation, nth, code});
}

RegResult MemoryRegistry::Begin(const char* operation, const std::string& detail) {
    ++calls_;
    log_.push_back(std::string(operation) + " " + detail);
    RegResult result = failingCalls_.count(calls_) ? kRegGenFailure : kRegOk;
    for (OperationFailure& failure : failingOperations_) {
        if (failure.operation == operation && failure.remaining > 0 && --failure.remaining == 0) {
            result = failure.code;
        }
    }
    return result;
}

MemoryRegistry::NodePtr MemoryRegistry::Resolve(KeyHandle key) const {
    if (key == kLocalMachine) return root_;
    auto found = handles_.find(key);
    return found == handles_.end() ? nullptr : found->second.node;
}

RegResult MemoryRegistry::OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                                  KeyHandle* key) {
    return Open("OpenKey", root, path, access, false, key);
}

// A backup-intent handle reads only, whatever the key's DACL says.
RegResult MemoryRegistry::OpenKeyForBackup(KeyHandle root, const Text& path, KeyHandle* key) {
    return Open("OpenKeyForBackup", root, path, kKeyRead, true, key);
}

RegResult MemoryRegistry::Open(const char* operation, KeyHandle root, const Text& path, std::uint32_t access,
                               bool backupIntent, KeyHandle* key) {
    char accessText[16];
    std::snprintf(accessText, sizeof accessText, "0x%X", static_cast<unsigned>(access));
    if (RegResult injected = Begin(operation, ToUtf8(path) + " " + accessText)) return injected;
    NodePtr base = Resolve(root);
    if (!base) return kRegInvalidHandle;
    if (!key) return kRegInvalidParameter;
    NodePtr node = FindFrom(base, path);
    if (!node) return kRegFileNotFound;
    if (!deniedOpens_.empty() && ContainsName(deniedOpens_, PathOf(*node))) return kRegAccessDenied;
    if (backupIntent && backupIntentRefused_) return kRegAccessDenied;
    if (!backupIntent && !MayOpen(*node)) return kRegAccessDenied;
    if ((access & kChangeAccess) && !MayChange(*node)) return kRegAccessDenied;
    const KeyHandle handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = {node, access};
    *key = handle;
    return kRegOk;
}

RegResult MemoryRegistry::QueryInfoKey(KeyHandle key, std::uint32_t* subkeyCount,
                                       std::uint32_t* maxSubkeyNameLength) {
    if (RegResult injected = Begin("QueryInfoKey", "")) return injected;
    NodePtr node = Resolve(key);
    if (!node) return kRegInvalidHandle;
    if (node->deleted) return kRegKeyDeleted;
    std::size_t longest = 0;
    for (const auto& child : node->children) longest = std::max(longest, child->name.size());
    if (subkeyCount) *subkeyCount = static_cast<std::uint32_t>(node->children.size());
    if (maxSubkeyNameLength) *maxSubkeyNameLength = static_cast<std::uint32_t>(longest);
    return kRegOk;
}

RegResult MemoryRegistry::EnumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                                  std::uint32_t* nameLength) {
    if (RegResult injected = Begin("EnumKey", std::to_string(index))) return injected;
    NodePtr node = Resolve(key);
    if (!node) return kRegInvalidHandle;
    if (node->deleted) return kRegKeyDeleted;
    if (!name || !nameLength) return kRegInvalidParameter;
    if (index >= node->children.size()) return kRegNoMoreItems;
    const Text& childName = node->children[index]->name;
    if (childName.size() + 1 > *nameLength) return kRegMoreData;
    std::copy(childName.begin(), childName.end(), name);
    name[childName.size()] = u'\0';
    *nameLength = static_cast<std::uint32_t>(childName.size());
    return kRegOk;
}

RegResult MemoryRegistry::EnumValue(KeyHandle key, std::uint32_t index, char16_t* name,
                                    std::uint32_t* nameLength, std::uint32_t* type,
                                    unsigned char* data, std::uint32_t* dataSize) {
    if (RegResult injected = Begin("EnumValue", std::to_string(index))) return injected;
    NodePtr node = Resolve(key);
    if (!node) return kRegInvalidHandle;
    if (node->deleted) return kRegKeyDeleted;
    if (!name || !nameLength || (data && !dataSize)) return kRegInvalidParameter;
    if (index >= node->values.size()) return kRegNoMoreItems;
    const Node::Value& value = node->values[index];
    if (value.name.size() + 1 > *nameLength) return kRegMoreData;
    std::copy(value.name.begin(), value.name.end(), name);
    name[value.name.size()] = u'\0';
    *nameLength = static_cast<std::uint32_t>(value.name.size());
    if (type) *type = value.type;
    if (!dataSize) return kRegOk;
    const auto size = static_cast<std::uint32_t>(value.data.size());
    if (data && size > *dataSize) {
        *dataSize = size;
        return kRegMoreData;
    }
    if (data) std::copy(value.data.begin(), value.data.end(), data);
    *dataSize = size;
    return kRegOk;
}

RegResult MemoryRegistry::QueryValue(KeyHandle key, const Text& valueName, std::uint32_t* type,
                                     unsigned char* data, std::uint32_t* dataSize) {
    if (RegResult injected = Begin("QueryValue", ToUtf8(valueName))) return injected;
    NodePtr node = Resolve(key);
    if (!node) return kRegInvalidHandle;
    if (node->deleted) return kRegKeyDeleted;
    if (data && !dataSize) return kRegInvalidParameter;
    const Node::Value* value = node->FindValue(valueName);
    if (!value) return kRegFileNotFound;
    const auto size = static_cast<std::uint32_t>(value->data.size());
    if (data && size > *dataSize) {
        *dataSize = size;
        return kRegMoreData;
    }
    if (data) std::copy(value->data.begin(), value->data.end(), data);
    if (dataSize) *dataSize = size;
    if (type) *type = value->type;
    return kRegOk;
}

RegResult MemoryRegistry::CloseKey(KeyHandle key) {
    // Counted like every call, but a close is never made to fail: the real
    // registry gives its handle back whatever happens.
    ++calls_;
    log_.push_back("CloseKey");
    return handles_.erase(key) ? kRegOk : kRegInvalidHandle;
}

RegResult MemoryRegistry::DeleteValue(KeyHandle key, const Text& valueName) {
    if (RegResult injected = Begin("DeleteValue", ToUtf8(valueName))) return injected;
    NodePtr node = Resolve(key);
    if (!node) return kRegInvalidHandle;
    if (node->deleted) return kRegKeyDeleted;
    if (ContainsName(refusedDeletions_, PathOf(*node))) return kRegAccessDenied;
    if (key != kLocalMachine && !(handles_[key].access & kKeySetValue)) return kRegAccessDenied;
    auto& values = node->values;
    auto found = std::find_if(values.begin(), values.end(), [&](const Node::Value& value) {
        return RegistryNamesEqual(value.name, valueName);
    });
    if (found == values.end()) return kRegFileNotFound;
    values.erase(found);
    return kRegOk;
}

RegResult MemoryRegistry::DeleteKey(KeyHandle key, const Text& subkeyName) {
    if (RegResult injected = Begin("DeleteKey", ToUtf8(subkeyName))) return injected;
    NodePtr node = Resolve(key);
    if (!node) return kRegInvalidHandle;
    if (node->deleted) return kRegKeyDeleted;
    if (HoldsSeparator(subkeyName)) return kRegBadPathname;  // as RegDeleteKeyEx, which would split it
    NodePtr target = subkeyName.empty() ? nullptr : FindFrom(node, subkeyName);
    if (!target) return kRegFileNotFound;
    if (!target->children.empty()) return kRegAccessDenied;
    if (ContainsName(refusedDeletions_, PathOf(*target))) return kRegAccessDenied;
    if (!MayChange(*target)) return kRegAccessDenied;
    RemoveTree(PathOf(*target));
    return kRegOk;
}

RegResult MemoryRegistry::QueryLink(KeyHandle root, const Text& path, bool* isLink, Text* target) {
    if (RegResult injected = Begin("QueryLink", ToUtf8(path))) return injected;
    NodePtr base = Resolve(root);
    if (!base) return kRegInvalidHandle;
    NodePtr node = FindFrom(base, path, true);
    if (!node) return kRegFileNotFound;
    if (isLink) *isLink = node->link;
    if (target) {
        target->clear();
        if (const Node::Value* value = node->link ? node->FindValue(u"SymbolicLinkValue") : nullptr) {
            for (std::size_t i = 0; i + 1 < value->data.size(); i += 2) {
                target->push_back(static_cast<char16_t>(value->data[i] | (value->data[i + 1] << 8)));
            }
        }
    }
    return kRegOk;
}

RegResult MemoryRegistry::DeleteLink(KeyHandle root, const Text& path) {
    if (RegResult injected = Begin("DeleteLink", ToUtf8(path))) return injected;
    NodePtr base = Resolve(root);
    if (!base) return kRegInvalidHandle;
    NodePtr node = FindFrom(base, path, true);
    if (!node) return kRegFileNotFound;
    if (!node->link) return kRegInvalidParameter;
    if (ContainsName(refusedDeletions_, PathOf(*node)) || !MayChange(*node)) return kRegAccessDenied;
    RemoveTree(PathOf(*node));
    return kRegOk;
}

RegResult MemoryRegistry::WouldDeleteLink(KeyHandle root, const Text& path) {
    NodePtr base = Resolve(root);
    NodePtr node = base ? FindFrom(base, path, true) : nullptr;
    if (!node) return kRegFileNotFound;
    if (!node->link) return kRegInvalidParameter;
    return ContainsName(refusedDeletions_, PathOf(*node)) || !MayChange(*node) ? kRegAccessDenied : kRegOk;
}

RegResult MemoryRegistry::GetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                                         std::vector<unsigned char>* descriptor) {
    if (RegResult injected = Begin("GetKeySecurity", ToUtf8(path))) return injected;
    NodePtr base = Resolve(root);
    NodePtr node = base ? FindFrom(base, path, mode == LinkMode::kLinkItself) : nullptr;
    if (!node) return kRegFileNotFound;
    const Node::Security& security = node->security;
    *descriptor = {'S', static_cast<unsigned char>(security.readOnly),
                   static_cast<unsigned char>(security.ownedByAdministrators),
                   static_cast<unsigned char>(security.administratorsFull),
                   static_cast<unsigned char>(security.administratorsDenied)};
    return kRegOk;
}

RegResult MemoryRegistry::SetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                                         const std::vector<unsigned char>& descriptor) {
    if (RegResult injected = Begin("SetKeySecurity", ToUtf8(path))) return injected;
    NodePtr base = Resolve(root);
    NodePtr node = base ? FindFrom(base, path, mode == LinkMode::kLinkItself) : nullptr;
    if (!node) return kRegFileNotFound;
    if (descriptor.size() != 5 || descriptor[0] != 'S') return kRegInvalidParameter;
    // The owner may always rewrite a key's security.
    if (!MayChange(*node) && !node->security.ownedByAdministrators) return kRegAccessDenied;
    node->security = {descriptor[1] != 0, descriptor[2] != 0, descriptor[3] != 0, descriptor[4] != 0};
    return kRegOk;
}

RegResult MemoryRegistry::TakeOverKey(KeyHandle root, const Text& path, LinkMode mode) {
    if (RegResult injected = Begin("TakeOverKey", ToUtf8(path))) return injected;
    NodePtr base = Resolve(root);
    NodePtr node = base ? FindFrom(base, path, mode == LinkMode::kLinkItself) : nullptr;
    if (!node) return kRegFileNotFound;
    if (ContainsName(refusedTakeovers_, PathOf(*node))) return kRegAccessDenied;
    node->security.ownedByAdministrators = true;
    if (ContainsName(halfTakeovers_, PathOf(*node))) return kRegAccessDenied;
    node->security.administratorsFull = true;
    return kRegOk;
}

std::string MemoryRegistry::Dump() const {
    std::string out;
    auto byUpcasedName = [](const auto& a, const auto& b) {
        return Upcased(a.first) < Upcased(b.first);
    };
    std::vector<std::pair<Text, NodePtr>> pending{{Text(), root_}};
    while (!pending.empty()) {
        auto [path, node] = pending.back();
        pending.pop_back();
        if (node != root_) out += "[" + ToUtf8(path) + "]\n";
        if (!(node->security == Node::Security{})) {
            out += "  security=" + std::to_string(node->security.readOnly) +
                   std::to_string(node->security.ownedByAdministrators) +
                   std::to_string(node->security.administratorsFull) +
                   std::to_string(node->security.administratorsDenied) + "\n";
        }
        std::vector<std::pair<Text, const Node::Value*>> values;
        for (const auto& value : node->values) values.emplace_back(value.name, &value);
        std::sort(values.begin(), values.end(), byUpcasedName);
        for (const auto& [name, value] : values) {
            out += "  " + ToUtf8(name) + " type=" + std::to_string(value->type) + " data=";
            for (unsigned char byte : value->data) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%02x", byte);
                out += hex;
            }
            out += "\n";
        }
        std::vector<std::pair<Text, NodePtr>> children;
        for (const auto& child : node->children) {
            children.emplace_back(path.empty() ? child->name : path + u'\\' + child->name, child);
        }
        std::sort(children.begin(), children.end(), byUpcasedName);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return out;
}

}  // namespace vornex
