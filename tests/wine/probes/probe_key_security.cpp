// Keys whose security lets everyone read but nobody change: scanned with
// KEY_READ, repaired after a takeover of that one key's security, and the
// original descriptor put back byte for byte. Runs against the real registry
// under HKLM\SOFTWARE\VornexProbe\Security-<pid> (volatile keys).
#include "probe_common.h"

#include "core/key_takeover.h"
#include "win32/wide_text.h"

using namespace probe;
using vornex::keysec::DeleteKeyNoFollow;
using probe::KeySecurityTakeover;
using vornex::keysec::ScopedPrivilege;

namespace {

const HKEY kRoot = HKEY_LOCAL_MACHINE;
const std::wstring kBase = RunBase(L"Security");
const std::wstring kParent = kBase + L"\\Image File Execution Options";
const std::wstring kDebugger = L"C:\\Users\\Public\\svch0st.exe /quiet";
const std::vector<BYTE> kKeptBytes = {0x01, 0x00, 0xFE, 0x7F};
constexpr SECURITY_INFORMATION kOgd =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

struct Fixture {
    const wchar_t* name;
    const wchar_t* sddl;
    SECURITY_INFORMATION parts;  // what the SDDL sets
    bool foreignOwner;           // owned by SYSTEM, no ACE for us: only a privilege gets us in
};

// Everyone may read; nobody may change. Variants: the default owner (ours);
// an OWNER RIGHTS ACE that takes the owner's implicit rights away; an
// inheritable DACL with a deny ACE; owner SYSTEM with an ACE granting us
// WRITE_DAC only, or WRITE_OWNER only (the ownership path, with an audit SACL
// that must survive it); owner SYSTEM and nothing for us, with and without a SACL.
const Fixture kLocked[] = {
    {L"readonly.exe", L"D:P(A;;KR;;;WD)", DACL_SECURITY_INFORMATION, false},
    {L"ownerrights.exe", L"D:P(A;;KR;;;WD)(A;;KR;;;OW)", DACL_SECURITY_INFORMATION, false},
    {L"denywrite.exe", L"D:AI(D;;KW;;;WD)(A;;KR;;;WD)", DACL_SECURITY_INFORMATION, false},
    {L"grantswritedac.exe", L"O:SYG:SYD:P(A;;KR;;;WD)(A;;WD;;;BA)", kOgd, false},
    {L"grantswriteowner.exe", L"O:SYG:SYD:P(A;;KR;;;WD)(A;;WO;;;BA)S:(AU;SAFA;KA;;;WD)",
     kOgd | SACL_SECURITY_INFORMATION, false},
    {L"systemowned.exe", L"O:SYG:SYD:P(A;;KR;;;WD)", kOgd, true},
    {L"audited.exe", L"O:SYG:SYD:P(A;;KR;;;WD)S:(AU;SAFA;KA;;;WD)", kOgd | SACL_SECURITY_INFORMATION, true},
};

std::wstring PathOf(const std::wstring& name) { return kParent + L"\\" + name; }

bool Seed(const std::wstring& name, const wchar_t* sddl, SECURITY_INFORMATION parts) {
    UniqueKey key;
    LSTATUS status = CreateKey(kRoot, PathOf(name), &key);
    if (status == ERROR_SUCCESS) status = SetString(key.get(), L"Debugger", kDebugger);
    if (status == ERROR_SUCCESS) status = SetBinary(key.get(), L"Kept", kKeptBytes);
    key.reset();
    if (status == ERROR_SUCCESS && sddl) status = ApplySddl(kRoot, PathOf(name), sddl, parts);
    Check(L"seed " + name + (sddl ? std::wstring(L" with ") + sddl : L""), status == ERROR_SUCCESS,
          L"status " + Num(status));
    return status == ERROR_SUCCESS;
}

void PrintLog(const KeySecurityTakeover& takeover) {
    for (const auto& line : takeover.Log()) Print(L"      | " + line);
}

void ReportToken() {
    for (const wchar_t* name : {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME, SE_BACKUP_NAME, SE_SECURITY_NAME}) {
        ScopedPrivilege privilege(name);
        const DWORD error = GetLastError();
        Print(std::wstring(L"info: ") + name +
              (privilege.Held() ? L" held" : L" NOT held (error " + Num(error) + L")"));
    }
}

// Whether this platform lets SeTakeOwnershipPrivilege open a SYSTEM-owned
// read-only key for WRITE_OWNER (Windows: yes). Measured, not assumed.
bool TakeOwnershipHonoured() {
    const std::wstring path = PathOf(L"systemowned.exe");
    Print(L"info: systemowned.exe WRITE_DAC without privileges: status " + Num(OpenStatus(kRoot, path, WRITE_DAC)));
    Print(L"info: systemowned.exe WRITE_OWNER without privileges: status " + Num(OpenStatus(kRoot, path, WRITE_OWNER)));
    ScopedPrivilege take(SE_TAKE_OWNERSHIP_NAME);
    const LSTATUS status = OpenStatus(kRoot, path, WRITE_OWNER);
    Print(L"info: systemowned.exe WRITE_OWNER under SeTakeOwnershipPrivilege: status " + Num(status));
    return take.Held() && status == ERROR_SUCCESS;
}

// What the key's owner gets without any ACE granting it (Windows: READ_CONTROL
// and WRITE_DAC only).
void ReportOwnerImplicitRights() {
    const std::wstring path = PathOf(L"readonly.exe");
    std::vector<BYTE> sd;
    RawSecurity(kRoot, path, false, &sd);
    Print(L"info: readonly.exe as seeded: " + Sddl(sd, false));
    for (REGSAM access : {static_cast<REGSAM>(READ_CONTROL), static_cast<REGSAM>(WRITE_DAC),
                          static_cast<REGSAM>(WRITE_OWNER), static_cast<REGSAM>(DELETE),
                          static_cast<REGSAM>(KEY_SET_VALUE)}) {
        Print(L"info: readonly.exe (ours) open " + HexNum(access) + L": status " + Num(OpenStatus(kRoot, path, access)));
    }
}

// Backup/restore-intent opens: well-formed (a readable key opens), and what
// they grant on locked keys here (Windows documents DELETE and KEY_WRITE).
void CheckBackupIntent() {
    using vornex::LinkMode;
    using vornex::keysec::OpenKeyBackupIntent;
    UniqueKey key;
    const LSTATUS plain = OpenKeyBackupIntent(kRoot, PathOf(L"plain.exe"), KEY_QUERY_VALUE, LinkMode::kFollow, vornex::keysec::BackupIntent::kWrite, &key);
    Check(L"backup-intent open of a readable key succeeds", plain == ERROR_SUCCESS, L"status " + Num(plain));
    const LSTATUS missing = OpenKeyBackupIntent(kRoot, PathOf(L"missing.exe"), KEY_QUERY_VALUE, LinkMode::kFollow, vornex::keysec::BackupIntent::kWrite, &key);
    Check(L"backup-intent open of a missing key: not found, and nothing created",
          missing == ERROR_FILE_NOT_FOUND && OpenStatus(kRoot, PathOf(L"missing.exe"), KEY_READ) == ERROR_FILE_NOT_FOUND,
          L"status " + Num(missing));
    for (const wchar_t* name : {L"readonly.exe", L"systemowned.exe"}) {
        for (REGSAM access : {static_cast<REGSAM>(KEY_SET_VALUE), static_cast<REGSAM>(DELETE),
                              static_cast<REGSAM>(WRITE_DAC)}) {
            UniqueKey locked;
            Print(L"info: backup-intent open " + HexNum(access) + L" of " + name + L": status " +
                  Num(OpenKeyBackupIntent(kRoot, PathOf(name), access, LinkMode::kFollow, vornex::keysec::BackupIntent::kWrite, &locked)));
        }
    }
}

// The scan's view: a KEY_READ open reads the Debugger value; today's
// KEY_ALL_ACCESS open is refused.
void CheckScan(const Fixture& f) {
    const std::wstring path = PathOf(f.name);
    const std::wstring label = std::wstring(f.name) + L": ";
    const LSTATUS all = OpenStatus(kRoot, path, KEY_ALL_ACCESS);
    Check(label + L"KEY_ALL_ACCESS open refused", all == ERROR_ACCESS_DENIED, L"status " + Num(all));
    LSTATUS status = ERROR_SUCCESS;
    const auto values = Values(kRoot, path, &status);
    const bool found = std::any_of(values.begin(), values.end(), [](const Value& v) {
        return v.name == L"Debugger" && v.type == REG_SZ &&
               std::wstring(reinterpret_cast<const wchar_t*>(v.data.data())) == kDebugger;
    });
    Check(label + L"KEY_READ open reads its Debugger value", status == ERROR_SUCCESS && found, L"status " + Num(status));
    Check(label + L"listed by KEY_READ enumeration of the parent", Contains(SubkeyNames(kRoot, kParent), f.name));
}

struct Snapshot {
    std::vector<BYTE> key, parent, sibling;
    std::vector<Value> values;
};

Snapshot Take(const std::wstring& path, bool sacl) {
    Snapshot s;
    LSTATUS status = ERROR_SUCCESS;
    RawSecurity(kRoot, path, sacl, &s.key);
    RawSecurity(kRoot, kParent, false, &s.parent);
    RawSecurity(kRoot, PathOf(L"plain.exe"), false, &s.sibling);
    s.values = Values(kRoot, path, &status);
    return s;
}

// Repair 1: remove the Debugger value; the key stays, with its exact security.
// Where the takeover is refused (a foreign owner on a platform that honours no
// privilege), it must leave everything as it was.
void CheckValueRemoval(const Fixture& f, bool explicitRestore, bool foreignOwnerTakeover) {
    const std::wstring path = PathOf(f.name);
    const std::wstring label = std::wstring(f.name) + L": ";
    const bool sacl = (f.parts & SACL_SECURITY_INFORMATION) != 0;
    const bool expectTakeover = !f.foreignOwner || foreignOwnerTakeover;
    const LSTATUS before = OpenStatus(kRoot, path, KEY_SET_VALUE);
    Check(label + L"KEY_SET_VALUE open refused before the takeover", before == ERROR_ACCESS_DENIED,
          L"status " + Num(before));

    const Snapshot was = Take(path, sacl);
    Check(label + L"descriptor readable before", !was.key.empty());
    Print(L"      before: " + Sddl(was.key, sacl));

    LSTATUS deleteStatus = ERROR_GEN_FAILURE;
    std::vector<BYTE> during;
    bool active = false;
    {
        KeySecurityTakeover takeover(path);
        active = takeover.Active();
        RawSecurity(kRoot, path, sacl, &during);
        Print(L"      during: " + Sddl(during, sacl));
        if (active) {
            UniqueKey key;
            const LSTATUS open = Open(kRoot, path, KEY_SET_VALUE, &key);
            Check(label + L"KEY_SET_VALUE open granted during the takeover", open == ERROR_SUCCESS,
                  L"status " + Num(open));
            if (open == ERROR_SUCCESS) deleteStatus = RegDeleteValueW(key.get(), L"Debugger");
            key.reset();
            if (explicitRestore) {
                const LSTATUS restored = takeover.Restore();
                Check(label + L"Restore() reports the descriptor back exactly", restored == ERROR_SUCCESS,
                      L"status " + Num(restored));
            }
        } else {
            Check(label + L"takeover refused with a status", takeover.Status() != ERROR_SUCCESS,
                  L"status " + Num(takeover.Status()));
            Check(label + L"nothing changed by the refused takeover", during == was.key);
        }
        PrintLog(takeover);
    }  // without an explicit Restore(), the destructor restores here

    const Snapshot is = Take(path, sacl);
    Print(L"      after:  " + Sddl(is.key, sacl));
    if (expectTakeover) {
        Check(label + L"takeover active", active);
        Check(label + L"Debugger value deleted", deleteStatus == ERROR_SUCCESS, L"status " + Num(deleteStatus));
        Check(label + L"descriptor changed during the takeover", !during.empty() && during != was.key);
    } else {
        Print(L"info: " + std::wstring(f.name) + L" not taken over: this platform refused WRITE_OWNER "
                                                 L"under SeTakeOwnershipPrivilege");
        Check(label + L"takeover not active where the platform refuses it", !active);
    }
    Check(label + L"descriptor after == before, byte for byte (" + Num(was.key.size()) + L" bytes)" +
              (explicitRestore ? L"" : L", restored by the destructor"),
          !was.key.empty() && is.key == was.key);
    Check(label + L"SDDL after == before", Sddl(is.key, sacl) == Sddl(was.key, sacl));
    Check(label + L"parent's descriptor unchanged", !was.parent.empty() && is.parent == was.parent);
    Check(label + L"sibling's descriptor unchanged", !was.sibling.empty() && is.sibling == was.sibling);

    auto expected = was.values;
    if (active) {
        expected.erase(std::remove_if(expected.begin(), expected.end(),
                                      [](const Value& v) { return v.name == L"Debugger"; }),
                       expected.end());
    }
    Check(label + (active ? L"Debugger gone, other values unchanged byte for byte"
                          : L"values unchanged byte for byte"),
          is.values == expected && !expected.empty(), Num(is.values.size()) + L" values left");
    const LSTATUS again = OpenStatus(kRoot, path, KEY_SET_VALUE);
    Check(label + L"KEY_SET_VALUE refused again afterwards", again == ERROR_ACCESS_DENIED, L"status " + Num(again));
}

// Repair 2: delete the whole subkey; nothing to restore.
void CheckKeyDeletion(const std::wstring& name, bool foreignOwner, bool foreignOwnerTakeover) {
    const std::wstring path = PathOf(name);
    const std::wstring label = name + L": ";
    const Snapshot was = Take(path, false);
    // Windows refuses DELETE here; Wine grants the owner DELETE implicitly.
    const LSTATUS plain = OpenStatus(kRoot, path, DELETE);
    Print(L"info: " + name + L" open DELETE without a takeover: status " + Num(plain));
    if (plain == ERROR_SUCCESS) {
        Print(L"info: " + name + L" is deletable as it is here; the takeover is not needed for it");
        return;
    }
    LSTATUS deleted = ERROR_GEN_FAILURE;
    {
        KeySecurityTakeover takeover(path);
        if (takeover.Active()) {
            deleted = DeleteKeyNoFollow(kRoot, path);
            if (deleted == ERROR_SUCCESS) takeover.KeyDeleted();
        }
        PrintLog(takeover);
    }
    const LSTATUS gone = OpenStatus(kRoot, path, MAXIMUM_ALLOWED);
    const Snapshot is = Take(path, false);
    if (!foreignOwner || foreignOwnerTakeover) {
        Check(label + L"whole key deleted during the takeover", deleted == ERROR_SUCCESS, L"status " + Num(deleted));
        Check(label + L"key gone", gone == ERROR_FILE_NOT_FOUND, L"status " + Num(gone));
    } else {
        Check(label + L"left exactly as it was where the platform refuses the takeover",
              gone == ERROR_SUCCESS && is.key == was.key && is.values == was.values);
    }
    Check(label + L"parent's descriptor unchanged", !was.parent.empty() && is.parent == was.parent);
    Check(label + L"sibling's descriptor unchanged", !was.sibling.empty() && is.sibling == was.sibling);
}

// The program's takeover: a change that is refused runs again under a
// takeover; one that is allowed runs once and nothing else happens.
void CheckHelper() {
    using vornex::ChangeWithTakeover;
    using vornex::KeyAfterChange;
    using vornex::LinkMode;
    using vornex::win32::FromWide;
    vornex::Win32Registry registry;
    auto deleteValue = [](const std::wstring& path) {
        return [path] {
            UniqueKey key;
            LSTATUS status = Open(kRoot, path, KEY_SET_VALUE, &key);
            if (status == ERROR_SUCCESS) status = RegDeleteValueW(key.get(), L"Debugger");
            return status;
        };
    };
    for (const wchar_t* name : {L"helpervalue.exe", L"plain.exe"}) {
        const std::wstring path = PathOf(name);
        const std::wstring label = std::wstring(name) + L": helper, value removal: ";
        const bool locked = std::wstring(name) != L"plain.exe";
        const Snapshot was = Take(path, false);
        const auto result = ChangeWithTakeover(registry, FromWide(path), {}, deleteValue(path));
        const Snapshot is = Take(path, false);
        Check(label + L"change succeeded", result.change == ERROR_SUCCESS, L"status " + Num(result.change));
        Check(label + (locked ? L"took over" : L"no takeover needed"), result.tookOver == locked);
        Check(label + L"restore reported exact", result.restore == ERROR_SUCCESS, L"status " + Num(result.restore));
        Check(label + L"descriptor after == before, byte for byte", !was.key.empty() && is.key == was.key);
        Check(label + L"only Debugger gone",
              is.values.size() + 1 == was.values.size() &&
                  std::none_of(is.values.begin(), is.values.end(), [](const Value& v) { return v.name == L"Debugger"; }));
    }
    const std::wstring path = PathOf(L"helperdelete.exe");
    const Snapshot was = Take(path, false);
    const auto result = ChangeWithTakeover(registry, FromWide(path), {LinkMode::kFollow, KeyAfterChange::kGone},
                                           [&path] { return DeleteKeyNoFollow(kRoot, path); });
    Check(L"helperdelete.exe: helper, key deletion: deleted after a takeover",
          result.change == ERROR_SUCCESS && result.tookOver &&
              OpenStatus(kRoot, path, MAXIMUM_ALLOWED) == ERROR_FILE_NOT_FOUND,
          L"status " + Num(result.change));
    const Snapshot is = Take(path, false);
    Check(L"helperdelete.exe: parent's and sibling's descriptors unchanged",
          !was.parent.empty() && is.parent == was.parent && is.sibling == was.sibling);
}

// A key that denies reading to everyone is left exactly as it is.
void CheckUnreadable() {
    const std::wstring name = L"unreadable.exe";
    const std::wstring path = PathOf(name);
    std::vector<BYTE> before, after;
    const LSTATUS beforeStatus = RawSecurity(kRoot, path, false, &before);
    const LSTATUS read = OpenStatus(kRoot, path, KEY_READ);
    Check(name + L": KEY_READ open refused (the scan cannot list it)", read == ERROR_ACCESS_DENIED, L"status " + Num(read));
    const LSTATUS afterStatus = RawSecurity(kRoot, path, false, &after);
    Print(L"info: " + name + L" descriptor read by its owner: status " + Num(beforeStatus) + L", " + Sddl(before, false));
    Check(name + L": descriptor untouched by the scan", beforeStatus == afterStatus && before == after);
}

// Removes what can be removed; foreign-owned keys may stay where the
// platform refuses their takeover (volatile: gone with the wineserver).
int RemoveTree(bool foreignOwnerTakeover) {
    int left = 0;
    for (const auto& name : SubkeyNames(kRoot, kParent)) {
        {
            KeySecurityTakeover takeover(PathOf(name));
            if (DeleteKeyNoFollow(kRoot, PathOf(name)) == ERROR_SUCCESS) takeover.KeyDeleted();
        }
        if (OpenStatus(kRoot, PathOf(name), MAXIMUM_ALLOWED) != ERROR_FILE_NOT_FOUND) {
            ++left;
            Print(L"info: left behind (volatile): " + name);
        }
    }
    if (left == 0) {
        RegDeleteKeyExW(kRoot, kParent.c_str(), kNativeView, 0);
        RegDeleteKeyExW(kRoot, kBase.c_str(), kNativeView, 0);
        const LSTATUS cleaned = OpenStatus(kRoot, kBase, KEY_READ);
        Check(L"probe tree removed", cleaned == ERROR_FILE_NOT_FOUND, L"status " + Num(cleaned));
    } else {
        Check(L"only foreign-owned keys left, where the platform refuses their takeover", !foreignOwnerTakeover);
    }
    return left;
}

}  // namespace

