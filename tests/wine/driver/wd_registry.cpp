#include "wd_registry.h"

#include "wd_text.h"

#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace windriver {

namespace {

// <0, 0, >0 ignoring case (registry semantics); then exact, so that the
// order is total and == still sees a change of case.
int CompareNames(const std::wstring& a, const std::wstring& b) {
    int r = ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                   static_cast<int>(b.size()), TRUE);
    if (r != CSTR_EQUAL) return r == CSTR_LESS_THAN ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::vector<std::wstring> Split(const std::wstring& path) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= path.size() && !path.empty()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Tree order, ignoring case: component by component, so a key's subkeys
// follow it.
int PathCompareIgnoringCase(const std::wstring& a, const std::wstring& b) {
    auto pa = Split(a), pb = Split(b);
    for (size_t i = 0; i < pa.size() && i < pb.size(); ++i) {
        if (!SameName(pa[i], pb[i])) return CompareNames(pa[i], pb[i]);
    }
    return pa.size() == pb.size() ? 0 : (pa.size() < pb.size() ? -1 : 1);
}

bool PathLess(const std::wstring& a, const std::wstring& b) {
    int c = PathCompareIgnoringCase(a, b);
    return c != 0 ? c < 0 : a.compare(b) < 0;
}

bool IsUnder(const std::wstring& path, const std::wstring& ancestor) {
    if (ancestor.empty()) return true;
    if (path.size() < ancestor.size()) return false;
    if (!SameName(path.substr(0, ancestor.size()), ancestor)) return false;
    return path.size() == ancestor.size() || path[ancestor.size()] == L'\\';
}

void SortValues(std::vector<RegValue>& values) {
    std::sort(values.begin(), values.end(),
              [](const RegValue& a, const RegValue& b) { return CompareNames(a.name, b.name) < 0; });
}

void SortKeys(std::vector<RegKeyState>& keys) {
    std::sort(keys.begin(), keys.end(),
              [](const RegKeyState& a, const RegKeyState& b) { return PathLess(a.path, b.path); });
}

std::wstring Join(const std::wstring& a, const std::wstring& b) { return a.empty() ? b : a + L"\\" + b; }

void ReadKey(HKEY key, const std::wstring& rel, REGSAM view, std::vector<RegKeyState>& out) {
    RegKeyState state;
    state.path = rel;
    DWORD subkeys = 0, maxSubkeyLen = 0, values = 0, maxNameLen = 0, maxDataLen = 0;
    LONG rc = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkeyLen, nullptr, &values,
                                 &maxNameLen, &maxDataLen, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) ThrowError("RegQueryInfoKeyW " + Utf8(rel), static_cast<DWORD>(rc));

    std::wstring name(maxNameLen + 2, L'\0');
    std::vector<BYTE> data(maxDataLen + 2);
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = static_cast<DWORD>(name.size());
        DWORD dataLen = static_cast<DWORD>(data.size());
        DWORD type = 0;
        rc = ::RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_MORE_DATA) {  // changed meanwhile: grow and retry
            name.resize(name.size() * 2 + 256);
            data.resize(data.size() * 2 + 256);
            --i;
            continue;
        }
        if (rc != ERROR_SUCCESS) ThrowError("RegEnumValueW " + Utf8(rel), static_cast<DWORD>(rc));
        RegValue v;
        v.name.assign(name.data(), nameLen);
        v.type = type;
        v.data.assign(data.begin(), data.begin() + dataLen);
        state.values.push_back(std::move(v));
    }
    SortValues(state.values);
    out.push_back(std::move(state));

    std::vector<std::wstring> children;
    std::wstring sub(maxSubkeyLen + 2, L'\0');
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(sub.size());
        rc = ::RegEnumKeyExW(key, i, sub.data(), &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_MORE_DATA) {
            sub.resize(sub.size() * 2 + 256);
            --i;
            continue;
        }
        if (rc != ERROR_SUCCESS) ThrowError("RegEnumKeyExW " + Utf8(rel), static_cast<DWORD>(rc));
        children.emplace_back(sub.data(), len);
    }
    for (const auto& c : children) {
        RegKey child;
        rc = ::RegOpenKeyExW(key, c.c_str(), 0, KEY_READ | view, child.put());
        if (rc != ERROR_SUCCESS) {
            RegKeyState blocked;
            blocked.path = Join(rel, c);
            blocked.readable = false;
            blocked.openError = rc;
            out.push_back(std::move(blocked));
            continue;
        }
        ReadKey(child.get(), Join(rel, c), view, out);
    }
}

