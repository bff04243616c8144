#pragma once
// Win32 building blocks for repairing registry keys that resist ordinary
// access: keys whose security refuses changes, and keys that are registry
// symbolic links. Every open asks for the 64-bit view (KEY_WOW64_64KEY), so a
// 32-bit build works on the keys Windows' own loader reads.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "win32/handles.h"

namespace vornex::keysec {

constexpr REGSAM kNativeView = KEY_WOW64_64KEY;

// ---------------------------------------------------------------- handles

template <typename T>
void FreeLocalMemory(T* memory) {
    LocalFree(memory);
}

using UniqueKey = win32::UniqueRegKey;
using UniqueHandle = win32::UniqueKernelHandle;
// Memory the system allocated with LocalAlloc (SDDL conversions and the like).
template <typename T>
using LocalMemory = win32::UniqueHandle<win32::NullIsNone<T*, FreeLocalMemory<T>>>;

// ------------------------------------------------------------- opening keys

// Follow: a link key opens its target (what every plain open does).
// Link: a link key opens itself (REG_OPTION_OPEN_LINK); an ordinary key opens
// the same either way.
enum class LinkMode { Follow, Link };

// RegOpenKeyExW with the 64-bit view; path is relative to root.
LSTATUS OpenKey(HKEY root, const std::wstring& path, REGSAM access, LinkMode mode,
                UniqueKey* key);

// An open with backup/restore intent (NtOpenKeyEx, REG_OPTION_BACKUP_RESTORE)
// under SeBackupPrivilege and SeRestorePrivilege, enabled for the call only.
// Windows documents such an open as granting ACCESS_SYSTEM_SECURITY, KEY_READ,
// DELETE and KEY_WRITE whatever the DACL says; Wine 8 honours no privilege
// here (measured: ERROR_ACCESS_DENIED where the DACL refuses).
LSTATUS OpenKeyBackupIntent(HKEY root, const std::wstring& path, REGSAM access, LinkMode mode,
                            UniqueKey* key);

// ------------------------------------------------------------- privileges

// Enables one privilege in the process token for its lifetime and puts the
// previous state back afterwards. Held() is false when the token lacks it.
// The token is the whole process's: not for use from several threads at once.
class ScopedPrivilege {
public:
    explicit ScopedPrivilege(const wchar_t* name);
    ScopedPrivilege(const ScopedPrivilege&) = delete;
    ScopedPrivilege& operator=(const ScopedPrivilege&) = delete;
    ~ScopedPrivilege();

    bool Held() const { return held_; }
    DWORD Error() const { return error_; }

private:
    UniqueHandle token_;
    TOKEN_PRIVILEGES previous_{};
    bool held_ = false;
    DWORD error_ = ERROR_SUCCESS;
};

// ---------------------------------------------------------- key security

constexpr SECURITY_INFORMATION kOwnerGroupDacl =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// The self-relative descriptor of an open key: owner, group and DACL, and the
// SACL too when the handle was opened with ACCESS_SYSTEM_SECURITY. *parts (may
// be null) receives what it holds.
LSTATUS ReadKeySecurity(HKEY key, std::vector<BYTE>* descriptor,
                        SECURITY_INFORMATION* parts = nullptr);

// The same by path: opens with READ_CONTROL, and ACCESS_SYSTEM_SECURITY under
// SeSecurityPrivilege when it is held, so the SACL comes along where permitted.
LSTATUS ReadKeySecurity(HKEY root, const std::wstring& path, LinkMode mode,
                        std::vector<BYTE>* descriptor, SECURITY_INFORMATION* parts = nullptr);

// SDDL of the given parts of a descriptor; "" when it cannot be converted.
std::wstring DescriptorToSddl(const std::vector<BYTE>& descriptor, SECURITY_INFORMATION parts);

// Takes over the security of ONE key so that BUILTIN\Administrators have full
// control of it, and puts its original descriptor back afterwards.
//
// The constructor first captures the descriptor (nothing is changed when it
// cannot be read, since it could not be put back). It then needs WRITE_DAC:
// asked plainly (the owner has it implicitly), else by making Administrators
// the owner (WRITE_OWNER under SeTakeOwnershipPrivilege), else through a
// backup-intent open under SeRestorePrivilege. It writes a DACL holding one
// more ACE at its front: allow Administrators KEY_ALL_ACCESS, not inheritable,
// so no subkey gains anything. Only RegSetKeySecurity is used: unlike
// SetSecurityInfo it never propagates to subkeys.
//
// Restore() writes back what was changed (the DACL, and the owner when it was
// taken) and reads owner, group, DACL (and SACL) again to check every byte
// against the capture. The destructor restores when the caller has
// neither restored nor called KeyDeleted() (after deleting the key itself).
class KeySecurityTakeover {
public:
    KeySecurityTakeover(HKEY root, std::wstring path, LinkMode mode = LinkMode::Follow);
    KeySecurityTakeover(const KeySecurityTakeover&) = delete;
    KeySecurityTakeover& operator=(const KeySecurityTakeover&) = delete;
    ~KeySecurityTakeover();

    // True when Administrators now have full control of the key.
    bool Active() const { return active_; }
    // The first failure of the takeover, or ERROR_SUCCESS.
    LSTATUS Status() const { return status_; }
    // The key was deleted: there is nothing to put back.
    void KeyDeleted();
    // Leaves the takeover in place: the caller puts back the descriptor it
    // captured (PutKeySecurityBack) once its change is made.
    void Keep() { KeyDeleted(); }
    // Puts the original descriptor back and checks it byte for byte.
    // ERROR_SUCCESS when it is back exactly; ERROR_INVALID_SECURITY_DESCR
    // when written but not read back equal. Repeat calls return the first result.
    LSTATUS Restore();

