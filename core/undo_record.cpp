#include "core/undo_record.h"

#include <algorithm>

#include "core/registry_upcase.h"

namespace vornex {

namespace {

// The longest value name the registry allows, and its NUL.
constexpr std::uint32_t kValueNameCapacity = 16384;
// A value may grow between asking its size and reading it; read again, a few times.
constexpr int kReadTries = 4;

// The first try's room for a value's data: most IFEO values fit, so each
// is read in one call (a registry call is a round trip to the server).
constexpr std::size_t kFirstTryBytes = 4096;

// Reads value `index` whole: name, type and data, into *value.
RegResult ReadValue(Registry& registry, KeyHandle key, std::uint32_t index, std::vector<char16_t>& name,
                    std::vector<unsigned char>& buffer, UndoValue* value) {
    for (int tries = 0; tries < kReadTries; ++tries) {
        auto length = static_cast<std::uint32_t>(name.size());
        auto size = static_cast<std::uint32_t>(buffer.size());
        const RegResult read = registry.EnumValue(key, index, name.data(), &length, &value->type, buffer.data(), &size);
        if (read == kRegMoreData) {
            // It may grow again before the next call: ask with what it says now.
            buffer.resize(std::max<std::size_t>(size, buffer.size() * 2));
            continue;
        }
        if (read != kRegOk) return read;
        value->name.assign(name.data(), length);
        value->data.assign(buffer.begin(), buffer.begin() + size);
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
    if (wholeKey) {
        if (const RegResult queried = registry.QueryKeyClass(key.get(), &out->className); queried != kRegOk) {
            return queried;
        }
    }
    std::vector<char16_t> name(kValueNameCapacity);
    std::vector<unsigned char> buffer(kFirstTryBytes);
    for (std::uint32_t index = 0;; ++index) {
        UndoValue value;
        const RegResult read = ReadValue(registry, key.get(), index, name, buffer, &value);
        if (read == kRegNoMoreItems) break;
        if (read != kRegOk) return read;
        if (!wholeKey && !RegistryNamesEqual(value.name, valueName)) continue;
        if (value.size > *budget) {
            value.recorded = false;
            value.data = {};
            *budget = 0;
        } else {
            *budget -= value.size;
        }
        out->values.push_back(std::move(value));
    }
    if (!wholeKey && out->values.empty()) return kRegFileNotFound;
    return kRegOk;
}

}  // namespace vornex