std::wstring Hex(const std::vector<BYTE>& data) {
    std::wstring out;
    wchar_t buf[8];
    for (size_t i = 0; i < data.size(); ++i) {
        std::swprintf(buf, 8, i ? L" %02x" : L"%02x", data[i]);
        out += buf;
    }
    return out;
}

std::wstring KeyName(const RegSnapshot& s, const std::wstring& path) {
    return path.empty() ? s.rootName : s.rootName + L"\\" + path;
}

std::wstring ValueLabel(const std::wstring& name) {
    return name.empty() ? L"(Default)" : L"\"" + Escape(name) + L"\"";
}

void DescribeKeyValues(const RegKeyState& k, const wchar_t* sign, std::wstring& out) {
    for (const auto& v : k.values) out += std::wstring(L"    ") + sign + L" " + ValueLabel(v.name) + L" = " + FormatValue(v) + L"\n";
}

// ntdll, looked up at run time: NtDeleteKey is the one call that deletes a
// link key itself (every advapi32 delete opens the key by name, following it).
using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
using NtStatusToErrorFn = ULONG(NTAPI*)(LONG);

template <typename Fn>
Fn NtdllFunction(const char* name) {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, name))) : nullptr;
}

LONG ErrorFromStatus(LONG status) {
    if (status >= 0) return ERROR_SUCCESS;
    static const auto convert = NtdllFunction<NtStatusToErrorFn>("RtlNtStatusToDosError");
    return convert ? static_cast<LONG>(convert(status)) : ERROR_GEN_FAILURE;
}

// The key named itself: a link is opened as the link, not as its target.
LONG OpenItself(HKEY root, const std::wstring& path, REGSAM access, RegKey& out) {
    return ::RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, access, out.put());
}

LONG OpenMaybeItself(HKEY root, const std::wstring& path, REGSAM access, bool linkItself, RegKey& out) {
    return ::RegOpenKeyExW(root, path.c_str(), linkItself ? REG_OPTION_OPEN_LINK : 0, access, out.put());
}

LONG DeleteItself(HKEY root, const std::wstring& path) {
    static const auto ntDeleteKey = NtdllFunction<NtDeleteKeyFn>("NtDeleteKey");
    if (!ntDeleteKey) return ERROR_CALL_NOT_IMPLEMENTED;
    RegKey key;
    const LONG rc = OpenItself(root, path, DELETE, key);
    return rc != ERROR_SUCCESS ? rc : ErrorFromStatus(ntDeleteKey(key.get()));
}

// The subkeys of the key itself; a link key, opened as itself, has none.
LONG SubkeysOfItself(HKEY root, const std::wstring& path, std::vector<std::wstring>& names) {
    names.clear();
    RegKey key;
    LONG rc = OpenItself(root, path, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, key);
    if (rc != ERROR_SUCCESS) return rc;
    DWORD longest = 0;
    rc = ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    std::wstring name(longest + 2, L'\0');
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        rc = ::RegEnumKeyExW(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (rc != ERROR_SUCCESS) return rc;
        names.emplace_back(name.data(), length);
    }
}

// Keys nest at most 512 deep; deeper means the walk went wrong.
void DeleteTreeNoFollowAt(HKEY root, const std::wstring& path, int depth) {
    if (depth > 512) ThrowError("DeleteTreeNoFollow: too deep at " + Utf8(path), ERROR_INVALID_PARAMETER);
    std::vector<std::wstring> names;
    LONG rc = SubkeysOfItself(root, path, names);
    if (rc == ERROR_ACCESS_DENIED) {
        MakeDeletable(root, path);
        rc = SubkeysOfItself(root, path, names);
    }
    if (rc == ERROR_FILE_NOT_FOUND) return;
    if (rc != ERROR_SUCCESS) ThrowError("enumerating " + Utf8(path), static_cast<DWORD>(rc));
    for (const auto& name : names) DeleteTreeNoFollowAt(root, path + L"\\" + name, depth + 1);
    rc = DeleteItself(root, path);
    if (rc == ERROR_ACCESS_DENIED) {
        MakeDeletable(root, path);
        rc = DeleteItself(root, path);
    }
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) ThrowError("NtDeleteKey " + Utf8(path), static_cast<DWORD>(rc));
}

