#include "core/registry.h"

#include <vector>

#include "core/registry_upcase.h"

namespace vornex {

RegResult Registry::QueryValue(KeyHandle key, const Text& valueName, std::uint32_t* type,
                               unsigned char* data, std::uint32_t* dataSize) {
    std::vector<char16_t> name(16384);
    for (std::uint32_t index = 0;; ++index) {
        auto length = static_cast<std::uint32_t>(name.size());
        std::uint32_t size = 0;
        const RegResult found = EnumValue(key, index, name.data(), &length, nullptr, nullptr, &size);
        if (found != kRegOk) return found == kRegNoMoreItems ? kRegFileNotFound : found;
        if (RegistryNamesEqual(Text(name.data(), length), valueName)) {
            length = static_cast<std::uint32_t>(name.size());
            return EnumValue(key, index, name.data(), &length, type, data, dataSize);
        }
    }
}

RegResult Registry::WouldDeleteValue(KeyHandle key, const Text& valueName) {
    std::uint32_t size = 0;
    return QueryValue(key, valueName, nullptr, nullptr, &size);
}

RegResult Registry::WouldDeleteKey(KeyHandle key, const Text& subkeyName) {
    constexpr std::uint32_t kDeleteAccess = 0x10000;
    if (subkeyName.empty()) return kRegFileNotFound;
    UniqueKey target(*this);
    if (const RegResult opened = target.TryOpen(key, subkeyName, kKeyRead); opened != kRegOk) return opened;
    std::uint32_t subkeys = 0;
    if (const RegResult queried = QueryInfoKey(target.get(), &subkeys, nullptr); queried != kRegOk) return queried;
    if (subkeys != 0) return kRegAccessDenied;
    // May it be deleted? Asking for the right changes nothing.
    UniqueKey deletable(*this);
    return deletable.TryOpen(key, subkeyName, kDeleteAccess);
}

RegResult Registry::WouldDeleteLink(KeyHandle root, const Text& path) {
    bool link = false;
    const RegResult queried = QueryLink(root, path, &link, nullptr);
    if (queried != kRegOk) return queried;
    return link ? kRegOk : kRegInvalidParameter;
}

std::optional<std::uint32_t> SubkeyCount(Registry& registry, KeyHandle parent, const Text& name) {
    UniqueKey key(registry);
    std::uint32_t subkeys = 0;
    if (key.TryOpenChild(parent, name, kKeyRead) != kRegOk ||
        registry.QueryInfoKey(key.get(), &subkeys, nullptr) != kRegOk) {
        return std::nullopt;
    }
    return subkeys;
}

RegResult Registry::QueryLink(KeyHandle, const Text&, bool* isLink, Text* target) {
    if (isLink) *isLink = false;
    if (target) target->clear();
    return kRegOk;
}

RegResult Registry::DeleteLink(KeyHandle, const Text&) { return kRegInvalidParameter; }

RegResult Registry::QueryKeyClass(KeyHandle, Text* className) {
    className->clear();
    return kRegOk;
}

RegResult Registry::OpenKeyForBackup(KeyHandle, const Text&, KeyHandle*) { return kRegNotSupported; }

RegResult Registry::OpenSubkey(KeyHandle parent, const Text& name, std::uint32_t access, KeyHandle* key) {
    if (name.empty()) return kRegInvalidParameter;  // would open the parent itself
    if (HoldsSeparator(name)) return kRegBadPathname;
    return OpenKey(parent, name, access, key);
}

RegResult Registry::GetKeySecurity(KeyHandle, const Text&, LinkMode, std::vector<unsigned char>*) {
    return kRegCallNotImplemented;
}

RegResult Registry::SetKeySecurity(KeyHandle, const Text&, LinkMode, const std::vector<unsigned char>&) {
    return kRegCallNotImplemented;
}

RegResult Registry::TakeOverKey(KeyHandle, const Text&, LinkMode) { return kRegCallNotImplemented; }

}  // namespace vornex
