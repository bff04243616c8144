#include "stores/win32/win32_registry.h"

#include <windows.h>

#include <string>

#include "stores/win32/key_security.h"
#include "stores/win32/links.h"
#include "win32/wide_text.h"

namespace vornex {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16");

namespace {

using win32::Wide;

HKEY AsHkey(KeyHandle key) { return reinterpret_cast<HKEY>(key); }


wchar_t* WideBuffer(char16_t* buffer) { return reinterpret_cast<wchar_t*>(buffer); }

// A 32-bit build sees the same IFEO key as Windows' own 64-bit loader.
constexpr REGSAM kNativeView = keysec::kNativeView;

}  // namespace

RegResult Win32Registry::OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                                 KeyHandle* key) {
    HKEY opened = nullptr;
    const RegResult status =
        RegOpenKeyExW(AsHkey(root), Wide(path).c_str(), 0, access | kNativeView, &opened);
    if (status == kRegOk) *key = reinterpret_cast<KeyHandle>(opened);
    return status;
}

RegResult Win32Registry::OpenKeyForBackup(KeyHandle root, const Text& path, KeyHandle* key) {
    win32::UniqueRegKey opened;
    const RegResult result =
        keysec::OpenKeyBackupIntent(AsHkey(root), Wide(path), KEY_READ, LinkMode::kFollow, keysec::BackupIntent::kRead, &opened);
    if (result == kRegOk) *key = reinterpret_cast<KeyHandle>(opened.release());
    return result;
}

RegResult Win32Registry::QueryInfoKey(KeyHandle key, std::uint32_t* subkeyCount,
                                      std::uint32_t* maxSubkeyNameLength) {
    DWORD subkeys = 0;
    DWORD longest = 0;
    const RegResult status = RegQueryInfoKeyW(AsHkey(key), nullptr, nullptr, nullptr, &subkeys,
                                            &longest, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr);
    if (status == kRegOk) {
        if (subkeyCount) *subkeyCount = subkeys;
        if (maxSubkeyNameLength) *maxSubkeyNameLength = longest;
    }
    return status;
}

RegResult Win32Registry::QueryKeyClass(KeyHandle key, Text* className) {
    // Most keys have no class; a long one is read again with its room.
    std::vector<wchar_t> buffer(256);
    for (;;) {
        auto length = static_cast<DWORD>(buffer.size());
        const RegResult status = RegQueryInfoKeyW(AsHkey(key), buffer.data(), &length, nullptr, nullptr, nullptr,
                                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        if (status == kRegMoreData && buffer.size() < 65536) {
            buffer.resize(buffer.size() * 4);
            continue;
        }
        if (status == kRegOk) className->assign(buffer.begin(), buffer.begin() + length);
        return status;
    }
}

RegResult Win32Registry::EnumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                                 std::uint32_t* nameLength) {
    DWORD length = *nameLength;
    const RegResult status = RegEnumKeyExW(AsHkey(key), index, WideBuffer(name), &length, nullptr,
                                         nullptr, nullptr, nullptr);
    if (status == kRegOk) *nameLength = length;
    return status;
}

RegResult Win32Registry::EnumValue(KeyHandle key, std::uint32_t index, char16_t* name,
                                   std::uint32_t* nameLength, std::uint32_t* type,
                                   unsigned char* data, std::uint32_t* dataSize) {
    DWORD length = *nameLength;
    DWORD valueType = 0;
    DWORD size = dataSize ? *dataSize : 0;
    const RegResult status = RegEnumValueW(AsHkey(key), index, WideBuffer(name), &length, nullptr,
                                         &valueType, data, dataSize ? &size : nullptr);
    if (status == kRegOk) {
        *nameLength = length;
        if (type) *type = valueType;
    }
    if (dataSize && (status == kRegOk || status == kRegMoreData)) *dataSize = size;
    return status;
}

RegResult Win32Registry::QueryValue(KeyHandle key, const Text& valueName, std::uint32_t* type,
                                    unsigned char* data, std::uint32_t* dataSize) {
    DWORD valueType = 0;
    DWORD size = dataSize ? *dataSize : 0;
    const RegResult status = RegQueryValueExW(AsHkey(key), Wide(valueName).c_str(), nullptr, &valueType,
                                            data, dataSize ? &size : nullptr);
    if (status == kRegOk && type) *type = valueType;
    if (dataSize && (status == kRegOk || status == kRegMoreData)) *dataSize = size;
    return status;
}

RegResult Win32Registry::CloseKey(KeyHandle key) { return RegCloseKey(AsHkey(key)); }

RegResult Win32Registry::DeleteValue(KeyHandle key, const Text& valueName) {
    return RegDeleteValueW(AsHkey(key), Wide(valueName).c_str());
}

RegResult Win32Registry::DeleteKey(KeyHandle key, const Text& subkeyName) {
    // RegDeleteKeyEx would split it and delete a deeper key.
    if (HoldsSeparator(subkeyName)) return kRegBadPathname;
    return RegDeleteKeyExW(AsHkey(key), Wide(subkeyName).c_str(), kNativeView, 0);
}

RegResult Win32Registry::QueryLink(KeyHandle root, const Text& path, bool* isLink, Text* target) {
    keysec::LinkInfo info;
    const RegResult result = keysec::QueryLinkInfo(AsHkey(root), Wide(path), &info);
    if (result != kRegOk) return result;
    if (isLink) *isLink = info.isLink;
    if (target) target->assign(info.target.begin(), info.target.end());
    return kRegOk;
}

RegResult Win32Registry::DeleteLink(KeyHandle root, const Text& path) {
    bool link = false;
    const RegResult queried = QueryLink(root, path, &link, nullptr);
    if (queried != kRegOk) return queried;
    // Deleting an ordinary key this way is not what was asked for.
    return link ? keysec::DeleteKeyNoFollow(AsHkey(root), Wide(path)) : kRegInvalidParameter;
}

RegResult Win32Registry::WouldDeleteLink(KeyHandle root, const Text& path) {
    bool link = false;
    const RegResult queried = QueryLink(root, path, &link, nullptr);
    if (queried != kRegOk) return queried;
    if (!link) return kRegInvalidParameter;
    // May the link itself be deleted? Asking for the right changes nothing.
    win32::UniqueRegKey key;
    return keysec::OpenKey(AsHkey(root), Wide(path), DELETE, LinkMode::kLinkItself, &key);
}

RegResult Win32Registry::GetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                                        std::vector<unsigned char>* descriptor) {
    return keysec::ReadKeySecurity(AsHkey(root), Wide(path), mode, descriptor);
}

RegResult Win32Registry::SetKeySecurity(KeyHandle root, const Text& path, LinkMode mode,
                                        const std::vector<unsigned char>& descriptor) {
    return keysec::WriteKeySecurity(AsHkey(root), Wide(path), mode, descriptor);
}

RegResult Win32Registry::TakeOverKey(KeyHandle root, const Text& path, LinkMode mode) {
    return keysec::GrantAdministratorsFullControl(AsHkey(root), Wide(path), mode);
}

}  // namespace vornex