std::vector<BYTE> SecurityOf(HKEY key, SECURITY_INFORMATION parts, const std::wstring& path) {
    DWORD size = 0;
    LONG rc = ::RegGetKeySecurity(key, parts, nullptr, &size);
    if (rc != ERROR_INSUFFICIENT_BUFFER) ThrowError("RegGetKeySecurity " + Utf8(path), static_cast<DWORD>(rc));
    std::vector<BYTE> sd(size);
    rc = ::RegGetKeySecurity(key, parts, sd.data(), &size);
    if (rc != ERROR_SUCCESS) ThrowError("RegGetKeySecurity " + Utf8(path), static_cast<DWORD>(rc));
    sd.resize(size);
    return sd;
}

constexpr SECURITY_INFORMATION kOwnerGroupDacl =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

}  // namespace

bool operator==(const RegValue& a, const RegValue& b) {
    return a.name == b.name && a.type == b.type && a.data == b.data;
}
bool operator!=(const RegValue& a, const RegValue& b) { return !(a == b); }

std::vector<BYTE> Utf16Bytes(const std::wstring& s, bool withTerminator) {
    const auto* p = reinterpret_cast<const BYTE*>(s.c_str());
    size_t n = (s.size() + (withTerminator ? 1 : 0)) * sizeof(wchar_t);
    return std::vector<BYTE>(p, p + n);
}

RegValue StringValue(const std::wstring& name, const std::wstring& s, DWORD type) {
    return RegValue{name, type, Utf16Bytes(s, true)};
}

RegValue DwordValue(const std::wstring& name, DWORD v) {
    const auto* p = reinterpret_cast<const BYTE*>(&v);
    return RegValue{name, REG_DWORD, std::vector<BYTE>(p, p + sizeof v)};
}

RegKey CreateKey(HKEY root, const std::wstring& path, REGSAM view) {
    RegKey key;
    LONG rc = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr);
    if (rc != ERROR_SUCCESS) ThrowError("RegCreateKeyExW " + Utf8(path), static_cast<DWORD>(rc));
    return key;
}

LONG TryOpenKey(HKEY root, const std::wstring& path, REGSAM access, RegKey& out) {
    return ::RegOpenKeyExW(root, path.c_str(), 0, access, out.put());
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
    RegKey k;
    return TryOpenKey(root, path, KEY_QUERY_VALUE | view, k) == ERROR_SUCCESS;
}

void SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
              DWORD size, REGSAM view) {
    RegKey key = CreateKey(root, path, view);
    LONG rc = ::RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    if (rc != ERROR_SUCCESS) ThrowError("RegSetValueExW " + Utf8(path + L" " + name), static_cast<DWORD>(rc));
}

void SetValue(HKEY root, const std::wstring& path, const RegValue& value, REGSAM view) {
    SetValue(root, path, value.name, value.type, value.data.data(), static_cast<DWORD>(value.data.size()), view);
}

void SetString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& s,
               REGSAM view) {
    SetValue(root, path, StringValue(name, s), view);
}

void SetDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD v, REGSAM view) {
    SetValue(root, path, DwordValue(name, v), view);
}

LONG DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name, REGSAM view) {
    RegKey key;
    LONG rc = TryOpenKey(root, path, KEY_SET_VALUE | view, key);
    if (rc != ERROR_SUCCESS) return rc;
    return ::RegDeleteValueW(key.get(), name.c_str());
}

bool DeleteTree(HKEY root, const std::wstring& path, REGSAM view) {
    // Through the parent, so the key itself goes and `view` applies.
    auto slash = path.find_last_of(L'\\');
    std::wstring parentPath = slash == std::wstring::npos ? L"" : path.substr(0, slash);
    std::wstring leaf = slash == std::wstring::npos ? path : path.substr(slash + 1);
    RegKey parent;
    LONG rc = parentPath.empty() ? ERROR_SUCCESS
                                 : TryOpenKey(root, parentPath, KEY_ALL_ACCESS | view, parent);
    if (rc == ERROR_FILE_NOT_FOUND) return false;
    if (rc != ERROR_SUCCESS) ThrowError("RegOpenKeyExW " + Utf8(parentPath), static_cast<DWORD>(rc));
    rc = ::RegDeleteTreeW(parentPath.empty() ? root : parent.get(), leaf.c_str());
    if (rc == ERROR_FILE_NOT_FOUND) return false;
    if (rc != ERROR_SUCCESS) ThrowError("RegDeleteTreeW " + Utf8(path), static_cast<DWORD>(rc));
    return true;
}

