#include "stores/win32/ntdll.h"

#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace vornex::ntdll {

namespace {

using NtQueryKeyFn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
using NtOpenKeyExFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, ULONG);
using NtStatusToErrorFn = ULONG(NTAPI*)(LONG);

template <typename Fn>
Fn NtFunction(const char* name) {
    HMODULE module = GetModuleHandleW(L"ntdll.dll");
    if (!module) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

constexpr ULONG kKeyNameInformation = 3;
constexpr ULONG kObjCaseInsensitive = 0x40;

RegResult ResultOf(LONG status) {
    if (status >= 0) return kRegOk;
    static const auto convert = NtFunction<NtStatusToErrorFn>("RtlNtStatusToDosError");
    return convert ? static_cast<RegResult>(convert(status)) : kRegGenFailure;
}

}  // namespace

RegResult OpenKeyRelative(HKEY parent, const std::wstring& name, ACCESS_MASK access, ULONG attributes,
                          ULONG options, HKEY* key) {
    static const auto ntOpenKeyEx = NtFunction<NtOpenKeyExFn>("NtOpenKeyEx");
    if (!ntOpenKeyEx) return kRegCallNotImplemented;
    std::wstring buffer = name;
    UNICODE_STRING ntName{};
    ntName.Buffer = buffer.data();
    ntName.Length = static_cast<USHORT>(buffer.size() * sizeof(wchar_t));
    ntName.MaximumLength = ntName.Length;
    OBJECT_ATTRIBUTES objectAttributes{};
    objectAttributes.Length = sizeof objectAttributes;
    objectAttributes.RootDirectory = parent;
    objectAttributes.ObjectName = &ntName;
    objectAttributes.Attributes = kObjCaseInsensitive | attributes;
    HANDLE opened = nullptr;
    const LONG status = ntOpenKeyEx(&opened, access, &objectAttributes, options);
    if (status < 0) return ResultOf(status);
    *key = static_cast<HKEY>(opened);
    return kRegOk;
}

RegResult QueryKeyName(HKEY key, std::wstring* name) {
    static const auto ntQueryKey = NtFunction<NtQueryKeyFn>("NtQueryKey");
    if (!ntQueryKey) return kRegCallNotImplemented;
    std::vector<BYTE> buffer(512);
    for (int attempt = 0; attempt < 4; ++attempt) {
        ULONG needed = 0;
        const LONG status =
            ntQueryKey(key, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status >= 0) {
            ULONG length = 0;
            std::memcpy(&length, buffer.data(), sizeof length);
            length = std::min<ULONG>(length, static_cast<ULONG>(buffer.size() - sizeof(ULONG)));
            name->assign(reinterpret_cast<const wchar_t*>(buffer.data() + sizeof(ULONG)), length / sizeof(wchar_t));
            return kRegOk;
        }
        if (needed <= buffer.size()) return ResultOf(status);
        buffer.resize(needed);
    }
    return kRegMoreData;
}

RegResult DeleteOpenKey(HKEY key) {
    static const auto ntDeleteKey = NtFunction<NtDeleteKeyFn>("NtDeleteKey");
    if (!ntDeleteKey) return kRegCallNotImplemented;
    return ResultOf(ntDeleteKey(key));
}

}  // namespace vornex::ntdll
