#include "core/registry.h"

#include <vector>

#include "core/case_fold.h"

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

}  // namespace vornex
