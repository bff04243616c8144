#include "stores/win32/win32_registry.h"

#include <windows.h>

#include <string>

#include "stores/win32/key_security.h"

namespace vornex {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16");

namespace {

HKEY AsHkey(KeyHandle key) { return reinterpret_cast<HKEY>(key); }

std::wstring Wide(const Text& text) { return std::wstring(text.begin(), text.end()); }

wchar_t* WideBuffer(char16_t* buffer) { return reinterpret_cast<wchar_t*>(buffer); }

// A 32-bit build sees the same IFEO key as Windows' own 64-bit loader.
constexpr REGSAM kNativeView = KEY_WOW64_64KEY;

keysec::LinkMode ModeOf(bool link) { return link ? keysec::LinkMode::Link : keysec::LinkMode::Follow; }

}  // namespace

RegResult Win32Registry::OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                                 KeyHandle* key) {
    HKEY opened = nullptr;
    const LSTATUS status =
        RegOpenKeyExW(AsHkey(root), Wide(path).c_str(), 0, access | kNativeView, &opened);
    if (status == ERROR_SUCCESS) *key = reinterpret_cast<KeyHandle>(opened);
    return status;
}

RegResult Win32Registry::QueryInfoKey(KeyHandle key, std::uint32_t* subkeyCount,
                                      std::uint32_t* maxSubkeyNameLength) {
    DWORD subkeys = 0;
    DWORD longest = 0;
    const LSTATUS status = RegQueryInfoKeyW(AsHkey(key), nullptr, nullptr, nullptr, &subkeys,
                                            &longest, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
        if (subkeyCount) *subkeyCount = subkeys;
        if (maxSubkeyNameLength) *maxSubkeyNameLength = longest;
    }
    return status;
}

RegResult Win32Registry::EnumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                                 std::uint32_t* nameLength) {
    DWORD length = *nameLength;
    const LSTATUS status = RegEnumKeyExW(AsHkey(key), index, WideBuffer(name), &length, nullptr,
                                         nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) *nameLength = length;
    return status;
}

RegResult Win32Registry::EnumValue(KeyHandle key, std::uint32_t index, char16_t* name,
                                   std::uint32_t* nameLength, std::uint32_t* type,
                                   unsigned char* data, std::uint32_t* dataSize) {
    DWORD length = *nameLength;
    DWORD valueType = 0;
    DWORD size = dataSize ? *dataSize : 0;
    const LSTATUS status = RegEnumValueW(AsHkey(key), index, WideBuffer(name), &length, nullptr,
                                         &valueType, data, dataSize ? &size : nullptr);
    if (status == ERROR_SUCCESS) {
        *nameLength = length;
        if (type) *type = valueType;
    }
    if (dataSize && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) *dataSize = size;
    return status;
}

RegResult Win32Registry::QueryValue(KeyHandle key, const Text& valueName, std::uint32_t* type,
                                    unsigned char* data, std::uint32_t* dataSize) {
    DWORD valueType = 0;
    DWORD size = dataSize ? *dataSize : 0;
    const LSTATUS status = RegQueryValueExW(AsHkey(key), Wide(valueName).c_str(), nullptr, &valueType,
                                            data, dataSize ? &size : nullptr);
    if (status == ERROR_SUCCESS && type) *type = valueType;
    if (dataSize && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) *dataSize = size;
    return status;
}

RegResult Win32Registry::CloseKey(KeyHandle key) { return RegCloseKey(AsHkey(key)); }

RegResult Win32Registry::DeleteValue(KeyHandle key, const Text& valueName) {
    return RegDeleteValueW(AsHkey(key), Wide(valueName).c_str());
}

RegResult Win32Registry::DeleteKey(KeyHandle key, const Text& subkeyName) {
    return RegDeleteKeyExW(AsHkey(key), Wide(subkeyName).c_str(), kNativeView, 0);
}

RegResult Win32Registry::QueryLink(KeyHandle root, const Text& path, bool* isLink, Text* target) {
    keysec::LinkInfo info;
    const LSTATUS status = keysec::QueryLinkInfo(AsHkey(root), Wide(path), &info);
    if (status != ERROR_SUCCESS) return status;
    if (isLink) *isLink = info.isLink;
    if (target) target->assign(info.target.begin(), info.target.end());
    return ERROR_SUCCESS;
}

RegResult Win32Registry::DeleteLink(KeyHandle root, const Text& path) {
    bool link = false;
    const RegResult queried = QueryLink(root, path, &link, nullptr);
    if (queried != ERROR_SUCCESS) return queried;
    // Deleting an ordinary key this way is not what was asked for.
    return link ? keysec::DeleteLinkKey(AsHkey(root), Wide(path)) : ERROR_INVALID_PARAMETER;
}

RegResult Win32Registry::WouldDeleteLink(KeyHandle root, const Text& path) {
    bool link = false;
    const RegResult queried = QueryLink(root, path, &link, nullptr);
    if (queried != ERROR_SUCCESS) return queried;
    if (!link) return ERROR_INVALID_PARAMETER;
    // May the link itself be deleted? Asking for the right changes nothing.
    keysec::UniqueKey key;
    return keysec::OpenKey(AsHkey(root), Wide(path), DELETE, keysec::LinkMode::Link, &key);
}

RegResult Win32Registry::GetKeySecurity(KeyHandle root, const Text& path, bool link,
                                        std::vector<unsigned char>* descriptor) {
    return keysec::ReadKeySecurity(AsHkey(root), Wide(path), ModeOf(link), descriptor);
}

RegResult Win32Registry::SetKeySecurity(KeyHandle root, const Text& path, bool link,
                                        const std::vector<unsigned char>& descriptor) {
    return keysec::PutKeySecurityBack(AsHkey(root), Wide(path), ModeOf(link), descriptor);
}

RegResult Win32Registry::TakeOverKey(KeyHandle root, const Text& path, bool link) {
    keysec::KeySecurityTakeover takeover(AsHkey(root), Wide(path), ModeOf(link));
    if (!takeover.Active()) {
        // Whatever part of it was made is undone as it goes out of scope.
        return takeover.Status() != ERROR_SUCCESS ? takeover.Status() : ERROR_ACCESS_DENIED;
    }
    takeover.Keep();
    return ERROR_SUCCESS;
}

}  // namespace vornex