std::wstring GetKeySddl(HKEY root, const std::wstring& path, REGSAM view) {
    RegKey key;
    LONG rc = TryOpenKey(root, path, READ_CONTROL | view, key);
    if (rc != ERROR_SUCCESS) ThrowError("RegOpenKeyExW(READ_CONTROL) " + Utf8(path), static_cast<DWORD>(rc));
    DWORD size = 0;
    rc = ::RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    if (rc != ERROR_INSUFFICIENT_BUFFER) ThrowError("RegGetKeySecurity " + Utf8(path), static_cast<DWORD>(rc));
    std::vector<BYTE> sd(size);
    rc = ::RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd.data(), &size);
    if (rc != ERROR_SUCCESS) ThrowError("RegGetKeySecurity " + Utf8(path), static_cast<DWORD>(rc));
    wchar_t* text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(sd.data(), SDDL_REVISION_1,
                                                                DACL_SECURITY_INFORMATION, &text, nullptr))
        ThrowLastError("ConvertSecurityDescriptorToStringSecurityDescriptorW");
    LocalMem owner(text);
    return text;
}

void SetKeySddl(HKEY root, const std::wstring& path, const std::wstring& sddl, REGSAM view) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        ThrowLastError("ConvertStringSecurityDescriptorToSecurityDescriptorW " + Utf8(sddl));
    LocalMem owner(sd);
    RegKey key;
    LONG rc = TryOpenKey(root, path, WRITE_DAC | view, key);
    // A key whose DACL denies everything can still be opened this way.
    if (rc == ERROR_ACCESS_DENIED) rc = TryOpenKey(root, path, MAXIMUM_ALLOWED | view, key);
    if (rc != ERROR_SUCCESS) ThrowError("RegOpenKeyExW(WRITE_DAC) " + Utf8(path), static_cast<DWORD>(rc));
    rc = ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd);
    if (rc != ERROR_SUCCESS) ThrowError("RegSetKeySecurity " + Utf8(path), static_cast<DWORD>(rc));
}

std::vector<BYTE> GetKeySecurityBytes(HKEY root, const std::wstring& path, bool linkItself) {
    RegKey key;
    const LONG rc = OpenMaybeItself(root, path, READ_CONTROL, linkItself, key);
    if (rc != ERROR_SUCCESS) ThrowError("RegOpenKeyExW(READ_CONTROL) " + Utf8(path), static_cast<DWORD>(rc));
    return SecurityOf(key.get(), kOwnerGroupDacl, path);
}

std::wstring GetKeySecuritySddl(HKEY root, const std::wstring& path, bool linkItself) {
    std::vector<BYTE> sd = GetKeySecurityBytes(root, path, linkItself);
    wchar_t* text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(sd.data(), SDDL_REVISION_1, kOwnerGroupDacl, &text,
                                                                nullptr))
        ThrowLastError("ConvertSecurityDescriptorToStringSecurityDescriptorW");
    LocalMem owner(text);
    return text;
}

void SetKeySecuritySddl(HKEY root, const std::wstring& path, const std::wstring& sddl, bool linkItself) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        ThrowLastError("ConvertStringSecurityDescriptorToSecurityDescriptorW " + Utf8(sddl));
    LocalMem owner(sd);
    PSID sid = nullptr;
    BOOL defaulted = FALSE;
    SECURITY_INFORMATION parts = DACL_SECURITY_INFORMATION;
    if (::GetSecurityDescriptorOwner(sd, &sid, &defaulted) && sid) parts |= OWNER_SECURITY_INFORMATION;
    sid = nullptr;
    if (::GetSecurityDescriptorGroup(sd, &sid, &defaulted) && sid) parts |= GROUP_SECURITY_INFORMATION;
    const REGSAM access = WRITE_DAC | (parts & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION) ? WRITE_OWNER : 0);
    RegKey key;
    const LONG rc = OpenMaybeItself(root, path, access, linkItself, key);
    if (rc != ERROR_SUCCESS) ThrowError("RegOpenKeyExW(WRITE_DAC) " + Utf8(path), static_cast<DWORD>(rc));
    const LONG set = ::RegSetKeySecurity(key.get(), parts, sd);
    if (set != ERROR_SUCCESS) ThrowError("RegSetKeySecurity " + Utf8(path), static_cast<DWORD>(set));
}