    bool OwnerChanged() const { return ownerChanged_; }
    bool DaclChanged() const { return daclChanged_; }
    const std::vector<BYTE>& Original() const { return original_; }
    SECURITY_INFORMATION OriginalParts() const { return parts_; }
    // What was done and what failed, one line each (for logs and reports).
    const std::vector<std::wstring>& Log() const { return log_; }

private:
    void TakeOver();
    LSTATUS OpenWriteDac(UniqueKey* key);
    LSTATUS MakeAdministratorsOwner();
    void Note(const std::wstring& what, LSTATUS status);

    HKEY root_;
    std::wstring path_;
    LinkMode mode_;
    std::vector<BYTE> original_;
    SECURITY_INFORMATION parts_ = 0;
    bool active_ = false;
    bool ownerChanged_ = false;
    bool daclChanged_ = false;
    bool finished_ = false;  // restored, or the key is gone
    LSTATUS status_ = ERROR_SUCCESS;
    LSTATUS restoreStatus_ = ERROR_SUCCESS;
    std::vector<std::wstring> log_;
};

// Puts a descriptor read earlier with ReadKeySecurity back on root\path:
// the DACL, and the owner, group and SACL where they differ from the key's
// now. Then reads it again: ERROR_INVALID_SECURITY_DESCR when it does not
// read back equal, byte for byte.
LSTATUS PutKeySecurityBack(HKEY root, const std::wstring& path, LinkMode mode, const std::vector<BYTE>& original);

// What WithTakeoverOnDenial did.
struct TakeoverResult {
    LSTATUS change = ERROR_SUCCESS;   // the change's own result (the second try's, if any)
    LSTATUS takeover = ERROR_SUCCESS; // why the takeover failed, if it did
    LSTATUS restore = ERROR_SUCCESS;  // Restore()'s result; ERROR_SUCCESS when not needed
    bool tookOver = false;
    std::vector<std::wstring> log;
};

// Runs change() (which opens root\path itself, asking only the access it
// needs); if that is refused with ERROR_ACCESS_DENIED, takes over the key's
// security, runs change() again and puts the security back, unless
// deletesKey and the change succeeded (the key is gone).
template <typename Change>
TakeoverResult WithTakeoverOnDenial(HKEY root, const std::wstring& path, LinkMode mode, bool deletesKey,
                                    Change change) {
    TakeoverResult result;
    result.change = change();
    if (result.change != ERROR_ACCESS_DENIED) return result;
    KeySecurityTakeover takeover(root, path, mode);
    if (!takeover.Active()) {
        result.takeover = takeover.Status();
        result.restore = takeover.Restore();
        result.log = takeover.Log();
        return result;
    }
    result.tookOver = true;
    result.change = change();
    if (deletesKey && result.change == ERROR_SUCCESS) {
        takeover.KeyDeleted();
    } else {
        result.restore = takeover.Restore();
    }
    result.log = takeover.Log();
    return result;
}

// ----------------------------------------------------------- link keys

struct LinkInfo {
    bool isLink = false;
    // The key's own NT name and, for a link, the name its followed open has
    // ("" when the target is missing or refuses every open).
    std::wstring ownName;
    std::wstring resolvedName;
    // SymbolicLinkValue as stored, when the link allows reading it.
    std::wstring target;
    // How it was decided: "names" (the two opens reach differently named
    // keys), "dangling" (only the link itself opens), "value" (a plain open
    // was refused; the key holds a REG_LINK SymbolicLinkValue) or "none".
    std::wstring evidence;
    // NtQueryKey(KeyFlagsInformation) on the key itself, for reports only: the
    // layout is undocumented, so it never decides. flagsStatus is its NTSTATUS.
    LONG flagsStatus = 0;
    ULONG flags[3] = {0, 0, 0};
};

// Decides whether root\path is itself a registry symbolic link by comparing
// the key's own NT name (opened with REG_OPTION_OPEN_LINK) with the name of
// what a plain open reaches; a link whose target is missing opens only as
// itself. Works with any access the key grants, since NtQueryKey's name class
// needs none. ERROR_FILE_NOT_FOUND when no key of that name exists.
LSTATUS QueryLinkInfo(HKEY root, const std::wstring& path, LinkInfo* info);
bool IsLinkKey(HKEY root, const std::wstring& path);

// The link's SymbolicLinkValue (REG_LINK, an NT path like
// \REGISTRY\MACHINE\SOFTWARE\Target). ERROR_BAD_PATHNAME when the key holds
// no such value of type REG_LINK.
LSTATUS ReadLinkTarget(HKEY root, const std::wstring& path, std::wstring* target);

// Deletes the key named root\path itself, never what it points to: opens it
// with REG_OPTION_OPEN_LINK and DELETE, then NtDeleteKey on that handle.
// Safe for ordinary keys too (fails on one with subkeys, like RegDeleteKeyEx).
LSTATUS DeleteKeyNoFollow(HKEY root, const std::wstring& path);
inline LSTATUS DeleteLinkKey(HKEY root, const std::wstring& path) {
    return DeleteKeyNoFollow(root, path);
}

// Deletes root\path and everything under it without ever following a link:
// a link (the key itself or any subkey) is deleted as a link, its target is
// not entered. RegDeleteTreeW, by contrast, opens subkeys by name. Stops at
// the first failure (a key refusing DELETE, say) and returns it.
LSTATUS DeleteTreeNoFollow(HKEY root, const std::wstring& path);

// The NT name of an open key (NtQueryKey KeyNameInformation), e.g.
// \REGISTRY\MACHINE\SOFTWARE\X.
LSTATUS QueryKeyName(HKEY key, std::wstring* name);

}  // namespace vornex::keysec
