#pragma once
// Shared pieces of the probes: checks that count failures, and registry
// fixtures built with the plain Win32 API (independent of the code under test).
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/wine/probes/probe_keysec.h"

namespace probe {

using vornex::keysec::kNativeView;
// Owns an HKEY the probe opened.
using UniqueKey = vornex::win32::UniqueRegKey;

inline int& Failures() {
    static int failures = 0;
    return failures;
}

inline void Print(const std::wstring& line) {
    // UTF-8, so output piped to a Linux file reads as text.
    std::string out;
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), out.data(), size,
                        nullptr, nullptr);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

inline void Check(const std::wstring& what, bool ok, const std::wstring& detail = std::wstring()) {
    if (!ok) ++Failures();
    Print(std::wstring(ok ? L"PASS " : L"FAIL ") + what + (detail.empty() ? L"" : L"  [" + detail + L"]"));
}

inline std::wstring Num(long long value) { return std::to_wstring(value); }

inline std::wstring HexNum(unsigned long value) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%lX", value);
    return text;
}

// A base key of its own for each run: fixtures a platform will not let us
// remove cannot disturb the next run.
inline std::wstring RunBase(const wchar_t* probe) {
    return std::wstring(L"SOFTWARE\\VornexProbe\\") + probe + L"-" + std::to_wstring(GetCurrentProcessId());
}

// ------------------------------------------------------------- registry

inline LSTATUS Open(HKEY root, const std::wstring& path, REGSAM access, UniqueKey* key,
                    DWORD options = 0) {
    HKEY opened = nullptr;
    const LSTATUS status = RegOpenKeyExW(root, path.c_str(), options, access | kNativeView, &opened);
    if (status == ERROR_SUCCESS) key->reset(opened);
    return status;
}

inline LSTATUS OpenStatus(HKEY root, const std::wstring& path, REGSAM access, DWORD options = 0) {
    UniqueKey key;
    return Open(root, path, access, &key, options);
}

// Volatile: a fixture that cannot be removed (Wine honours no privilege that
// would let us take a foreign-owned key back) is gone when the wineserver stops.
inline LSTATUS CreateKey(HKEY root, const std::wstring& path, UniqueKey* key, DWORD options = 0) {
    HKEY created = nullptr;
    const LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE | options,
                                           KEY_ALL_ACCESS | kNativeView, nullptr, &created, nullptr);
    if (status == ERROR_SUCCESS) key->reset(created);
    return status;
}

inline LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

inline LSTATUS SetBinary(HKEY key, const wchar_t* name, const std::vector<BYTE>& bytes) {
    return RegSetValueExW(key, name, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

struct Value {
    std::wstring name;
    DWORD type = 0;
    std::vector<BYTE> data;
    bool operator==(const Value& o) const { return name == o.name && type == o.type && data == o.data; }
};

// Every value of a key, sorted by name; status of the open in *status.
inline std::vector<Value> Values(HKEY root, const std::wstring& path, LSTATUS* status,
                                 DWORD options = 0) {
    std::vector<Value> values;
    UniqueKey key;
    *status = Open(root, path, KEY_QUERY_VALUE, &key, options);
    if (*status != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        Value value{std::wstring(name, nameLength), type, std::vector<BYTE>(size)};
        nameLength = 16384;
        RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, value.data.data(), &size);
        value.data.resize(size);
        values.push_back(value);
    }
    std::sort(values.begin(), values.end(), [](const Value& a, const Value& b) { return a.name < b.name; });
    return values;
}

inline std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    UniqueKey key;
    if (Open(root, path, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

inline bool EqualNames(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

inline bool Contains(const std::vector<std::wstring>& names, const std::wstring& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::wstring& n) { return lstrcmpiW(n.c_str(), name.c_str()) == 0; });
}

// Applies SDDL to a key (the parts it names), through RegSetKeySecurity.
inline LSTATUS ApplySddl(HKEY root, const std::wstring& path, const std::wstring& sddl,
                         SECURITY_INFORMATION parts, DWORD options = 0) {
    vornex::win32::UniqueLocal descriptor;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &raw, nullptr)) {
        return static_cast<LSTATUS>(GetLastError());
    }
    descriptor.reset(raw);
    // Setting a foreign owner and a SACL needs these; they stay on only here.
    vornex::keysec::ScopedPrivilege restore(SE_RESTORE_NAME);
    vornex::keysec::ScopedPrivilege security(SE_SECURITY_NAME);
    REGSAM access = 0;
    if (parts & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) access |= WRITE_OWNER;
    if (parts & DACL_SECURITY_INFORMATION) access |= WRITE_DAC;
    if (parts & SACL_SECURITY_INFORMATION) access |= ACCESS_SYSTEM_SECURITY;
    UniqueKey key;
    const LSTATUS status = Open(root, path, access, &key, options);
    if (status != ERROR_SUCCESS) return status;
    return RegSetKeySecurity(key.get(), parts, descriptor.get());
}

// The key's descriptor read directly (not through the code under test):
// owner, group, DACL, and the SACL when withSacl.
inline LSTATUS RawSecurity(HKEY root, const std::wstring& path, bool withSacl, std::vector<BYTE>* out,
                           DWORD options = 0) {
    vornex::keysec::ScopedPrivilege security(SE_SECURITY_NAME);
    UniqueKey key;
    LSTATUS status = Open(root, path, READ_CONTROL | (withSacl ? ACCESS_SYSTEM_SECURITY : 0), &key, options);
    if (status != ERROR_SUCCESS) return status;
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                       DACL_SECURITY_INFORMATION | (withSacl ? SACL_SECURITY_INFORMATION : 0);
    DWORD size = 0;
    status = RegGetKeySecurity(key.get(), parts, nullptr, &size);
    if (status != ERROR_INSUFFICIENT_BUFFER) return status;
    out->assign(size, 0);
    return RegGetKeySecurity(key.get(), parts, out->data(), &size);
}

inline std::wstring Sddl(const std::vector<BYTE>& descriptor, bool withSacl) {
    return probe::DescriptorToSddl(
        descriptor, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                        (withSacl ? SACL_SECURITY_INFORMATION : 0));
}

}  // namespace probe
