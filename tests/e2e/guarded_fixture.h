#pragma once
// Entries seeded to resist a repair: IFEO subkeys whose own security refuses
// change, and IFEO subkeys that are registry links to keys outside the IFEO
// key. Shared by the window's and vornex-cli's tests.
#include <string>
#include <vector>

#include "tests/e2e/e2e_fixture.h"

namespace vornex::e2e {

// SYSTEM owns it; everyone may read, nobody may change or delete it, and the
// administrators may rewrite its DACL. Under Wine an owner may always delete
// (and rewrite the DACL), so only a foreign owner makes a deletion refused;
// the ACE for the administrators keeps it repairable (and removable after).
inline const std::wstring kLockedSddl = L"O:SYG:SYD:P(A;;KR;;;WD)(A;;WD;;;BA)";
// Denies the administrators everything and lets everyone else read: it
// redirects every standard user while an elevated program is refused. Only a
// backup-intent open reads it, and Wine honours none.
inline const std::wstring kDenyAdministratorsSddl = L"D:P(D;;KA;;;BA)(A;;KR;;;WD)";
// Read-only for everyone, still owned by us: the case met in the field.
inline const std::wstring kReadOnlySddl = L"D:P(A;;KR;;;WD)";

class GuardedE2E : public VornexE2E {
protected:
    void TearDown() override;

    // IFEO\name with Debugger = command and three values a repair must keep,
    // then the given security (a subkey `inner`, when asked, made before it).
    static void SeedReadOnly(const std::wstring& name, const std::wstring& command, const std::wstring& sddl,
                             bool withSubkey = false);
    // A key outside the IFEO key, HKLM\SOFTWARE\VornexLinkTarget-<pid>-<n>,
    // holding Debugger = command, other precious values and a subkey with a
    // value. Deleted again by TearDown. Returns its path below HKLM.
    std::wstring SeedTarget(const std::wstring& command);
    // IFEO\name as a registry link to targetPath (below HKLM).
    static void SeedLink(const std::wstring& name, const std::wstring& targetPath);

    static windriver::RegSnapshot SnapshotOf(const std::wstring& path) {
        return windriver::Snapshot(HKEY_LOCAL_MACHINE, path);
    }
    // Owner, group and DACL of IFEO\name (a link as itself).
    static std::vector<BYTE> EntrySecurity(const std::wstring& name, bool linkItself = false) {
        return windriver::GetKeySecurityBytes(HKEY_LOCAL_MACHINE, SubkeyPath(name), linkItself);
    }
    static std::wstring EntrySddl(const std::wstring& name, bool linkItself = false) {
        return windriver::GetKeySecuritySddl(HKEY_LOCAL_MACHINE, SubkeyPath(name), linkItself);
    }
    // The error of opening IFEO\name (not following a link when linkItself) with `access`.
    static LONG OpenError(const std::wstring& name, REGSAM access, bool linkItself = false);
    // "HKLM\...\Image File Execution Options\name", as vornex-cli names keys.
    static std::wstring CliKeyName(const std::wstring& name) { return L"HKLM\\" + SubkeyPath(name); }

    std::vector<std::wstring> targets_;
};

}  // namespace vornex::e2e
