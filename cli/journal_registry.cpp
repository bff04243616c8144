#include "cli/journal_registry.h"

#include "ifeo/case_fold.h"

namespace vornex::cli {

namespace {
constexpr RegResult kFileNotFound = 2;
constexpr RegResult kAccessDenied = 5;
constexpr std::uint32_t kNameCapacity = 16384;
}  // namespace

std::vector<JournalRegistry::Change> JournalRegistry::Done() const {
    std::vector<Change> done;
    for (const Change& change : journal_) {
        if (change.result == kRegOk) done.push_back(change);
    }
    return done;
}

const JournalRegistry::Change* JournalRegistry::FirstFailure() const {
    for (const Change& change : journal_) {
        if (change.result != kRegOk) return &change;
    }
    return nullptr;
}

Text JournalRegistry::PathOf(KeyHandle key) const {
    if (key == kLocalMachine) return Text();
    auto found = paths_.find(key);
    return found == paths_.end() ? Text(u"?") : found->second;
}

RegResult JournalRegistry::OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                                   KeyHandle* key) {
    const RegResult result = inner_.OpenKey(root, path, access, key);
    if (result == kRegOk) {
        const Text base = PathOf(root);
        paths_[*key] = base.empty() ? path : (path.empty() ? base : base + u'\\' + path);
    }
    return result;
}

RegResult JournalRegistry::CloseKey(KeyHandle key) {
    paths_.erase(key);
    return inner_.CloseKey(key);
}

RegResult JournalRegistry::WouldDeleteValue(KeyHandle key, const Text& valueName) {
    std::vector<char16_t> name(kNameCapacity);
    for (std::uint32_t i = 0;; ++i) {
        auto length = kNameCapacity;
        const RegResult result = inner_.EnumValue(key, i, name.data(), &length, nullptr, nullptr, nullptr);
        if (result != kRegOk) return kFileNotFound;
        if (RegistryNamesEqual(Text(name.data(), length), valueName)) return kRegOk;
    }
}

RegResult JournalRegistry::WouldDeleteKey(KeyHandle key, const Text& subkeyName) {
    if (subkeyName.empty()) return kFileNotFound;
    KeyHandle target = 0;
    const RegResult opened = inner_.OpenKey(key, subkeyName, kKeyAllAccess, &target);
    if (opened != kRegOk) return opened;
    std::uint32_t subkeys = 0;
    const RegResult queried = inner_.QueryInfoKey(target, &subkeys, nullptr);
    inner_.CloseKey(target);
    if (queried != kRegOk) return queried;
    return subkeys == 0 ? kRegOk : kAccessDenied;
}

RegResult JournalRegistry::DeleteValue(KeyHandle key, const Text& valueName) {
    const RegResult result = dryRun_ ? WouldDeleteValue(key, valueName) : inner_.DeleteValue(key, valueName);
    journal_.push_back({false, PathOf(key), valueName, result});
    return result;
}

RegResult JournalRegistry::DeleteKey(KeyHandle key, const Text& subkeyName) {
    const RegResult result = dryRun_ ? WouldDeleteKey(key, subkeyName) : inner_.DeleteKey(key, subkeyName);
    journal_.push_back({true, PathOf(key) + u'\\' + subkeyName, Text(), result});
    return result;
}

}  // namespace vornex::cli
