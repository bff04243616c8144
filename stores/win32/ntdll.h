#pragma once
// The few ntdll calls the store needs that advapi32 does not offer: an open
// that never creates (backup intent without RegCreateKeyEx), a key's NT name,
// and deleting the key a handle holds (a link itself). Looked up at run time:
// they are not in mingw-w64's import libraries for every target, and the
// program must start even where one is missing.
#include <windows.h>

#include <string>

#include "core/reg_result.h"

namespace vornex::ntdll {

// NtOpenKeyEx of `name` relative to the open key `parent`. attributes: OBJ_*
// (case-insensitive is always added); options: REG_OPTION_*.
RegResult OpenKeyRelative(HKEY parent, const std::wstring& name, ACCESS_MASK access, ULONG attributes,
                          ULONG options, HKEY* key);
constexpr ULONG kObjOpenLink = 0x100;

// NtQueryKey(KeyNameInformation): e.g. \REGISTRY\MACHINE\SOFTWARE\X.
RegResult QueryKeyName(HKEY key, std::wstring* name);

// NtDeleteKey on the key the handle holds (opened with DELETE).
RegResult DeleteOpenKey(HKEY key);

}  // namespace vornex::ntdll
