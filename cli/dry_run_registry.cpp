#include "cli/dry_run_registry.h"

#include <algorithm>

#include "core/registry_upcase.h"

namespace vornex::cli {

bool DryRunRegistry::TakenOver(const Text& path) const {
    return !path.empty() && std::any_of(takenOver_.begin(), takenOver_.end(),
                                        [&](const Text& p) { return RegistryNamesEqual(p, path); });
}

Text DryRunRegistry::FullPath(KeyHandle root, const Text& path) const {
    if (root == kLocalMachine) return path;
    const auto found = opened_.find(root);
    if (found == opened_.end()) return Text();
    return path.empty() ? found->second : found->second + u'\\' + path;
}

RegResult DryRunRegistry::OpenKey(KeyHandle root, const Text& path, std::uint32_t access, KeyHandle* key) {
    RegResult result = inner_.OpenKey(root, path, access, key);
    // The real run would hold the access its takeover granted; reading is all a dry run does.
    if (result == kRegAccessDenied && TakenOver(FullPath(root, path))) {
        result = inner_.OpenKey(root, path, kKeyRead, key);
        if (result == kRegAccessDenied) result = inner_.OpenKeyForBackup(root, path, key);
    }
    if (result == kRegOk) opened_[*key] = FullPath(root, path);
    return result;
}

RegResult DryRunRegistry::CloseKey(KeyHandle key) {
    opened_.erase(key);
    return inner_.CloseKey(key);
}

RegResult DryRunRegistry::DeleteValue(KeyHandle key, const Text& valueName) {
    return inner_.WouldDeleteValue(key, valueName);
}

RegResult DryRunRegistry::DeleteKey(KeyHandle key, const Text& subkeyName) {
    const RegResult would = inner_.WouldDeleteKey(key, subkeyName);
    if (would != kRegAccessDenied || !TakenOver(FullPath(key, subkeyName))) return would;
    // Refused by the key's security alone, which the real run has taken over by now.
    return SubkeyCount(inner_, key, subkeyName) == 0u ? kRegOk : would;
}

RegResult DryRunRegistry::DeleteLink(KeyHandle root, const Text& path) {
    const RegResult would = inner_.WouldDeleteLink(root, path);
    // Refused by the link's own security, which the real run has taken over by now.
    return would == kRegAccessDenied && TakenOver(FullPath(root, path)) ? kRegOk : would;
}

RegResult DryRunRegistry::SetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                                         const std::vector<unsigned char>&) {
    std::vector<unsigned char> current;
    return inner_.GetKeySecurity(root, path, mode, &current);
}

RegResult DryRunRegistry::TakeOverKey(KeyHandle root, const Text& path, LinkMode mode) {
    std::vector<unsigned char> current;
    const RegResult readable = inner_.GetKeySecurity(root, path, mode, &current);
    if (readable != kRegOk) return readable;
    takenOver_.push_back(FullPath(root, path));
    return kRegOk;
}

}  // namespace vornex::cli
