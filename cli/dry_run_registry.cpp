#include "cli/dry_run_registry.h"

#include <vector>

#include "core/case_fold.h"

namespace vornex::cli {

namespace {
constexpr std::uint32_t kNameCapacity = 16384;
}  // namespace

RegResult DryRunRegistry::DeleteValue(KeyHandle key, const Text& valueName) {
    std::vector<char16_t> name(kNameCapacity);
    for (std::uint32_t i = 0;; ++i) {
        auto length = kNameCapacity;
        const RegResult result = inner_.EnumValue(key, i, name.data(), &length, nullptr, nullptr, nullptr);
        if (result == kRegNoMoreItems) return kRegFileNotFound;
        if (result != kRegOk) return result;
        if (RegistryNamesEqual(Text(name.data(), length), valueName)) return kRegOk;
    }
}

RegResult DryRunRegistry::DeleteKey(KeyHandle key, const Text& subkeyName) {
    if (subkeyName.empty()) return kRegFileNotFound;
    UniqueKey target(inner_);
    if (const RegResult opened = target.TryOpen(key, subkeyName); opened != kRegOk) return opened;
    std::uint32_t subkeys = 0;
    if (const RegResult queried = inner_.QueryInfoKey(target.get(), &subkeys, nullptr); queried != kRegOk) {
        return queried;
    }
    return subkeys == 0 ? kRegOk : kRegAccessDenied;
}

}  // namespace vornex::cli
