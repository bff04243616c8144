#pragma once
#include "core/registry.h"

namespace vornex::cli {

// Passes every operation to another registry; a wrapper overrides only the
// ones it changes, so a lookup the inner store can do fast stays fast.
class ForwardingRegistry : public Registry {
public:
    explicit ForwardingRegistry(Registry& inner) : inner_(inner) {}

    RegResult OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                      KeyHandle* key) override {
        return inner_.OpenKey(root, path, access, key);
    }
    RegResult OpenKeyForBackup(KeyHandle root, const Text& path, KeyHandle* key) override {
        return inner_.OpenKeyForBackup(root, path, key);
    }
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
    RegResult QueryValue(KeyHandle key, const Text& valueName, std::uint32_t* type,
                         unsigned char* data, std::uint32_t* dataSize) override {
        return inner_.QueryValue(key, valueName, type, data, dataSize);
    }
    RegResult CloseKey(KeyHandle key) override { return inner_.CloseKey(key); }
    RegResult DeleteValue(KeyHandle key, const Text& valueName) override {
        return inner_.DeleteValue(key, valueName);
    }
    RegResult DeleteKey(KeyHandle key, const Text& subkeyName) override {
        return inner_.DeleteKey(key, subkeyName);
    }
    RegResult WouldDeleteValue(KeyHandle key, const Text& valueName) override {
        return inner_.WouldDeleteValue(key, valueName);
    }
    RegResult WouldDeleteKey(KeyHandle key, const Text& subkeyName) override {
        return inner_.WouldDeleteKey(key, subkeyName);
    }
    RegResult WouldDeleteLink(KeyHandle root, const Text& path) override { return inner_.WouldDeleteLink(root, path); }
    RegResult QueryLink(KeyHandle root, const Text& path, bool* isLink, Text* target) override {
        return inner_.QueryLink(root, path, isLink, target);
    }
    RegResult DeleteLink(KeyHandle root, const Text& path) override { return inner_.DeleteLink(root, path); }
    RegResult GetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                             std::vector<unsigned char>* descriptor) override {
        return inner_.GetKeySecurity(root, path, mode, descriptor);
    }
    RegResult SetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                             const std::vector<unsigned char>& descriptor) override {
        return inner_.SetKeySecurity(root, path, mode, descriptor);
    }
    RegResult TakeOverKey(KeyHandle root, const Text& path, LinkMode mode) override {
        return inner_.TakeOverKey(root, path, mode);
    }

protected:
    Registry& inner_;
};

}  // namespace vornex::cli