void MakeDeletable(HKEY root, const std::wstring& path) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KA;;;WD)", SDDL_REVISION_1, &sd, nullptr))
        ThrowLastError("ConvertStringSecurityDescriptorToSecurityDescriptorW");
    LocalMem owner(sd);
    RegKey key;
    LONG rc = OpenItself(root, path, WRITE_DAC, key);
    // A DACL that denies everything still leaves the owner what MAXIMUM_ALLOWED finds.
    if (rc == ERROR_ACCESS_DENIED) rc = OpenItself(root, path, MAXIMUM_ALLOWED, key);
    if (rc != ERROR_SUCCESS) ThrowError("RegOpenKeyExW(WRITE_DAC, link itself) " + Utf8(path), static_cast<DWORD>(rc));
    rc = ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd);
    if (rc != ERROR_SUCCESS) ThrowError("RegSetKeySecurity " + Utf8(path), static_cast<DWORD>(rc));
}

bool DeleteTreeNoFollow(HKEY root, const std::wstring& path) {
    if (!KeyItselfExists(root, path)) return false;
    DeleteTreeNoFollowAt(root, path, 0);
    return true;
}

void CreateLinkKey(HKEY root, const std::wstring& path, const std::wstring& ntTarget) {
    RegKey key;
    DWORD disposition = 0;
    LONG rc = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, key.put(), &disposition);
    if (rc != ERROR_SUCCESS) ThrowError("RegCreateKeyExW(REG_OPTION_CREATE_LINK) " + Utf8(path), static_cast<DWORD>(rc));
    // An existing key of that name would have been opened, not made a link.
    if (disposition != REG_CREATED_NEW_KEY) ThrowError("CreateLinkKey: exists already: " + Utf8(path), ERROR_ALREADY_EXISTS);
    rc = ::RegSetValueExW(key.get(), L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(ntTarget.data()),
                          static_cast<DWORD>(ntTarget.size() * sizeof(wchar_t)));
    if (rc != ERROR_SUCCESS) ThrowError("RegSetValueExW(SymbolicLinkValue) " + Utf8(path), static_cast<DWORD>(rc));
}

bool KeyItselfExists(HKEY root, const std::wstring& path) {
    RegKey key;
    const LONG rc = OpenItself(root, path, KEY_QUERY_VALUE, key);
    return rc == ERROR_SUCCESS || rc == ERROR_ACCESS_DENIED;
}

std::wstring LinkValueOf(HKEY root, const std::wstring& path) {
    RegKey key;
    if (OpenItself(root, path, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) return L"";
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), L"SymbolicLinkValue", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_LINK)
        return L"";
    std::wstring target(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key.get(), L"SymbolicLinkValue", nullptr, &type, reinterpret_cast<BYTE*>(target.data()),
                           &got) != ERROR_SUCCESS)
        return L"";
    target.resize(got / sizeof(wchar_t));
    return target;
}

std::wstring NtMachinePath(const std::wstring& path) { return L"\\REGISTRY\\MACHINE\\" + path; }

const RegKeyState* RegSnapshot::FindKey(const std::wstring& path) const {
    for (const auto& k : keys)
        if (SameName(k.path, path)) return &k;
    return nullptr;
}

const RegValue* RegSnapshot::FindValue(const std::wstring& keyPath, const std::wstring& name) const {
    const RegKeyState* k = FindKey(keyPath);
    if (!k) return nullptr;
    for (const auto& v : k->values)
        if (SameName(v.name, name)) return &v;
    return nullptr;
}

void RegSnapshot::PutKey(const std::wstring& path) {
    exists = true;
    std::wstring prefix;
    if (!FindKey(L"")) keys.push_back(RegKeyState{});
    for (const auto& part : Split(path)) {
        prefix = Join(prefix, part);
        if (!FindKey(prefix)) {
            RegKeyState k;
            k.path = prefix;
            keys.push_back(std::move(k));
        }
    }
    SortKeys(keys);
}

