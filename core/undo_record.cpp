#include "core/undo_record.h"

#include "core/registry_upcase.h"

namespace vornex {

namespace {

// The longest value name the registry allows, and its NUL.
constexpr std::uint32_t kValueNameCapacity = 16384;
// A value may grow between asking its size and reading it; read again, a few times.
constexpr int kReadTries = 4;

// Reads the data of value `index` whose name and size were just enumerated.
RegResult ReadData(Registry& registry, KeyHandle key, std::uint32_t index, std::vector<char16_t>& name,
                   UndoValue* value) {
    for (int tries = 0; tries < kReadTries; ++tries) {
        value->data.resize(value->size);
        auto length = static_cast<std::uint32_t>(name.size());
        auto size = static_cast<std::uint32_t>(value->data.size());
        const RegResult read = registry.EnumValue(key, index, name.data(), &length, &value->type,
                                                  value->data.empty() ? nullptr : value->data.data(), &size);
        if (read == kRegMoreData || (value->data.empty() && size != 0)) {
            value->size = size;
            continue;
        }
        if (read != kRegOk) return read;
        value->name.assign(name.data(), length);
        value->data.resize(size);
        value->size = size;
        return kRegOk;
    }
    return kRegMoreData;
}

}  // namespace

RegResult ReadUndoKey(Registry& registry, const Text& path, bool wholeKey, const Text& valueName,
                      std::size_t* budget, UndoKey* out) {
    *out = UndoKey();
    out->path = path;
    out->wholeKey = wholeKey;
    if (const RegResult queried = registry.QueryLink(kLocalMachine, path, &out->link, &out->linkTarget);
        queried != kRegOk) {
        return queried;
    }
    // A link goes as a link: what it points at stays and is not recorded.
    if (out->link) return kRegOk;
    if (wholeKey) out->securityResult = registry.GetKeySecurity(kLocalMachine, path, LinkMode::kFollow, &out->security);

    UniqueKey key(registry);
    if (const RegResult opened = key.TryOpenToRead(kLocalMachine, path); opened != kRegOk) return opened;
    std::vector<char16_t> name(kValueNameCapacity);
    for (std::uint32_t index = 0;; ++index) {
        UndoValue value;
        auto length = static_cast<std::uint32_t>(name.size());
        std::uint32_t size = 0;
        const RegResult listed = registry.EnumValue(key.get(), index, name.data(), &length, &value.type, nullptr, &size);
        if (listed == kRegNoMoreItems) break;
        if (listed != kRegOk) return listed;
        value.name.assign(name.data(), length);
        value.size = size;
        if (!wholeKey && !RegistryNamesEqual(value.name, valueName)) continue;
        if (value.size > *budget) {
            value.recorded = false;
            *budget = 0;
        } else if (const RegResult read = ReadData(registry, key.get(), index, name, &value); read != kRegOk) {
            return read;
        } else {
            *budget -= value.data.size() <= *budget ? value.data.size() : *budget;
        }
        out->values.push_back(std::move(value));
    }
    if (!wholeKey && out->values.empty()) return kRegFileNotFound;
    return kRegOk;
}

}  // namespace vornex
