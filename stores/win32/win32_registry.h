#pragma once
#include "core/registry.h"

namespace vornex {

// The real registry, through the Unicode advapi32 functions: names reach the
// registry exactly as enumerated, with no code-page round trip that could
// turn one name into another.
class Win32Registry : public Registry {
public:
    RegResult OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                      KeyHandle* key) override;
    RegResult OpenKeyForBackup(KeyHandle root, const Text& path, KeyHandle* key) override;
    RegResult QueryInfoKey(KeyHandle key, std::uint32_t* subkeyCount,
                           std::uint32_t* maxSubkeyNameLength) override;
    RegResult EnumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                      std::uint32_t* nameLength) override;
    RegResult EnumValue(KeyHandle key, std::uint32_t index, char16_t* name,
                        std::uint32_t* nameLength, std::uint32_t* type, unsigned char* data,
                        std::uint32_t* dataSize) override;
    RegResult QueryValue(KeyHandle key, const Text& valueName, std::uint32_t* type,
                         unsigned char* data, std::uint32_t* dataSize) override;
    RegResult CloseKey(KeyHandle key) override;
    RegResult DeleteValue(KeyHandle key, const Text& valueName) override;
    RegResult DeleteKey(KeyHandle key, const Text& subkeyName) override;
    RegResult QueryLink(KeyHandle root, const Text& path, bool* isLink, Text* target) override;
    RegResult DeleteLink(KeyHandle root, const Text& path) override;
    RegResult WouldDeleteLink(KeyHandle root, const Text& path) override;
    RegResult GetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                             std::vector<unsigned char>* descriptor) override;
    RegResult SetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                             const std::vector<unsigned char>& descriptor) override;
    RegResult TakeOverKey(KeyHandle root, const Text& path, LinkMode mode) override;
    RegResult QueryKeyClass(KeyHandle key, Text* className) override;
};

}  // namespace vornex