void RegSnapshot::PutValue(const std::wstring& keyPath, const RegValue& value) {
    PutKey(keyPath);
    for (auto& k : keys) {
        if (!SameName(k.path, keyPath)) continue;
        auto it = std::find_if(k.values.begin(), k.values.end(),
                               [&](const RegValue& v) { return SameName(v.name, value.name); });
        if (it != k.values.end()) {
            *it = value;
        } else {
            k.values.push_back(value);
        }
        SortValues(k.values);
        return;
    }
}

bool RegSnapshot::RemoveValue(const std::wstring& keyPath, const std::wstring& name) {
    for (auto& k : keys) {
        if (!SameName(k.path, keyPath)) continue;
        auto it = std::find_if(k.values.begin(), k.values.end(),
                               [&](const RegValue& v) { return SameName(v.name, name); });
        if (it == k.values.end()) return false;
        k.values.erase(it);
        return true;
    }
    return false;
}

bool RegSnapshot::RemoveKey(const std::wstring& path) {
    auto before = keys.size();
    keys.erase(std::remove_if(keys.begin(), keys.end(),
                              [&](const RegKeyState& k) { return IsUnder(k.path, path); }),
               keys.end());
    if (path.empty()) exists = false;
    return keys.size() != before;
}

bool operator==(const RegSnapshot& a, const RegSnapshot& b) {
    if (a.exists != b.exists || a.keys.size() != b.keys.size()) return false;
    for (size_t i = 0; i < a.keys.size(); ++i) {
        const auto &ka = a.keys[i], &kb = b.keys[i];
        if (ka.path != kb.path || ka.readable != kb.readable || ka.values != kb.values) return false;
    }
    return true;
}
bool operator!=(const RegSnapshot& a, const RegSnapshot& b) { return !(a == b); }

RegSnapshot Snapshot(HKEY root, const std::wstring& path, REGSAM view) {
    RegSnapshot s;
    s.rootName = path;
    RegKey key;
    LONG rc = TryOpenKey(root, path, KEY_READ | view, key);
    if (rc == ERROR_FILE_NOT_FOUND) return s;
    if (rc != ERROR_SUCCESS) ThrowError("RegOpenKeyExW " + Utf8(path), static_cast<DWORD>(rc));
    s.exists = true;
    ReadKey(key.get(), L"", view, s.keys);
    SortKeys(s.keys);
    return s;
}

std::wstring TypeName(DWORD type) {
    switch (type) {
        case REG_NONE: return L"REG_NONE";
        case REG_SZ: return L"REG_SZ";
        case REG_EXPAND_SZ: return L"REG_EXPAND_SZ";
        case REG_BINARY: return L"REG_BINARY";
        case REG_DWORD: return L"REG_DWORD";
        case REG_DWORD_BIG_ENDIAN: return L"REG_DWORD_BIG_ENDIAN";
        case REG_LINK: return L"REG_LINK";
        case REG_MULTI_SZ: return L"REG_MULTI_SZ";
        case REG_QWORD: return L"REG_QWORD";
        default: return L"type " + std::to_wstring(type);
    }
}

std::wstring FormatValue(const RegValue& v) {
    const size_t n = v.data.size();
    const std::wstring bytes = L"(" + std::to_wstring(n) + (n == 1 ? L" byte" : L" bytes");
    const bool stringType =
        v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_LINK || v.type == REG_MULTI_SZ;
    if (stringType && n % 2 == 0) {
        std::wstring text(n / 2, L'\0');
        for (size_t i = 0; i < n / 2; ++i)
            text[i] = static_cast<wchar_t>(v.data[2 * i] | (v.data[2 * i + 1] << 8));
        bool terminated = !text.empty() && text.back() == L'\0';
        if (terminated && v.type != REG_MULTI_SZ) text.pop_back();
        return TypeName(v.type) + L" \"" + Escape(text) + L"\" " + bytes +
               (terminated || v.type == REG_MULTI_SZ ? L")" : L", no terminator)");
    }
    if (v.type == REG_DWORD && n == 4) {
        DWORD d = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<DWORD>(v.data[3]) << 24);
        wchar_t buf[40];
        std::swprintf(buf, 40, L"REG_DWORD 0x%08lx (%lu)", static_cast<unsigned long>(d),
                      static_cast<unsigned long>(d));
        return buf;
    }
    if (v.type == REG_QWORD && n == 8) {
        unsigned long long q = 0;
        for (int i = 7; i >= 0; --i) q = (q << 8) | v.data[static_cast<size_t>(i)];
        wchar_t buf[48];
        std::swprintf(buf, 48, L"REG_QWORD 0x%016llx", q);
        return buf;
    }
    return TypeName(v.type) + L" [" + Hex(v.data) + L"] " + bytes + L")";
}