int wmain() {
    Print(L"base: HKLM\\" + kBase);
    ReportToken();

    bool seeded = Seed(L"plain.exe", nullptr, 0);
    for (const auto& f : kLocked) seeded = Seed(f.name, f.sddl, f.parts) && seeded;
    seeded = Seed(L"deleteown.exe", L"D:P(A;;KR;;;WD)", DACL_SECURITY_INFORMATION) && seeded;
    seeded = Seed(L"deletewritedac.exe", L"O:SYG:SYD:P(A;;KR;;;WD)(A;;WD;;;BA)", kOgd) && seeded;
    seeded = Seed(L"deletewriteowner.exe", L"O:SYG:SYD:P(A;;KR;;;WD)(A;;WO;;;BA)", kOgd) && seeded;
    seeded = Seed(L"helpervalue.exe", L"O:SYG:SYD:P(A;;KR;;;WD)(A;;WD;;;BA)", kOgd) && seeded;
    seeded = Seed(L"helperdelete.exe", L"O:SYG:SYD:P(A;;KR;;;WD)(A;;WD;;;BA)", kOgd) && seeded;
    seeded = Seed(L"deletesystem.exe", L"O:SYG:SYD:P(A;;KR;;;WD)", kOgd) && seeded;
    seeded = Seed(L"unreadable.exe", L"D:P(D;;KA;;;WD)", DACL_SECURITY_INFORMATION) && seeded;
    const bool foreignOwnerTakeover = TakeOwnershipHonoured();
    Print(std::wstring(L"info: SeTakeOwnershipPrivilege honoured for WRITE_OWNER: ") +
          (foreignOwnerTakeover ? L"yes" : L"NO"));
    ReportOwnerImplicitRights();

    if (seeded) {
        CheckBackupIntent();
        for (const auto& f : kLocked) CheckScan(f);
        bool explicitRestore = true;
        for (const auto& f : kLocked) {
            CheckValueRemoval(f, explicitRestore, foreignOwnerTakeover);
            explicitRestore = !explicitRestore;  // every other one through the destructor
        }
        CheckKeyDeletion(L"deleteown.exe", false, foreignOwnerTakeover);
        CheckKeyDeletion(L"deletewritedac.exe", false, foreignOwnerTakeover);
        CheckKeyDeletion(L"deletewriteowner.exe", false, foreignOwnerTakeover);
        CheckKeyDeletion(L"deletesystem.exe", true, foreignOwnerTakeover);
        CheckHelper();
        CheckUnreadable();
    }

    RemoveTree(foreignOwnerTakeover);
    Print(Num(Failures()) + L" failed");
    return Failures() == 0 ? 0 : 1;
}
