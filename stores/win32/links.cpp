#include "stores/win32/links.h"

#include <vector>

#include "stores/win32/key_security.h"
#include "stores/win32/ntdll.h"

namespace vornex::keysec {

namespace {

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// Any access will do for the name; asking for reading first lets the value
// be read from the same handle.
RegResult OpenAnyAccess(HKEY root, const std::wstring& path, LinkMode mode, win32::UniqueRegKey* key) {
    RegResult result = OpenKey(root, path, KEY_QUERY_VALUE, mode, key);
    if (result == kRegAccessDenied) result = OpenKey(root, path, READ_CONTROL, mode, key);
    if (result == kRegAccessDenied) result = OpenKey(root, path, MAXIMUM_ALLOWED, mode, key);
    // A key that denies the administrators everything, read with backup intent.
    if (result == kRegAccessDenied) result = OpenKeyBackupIntent(root, path, KEY_READ, mode, BackupIntent::kRead, key);
    return result;
}

RegResult ReadLinkValue(HKEY link, std::wstring* target) {
    DWORD type = 0;
    DWORD size = 0;
    RegResult result = RegQueryValueExW(link, L"SymbolicLinkValue", nullptr, &type, nullptr, &size);
    if (result != kRegOk) return result;
    if (type != REG_LINK) return ERROR_BAD_PATHNAME;
    std::vector<BYTE> data(size + sizeof(wchar_t));
    result = RegQueryValueExW(link, L"SymbolicLinkValue", nullptr, &type, data.data(), &size);
    if (result != kRegOk) return result;
    if (type != REG_LINK) return ERROR_BAD_PATHNAME;
    // REG_LINK is stored without a terminating NUL.
    target->assign(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    while (!target->empty() && target->back() == L'\0') target->pop_back();
    return kRegOk;
}

}  // namespace

RegResult QueryLinkInfo(HKEY root, const std::wstring& path, LinkInfo* info) {
    *info = LinkInfo();
    win32::UniqueRegKey self;
    RegResult result = OpenAnyAccess(root, path, LinkMode::kLinkItself, &self);
    if (result != kRegOk) return result;
    result = ntdll::QueryKeyName(self.get(), &info->ownName);
    if (result != kRegOk) return result;
    const bool hasValue = ReadLinkValue(self.get(), &info->target) == kRegOk;

    win32::UniqueRegKey reached;
    result = OpenAnyAccess(root, path, LinkMode::kFollow, &reached);
    if (result == kRegOk) {
        result = ntdll::QueryKeyName(reached.get(), &info->resolvedName);
        if (result != kRegOk) return result;
        info->isLink = !EqualNoCase(info->ownName, info->resolvedName);
        if (!info->isLink) info->resolvedName.clear();
    } else if (result == kRegAccessDenied) {
        // The target refuses every open: the link's own value is all there is.
        info->isLink = hasValue;
    } else {
        // The key itself opened, yet following it fails: a dangling or looping link.
        info->isLink = true;
    }
    return kRegOk;
}

RegResult DeleteKeyNoFollow(HKEY root, const std::wstring& path) {
    win32::UniqueRegKey key;
    const RegResult result = OpenKey(root, path, DELETE, LinkMode::kLinkItself, &key);
    if (result != kRegOk) return result;
    return ntdll::DeleteOpenKey(key.get());
}

}  // namespace vornex::keysec