std::wstring Dump(const RegSnapshot& s) {
    if (!s.exists) return s.rootName + L": (no such key)\n";
    std::wstring out;
    for (const auto& k : s.keys) {
        out += L"[" + KeyName(s, k.path) + L"]";
        if (!k.readable) out += L" (cannot read: " + ErrorText(static_cast<DWORD>(k.openError)) + L")";
        out += L"\n";
        DescribeKeyValues(k, L" ", out);
    }
    return out;
}

std::wstring Diff(const RegSnapshot& expected, const RegSnapshot& actual) {
    const RegSnapshot& e = expected;
    const RegSnapshot& a = actual;
    std::wstring out;
    if (e.exists != a.exists) {
        out += e.exists ? L"key " + e.rootName + L" expected, but it does not exist\n"
                        : L"key " + a.rootName + L" should not exist, but it does\n";
    }
    size_t i = 0, j = 0;
    while (i < e.keys.size() || j < a.keys.size()) {
        int c = i >= e.keys.size()   ? 1
                : j >= a.keys.size() ? -1
                                     : PathCompareIgnoringCase(e.keys[i].path, a.keys[j].path);
        bool takeE = c < 0;
        bool takeA = c > 0;
        if (takeE) {
            out += L"- missing key [" + KeyName(e, e.keys[i].path) + L"]\n";
            DescribeKeyValues(e.keys[i], L"-", out);
            ++i;
            continue;
        }
        if (takeA) {
            out += L"+ extra key [" + KeyName(a, a.keys[j].path) + L"]\n";
            DescribeKeyValues(a.keys[j], L"+", out);
            ++j;
            continue;
        }
        const RegKeyState &ke = e.keys[i], &ka = a.keys[j];
        std::wstring keyOut;
        if (ke.path != ka.path) keyOut += L"  key name case: expected \"" + ke.path + L"\", got \"" + ka.path + L"\"\n";
        if (ke.readable != ka.readable)
            keyOut += ke.readable ? L"  cannot be read (" + ErrorText(static_cast<DWORD>(ka.openError)) + L")\n"
                                  : L"  expected to be unreadable, but it can be read\n";
        size_t x = 0, y = 0;
        while (x < ke.values.size() || y < ka.values.size()) {
            int c = x >= ke.values.size()   ? 1
                    : y >= ka.values.size() ? -1
                                            : CompareNames(ke.values[x].name, ka.values[y].name);
            // Same name but for case: report as one changed value.
            if (c != 0 && x < ke.values.size() && y < ka.values.size() &&
                SameName(ke.values[x].name, ka.values[y].name))
                c = 0;
            if (c < 0) {
                keyOut += L"  - missing value " + ValueLabel(ke.values[x].name) + L" = " + FormatValue(ke.values[x]) + L"\n";
                ++x;
            } else if (c > 0) {
                keyOut += L"  + extra value " + ValueLabel(ka.values[y].name) + L" = " + FormatValue(ka.values[y]) + L"\n";
                ++y;
            } else {
                if (ke.values[x] != ka.values[y]) {
                    keyOut += L"  ~ value " + ValueLabel(ke.values[x].name) + L": expected " + FormatValue(ke.values[x]) +
                              L", got " + (ke.values[x].name != ka.values[y].name ? ValueLabel(ka.values[y].name) + L" = " : L"") +
                              FormatValue(ka.values[y]) + L"\n";
                }
                ++x;
                ++y;
            }
        }
        if (!keyOut.empty()) out += L"  in [" + KeyName(a, ka.path) + L"]\n" + keyOut;
        ++i;
        ++j;
    }
    return out;
}

}  // namespace windriver
