#pragma once
// Key security primitives of the live registry: opens (plain, and with
// backup intent), reading a key's descriptor, writing one back, and giving
// the administrators full control of one key. The protocol that uses them
// (capture, take over, change, restore, read back) is the core's
// (core/key_takeover.h). Every open asks for the 64-bit view, so a 32-bit
// build works on the keys Windows' own loader reads.
#include <windows.h>

#include <string>
#include <vector>

#include "core/reg_result.h"
#include "core/registry.h"
#include "win32/handles.h"

namespace vornex::keysec {

constexpr REGSAM kNativeView = KEY_WOW64_64KEY;

// RegOpenKeyExW with the 64-bit view; path is relative to root. kLinkItself
// opens a link key itself (REG_OPTION_OPEN_LINK); an ordinary key opens the
// same either way.
RegResult OpenKey(HKEY root, const std::wstring& path, REGSAM access, LinkMode mode, win32::UniqueRegKey* key);

// What a backup-intent open is for, and so which one privilege is enabled
// around it. Windows documents REG_OPTION_BACKUP_RESTORE as granting, under
// SeBackupPrivilege, ACCESS_SYSTEM_SECURITY and KEY_READ, and under
// SeRestorePrivilege ACCESS_SYSTEM_SECURITY, DELETE and KEY_WRITE, whatever
// the DACL says: a read opened this way can change nothing.
enum class BackupIntent { kRead, kWrite };

// An open with REG_OPTION_BACKUP_RESTORE (NtOpenKeyEx relative to the
// parent, so a missing key is never created), its privilege enabled for the
// call only. Wine 8 honours no privilege here (measured: refused wherever
// the DACL refuses).
RegResult OpenKeyBackupIntent(HKEY root, const std::wstring& path, REGSAM access, LinkMode mode,
                              BackupIntent intent, win32::UniqueRegKey* key);

constexpr SECURITY_INFORMATION kOwnerGroupDacl =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// The self-relative descriptor of an open key: owner, group and DACL, and the
// SACL too when the handle was opened with ACCESS_SYSTEM_SECURITY. *parts (may
// be null) receives what it holds.
RegResult ReadKeySecurity(HKEY key, std::vector<BYTE>* descriptor, SECURITY_INFORMATION* parts = nullptr);

// The same by path: opened with READ_CONTROL (and ACCESS_SYSTEM_SECURITY
// under SeSecurityPrivilege, so that the SACL comes along where permitted);
// where the DACL refuses that, with backup intent for reading.
RegResult ReadKeySecurity(HKEY root, const std::wstring& path, LinkMode mode, std::vector<BYTE>* descriptor,
                          SECURITY_INFORMATION* parts = nullptr);

// Writes a descriptor read with ReadKeySecurity back on root\path: the DACL,
// and the owner, group and SACL where they differ from the key's now
// (writing an untouched part, an absent SACL say, can change the control
// bits). Does not read it back: the caller compares.
RegResult WriteKeySecurity(HKEY root, const std::wstring& path, LinkMode mode, const std::vector<BYTE>& descriptor);

// Gives BUILTIN\Administrators full control of ONE key: an ACE allowing
// KEY_ALL_ACCESS, not inheritable, before the DACL's own, written with
// RegSetKeySecurity (which, unlike SetSecurityInfo, never reaches subkeys).
// WRITE_DAC is asked plainly (the owner has it), else by making the
// administrators the owner (WRITE_OWNER under SeTakeOwnershipPrivilege),
// else with backup intent for writing. Puts nothing back: a failure may
// leave the owner changed.
RegResult GrantAdministratorsFullControl(HKEY root, const std::wstring& path, LinkMode mode);

}  // namespace vornex::keysec
