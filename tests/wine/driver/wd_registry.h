#pragma once
// Seeding and checking the registry of the test prefix. `view` is 0,
// KEY_WOW64_64KEY or KEY_WOW64_32KEY; paths are below `root`, no leading "\".
#include "wd_handles.h"

#include <windows.h>

#include <string>
#include <vector>

namespace windriver {

struct RegValue {
    std::wstring name;  // "" is the default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
bool operator==(const RegValue& a, const RegValue& b);
bool operator!=(const RegValue& a, const RegValue& b);

// UTF-16LE bytes of s, with or without the terminating NUL.
std::vector<BYTE> Utf16Bytes(const std::wstring& s, bool withTerminator = true);
RegValue StringValue(const std::wstring& name, const std::wstring& s, DWORD type = REG_SZ);
RegValue DwordValue(const std::wstring& name, DWORD v);

// Creates the key and any missing parents. Throws Error.
RegKey CreateKey(HKEY root, const std::wstring& path, REGSAM view = 0);
// The error code of RegOpenKeyExW; `out` holds the key on success.
LONG TryOpenKey(HKEY root, const std::wstring& path, REGSAM access, RegKey& out);
bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0);

// Raw bytes and type, exactly as given (no terminator added). Creates the
// key when missing. Throws Error.
void SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
              const void* data, DWORD size, REGSAM view = 0);
void SetValue(HKEY root, const std::wstring& path, const RegValue& value, REGSAM view = 0);
void SetString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& s,
               REGSAM view = 0);
void SetDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD v, REGSAM view = 0);
// ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ...
LONG DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name, REGSAM view = 0);

// RegDeleteTreeW on the key itself. True if it existed. Throws Error on
// failures other than "not found". It follows link subkeys (it empties and
// deletes what they point at) and stops at a key that refuses deletion: for
// a tree that may hold either, use DeleteTreeNoFollow.
bool DeleteTree(HKEY root, const std::wstring& path, REGSAM view = 0);

// Deletes root\path and everything below it without ever following a link:
// every key is opened as itself (REG_OPTION_OPEN_LINK) and deleted with
// NtDeleteKey, so a link goes as a link and the key it points at stays. A
// key whose own security refuses the enumeration or the deletion is made
// deletable first (MakeDeletable). True if it existed. Throws Error when a
// key still cannot be deleted.
bool DeleteTreeNoFollow(HKEY root, const std::wstring& path);
// Gives root\path itself (a link key as itself, not its target) the DACL
// "D:(A;;KA;;;WD)", so that a protected fixture can be cleaned up. Needs
// WRITE_DAC, which the owner and a key granting it to the administrators
// give. Throws Error.
void MakeDeletable(HKEY root, const std::wstring& path);

// Creates root\path as a volatile registry link (REG_OPTION_CREATE_LINK)
// whose SymbolicLinkValue (REG_LINK, no terminating NUL) is ntTarget, e.g.
// "\REGISTRY\MACHINE\SOFTWARE\Target". The parent must exist. Throws Error.
void CreateLinkKey(HKEY root, const std::wstring& path, const std::wstring& ntTarget);
// Whether a key of this name exists itself, a link included (opened with
// REG_OPTION_OPEN_LINK, so a link whose target is gone still counts).
bool KeyItselfExists(HKEY root, const std::wstring& path);
// The REG_LINK SymbolicLinkValue of root\path itself; "" when it has none.
std::wstring LinkValueOf(HKEY root, const std::wstring& path);
// The "\REGISTRY\MACHINE\..." name of a path below HKEY_LOCAL_MACHINE.
std::wstring NtMachinePath(const std::wstring& path);

// The key's DACL as SDDL, and setting one (e.g. L"D:P(D;;KA;;;WD)" denies
// everyone). Wine does not save key security: it lasts while the
// wineserver runs. Throws Error.
std::wstring GetKeySddl(HKEY root, const std::wstring& path, REGSAM view = 0);
void SetKeySddl(HKEY root, const std::wstring& path, const std::wstring& sddl, REGSAM view = 0);

// Owner, group and DACL of a key, as SDDL and as the self-relative bytes
// RegGetKeySecurity gives. `linkItself`: the key named, opened with
// REG_OPTION_OPEN_LINK, not what a link points at. Throws Error.
std::wstring GetKeySecuritySddl(HKEY root, const std::wstring& path, bool linkItself = false);
std::vector<BYTE> GetKeySecurityBytes(HKEY root, const std::wstring& path, bool linkItself = false);
// Writes the parts the SDDL holds: the DACL, and the owner ("O:") and the
// group ("G:") when given, e.g. L"O:SYG:SYD:P(A;;KR;;;WD)(A;;WD;;;BA)".
// Throws Error.
void SetKeySecuritySddl(HKEY root, const std::wstring& path, const std::wstring& sddl,
                        bool linkItself = false);

struct RegKeyState {
    std::wstring path;             // relative to the snapshot's root; "" is the root
    bool readable = true;          // false: opening it for reading failed
    LONG openError = ERROR_SUCCESS;
    std::vector<RegValue> values;  // sorted by name, ignoring case
};

// A whole subtree, sorted so two snapshots compare with ==: keys in tree
// order (parents first, siblings ignoring case), values by name.
struct RegSnapshot {
    std::wstring rootName;  // for messages, e.g. "HKLM\Software\X"
    bool exists = false;
    std::vector<RegKeyState> keys;

    // Lookups ignore case, like the registry.
    const RegKeyState* FindKey(const std::wstring& path) const;
    const RegValue* FindValue(const std::wstring& keyPath, const std::wstring& name) const;

    // Edits, to derive an expected state from an earlier snapshot.
    void PutKey(const std::wstring& path);  // with its parents
    void PutValue(const std::wstring& keyPath, const RegValue& value);
    bool RemoveValue(const std::wstring& keyPath, const std::wstring& name);
    bool RemoveKey(const std::wstring& path);  // with its subkeys
};
bool operator==(const RegSnapshot& a, const RegSnapshot& b);
bool operator!=(const RegSnapshot& a, const RegSnapshot& b);

// Throws Error if the root key exists but cannot be read.
RegSnapshot Snapshot(HKEY root, const std::wstring& path, REGSAM view = 0);

// One line per difference, "" when equal. For failure messages.
std::wstring Diff(const RegSnapshot& expected, const RegSnapshot& actual);
std::wstring Dump(const RegSnapshot& snapshot);
std::wstring TypeName(DWORD type);
// e.g. REG_SZ "a\0b" (8 bytes), REG_SZ "abc" (6 bytes, no terminator).
std::wstring FormatValue(const RegValue& value);

}  // namespace windriver
