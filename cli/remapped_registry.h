#pragma once
#include "ifeo/registry.h"

namespace vornex::cli {

// A registry in which opens of one key path (and the paths below it) from
// HKEY_LOCAL_MACHINE reach another key: the window's scan, unchanged, run
// over the 32-bit view's IFEO key.
class RemappedRegistry : public Registry {
public:
    RemappedRegistry(Registry& inner, Text from, Text to)
        : inner_(inner), from_(std::move(from)), to_(std::move(to)) {}

    RegResult OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                      KeyHandle* key) override;
    RegResult QueryInfoKey(KeyHandle key, std::uint32_t* subkeyCount,
                           std::uint32_t* maxSubkeyNameLength) override {
        return inner_.QueryInfoKey(key, subkeyCount, maxSubkeyNameLength);
    }
    RegResult EnumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                      std::uint32_t* nameLength) override {
        return inner_.EnumKey(key, index, name, nameLength);
    }
    RegResult EnumValue(KeyHandle key, std::uint32_t index, char16_t* name,
                        std::uint32_t* nameLength, std::uint32_t* type, unsigned char* data,
                        std::uint32_t* dataSize) override {
        return inner_.EnumValue(key, index, name, nameLength, type, data, dataSize);
    }
    RegResult CloseKey(KeyHandle key) override { return inner_.CloseKey(key); }
    // Reads only: the 32-bit view is reported, not repaired.
    RegResult DeleteValue(KeyHandle, const Text&) override { return 5; }
    RegResult DeleteKey(KeyHandle, const Text&) override { return 5; }

private:
    Registry& inner_;
    Text from_;
    Text to_;
};

}  // namespace vornex::cli
