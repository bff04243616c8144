// IFEO subkeys that are registry symbolic links: detected, their target read,
// and the link itself deleted while the target stays byte for byte. Also shows
// the danger of deleting one by name. Runs against the real registry under
// HKLM\SOFTWARE\VornexProbe\Links-<pid> (volatile keys).
#include "probe_common.h"

using namespace probe;
using vornex::keysec::DeleteKeyNoFollow;
using probe::KeySecurityTakeover;
using vornex::keysec::LinkInfo;
using vornex::LinkMode;
using vornex::keysec::QueryLinkInfo;
using probe::ReadLinkTarget;

namespace {

const HKEY kRoot = HKEY_LOCAL_MACHINE;
const std::wstring kBase = RunBase(L"Links");
const std::wstring kParent = kBase + L"\\Image File Execution Options";
const std::wstring kNtBase = L"\\REGISTRY\\MACHINE\\" + kBase;
const std::wstring kTargetDebugger = L"C:\\ProgramData\\x\\payload.exe";
const std::vector<BYTE> kTargetData = {0xDE, 0xAD, 0x00, 0xBE, 0xEF};

std::wstring PathOf(const std::wstring& name) { return kParent + L"\\" + name; }

bool SeedTarget(const std::wstring& name) {
    UniqueKey key;
    LSTATUS status = CreateKey(kRoot, kBase + L"\\" + name, &key);
    if (status == ERROR_SUCCESS) status = SetString(key.get(), L"Debugger", kTargetDebugger);
    if (status == ERROR_SUCCESS) status = SetBinary(key.get(), L"Data", kTargetData);
    Check(L"seed target " + name, status == ERROR_SUCCESS, L"status " + Num(status));
    return status == ERROR_SUCCESS;
}

// A link key: REG_OPTION_CREATE_LINK, then SymbolicLinkValue as REG_LINK
// holding the absolute NT path, stored without a terminating NUL.
bool SeedLink(const std::wstring& name, const std::wstring& ntTarget) {
    UniqueKey link;
    LSTATUS status = CreateKey(kRoot, PathOf(name), &link, REG_OPTION_CREATE_LINK);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK,
                                reinterpret_cast<const BYTE*>(ntTarget.data()),
                                static_cast<DWORD>(ntTarget.size() * sizeof(wchar_t)));
    }
    Check(L"seed link " + name + L" -> " + ntTarget, status == ERROR_SUCCESS, L"status " + Num(status));
    return status == ERROR_SUCCESS;
}

struct TargetState {
    LSTATUS open = ERROR_SUCCESS;
    std::vector<Value> values;
    std::vector<BYTE> security;
};

TargetState StateOf(const std::wstring& path) {
    TargetState s;
    s.values = Values(kRoot, path, &s.open);
    RawSecurity(kRoot, path, false, &s.security);
    return s;
}

bool SameState(const TargetState& a, const TargetState& b) {
    return a.open == ERROR_SUCCESS && b.open == ERROR_SUCCESS && a.values == b.values && a.security == b.security;
}

LSTATUS OpenLinkStatus(const std::wstring& name) {
    return OpenStatus(kRoot, PathOf(name), KEY_QUERY_VALUE, REG_OPTION_OPEN_LINK);
}

void ReportInfo(const std::wstring& name, const LinkInfo& info) {
    Print(L"info: " + name + L": isLink=" + (info.isLink ? L"yes" : L"no") + L" own=" + info.ownName +
          L" reached=" + info.resolvedName + L" value=" + info.target);
}

void CheckDetection() {
    const std::wstring target = kNtBase + L"\\Target";
    // The scan follows the link: it reads the target's Debugger value under the link's name.
    LSTATUS status = ERROR_SUCCESS;
    const auto viaLink = Values(kRoot, PathOf(L"linked.exe"), &status);
    const auto direct = Values(kRoot, kBase + L"\\Target", &status);
    Check(L"a plain KEY_READ open of linked.exe reads the target's values", !direct.empty() && viaLink == direct);
    Check(L"linked.exe is listed by enumeration of the parent", Contains(SubkeyNames(kRoot, kParent), L"linked.exe"));

    LinkInfo info;
    status = QueryLinkInfo(kRoot, PathOf(L"linked.exe"), &info);
    ReportInfo(L"linked.exe", info);
    Check(L"linked.exe detected as a link", status == ERROR_SUCCESS && info.isLink, L"status " + Num(status));
    Check(L"linked.exe: own name is the link's path", EqualNames(info.ownName, kNtBase + L"\\Image File Execution Options\\linked.exe"),
          info.ownName);
    Check(L"linked.exe: reached name is the target's", EqualNames(info.resolvedName, target), info.resolvedName);
    std::wstring read;
    status = ReadLinkTarget(kRoot, PathOf(L"linked.exe"), &read);
    Check(L"ReadLinkTarget(linked.exe) == the SymbolicLinkValue written", status == ERROR_SUCCESS && read == target,
          L"status " + Num(status) + L", " + read);

    status = QueryLinkInfo(kRoot, PathOf(L"normal.exe"), &info);
    ReportInfo(L"normal.exe", info);
    Check(L"normal.exe not a link", status == ERROR_SUCCESS && !info.isLink, L"status " + Num(status));
    status = ReadLinkTarget(kRoot, PathOf(L"normal.exe"), &read);
    Check(L"ReadLinkTarget(normal.exe) fails", status != ERROR_SUCCESS, L"status " + Num(status));

    status = QueryLinkInfo(kRoot, PathOf(L"fakevalue.exe"), &info);
    ReportInfo(L"fakevalue.exe", info);
    Check(L"fakevalue.exe (ordinary key holding a REG_LINK SymbolicLinkValue) not a link",
          status == ERROR_SUCCESS && !info.isLink, L"status " + Num(status));

    status = QueryLinkInfo(kRoot, kBase + L"\\Target", &info);
    Check(L"the target itself not a link", status == ERROR_SUCCESS && !info.isLink, L"status " + Num(status));

    status = QueryLinkInfo(kRoot, PathOf(L"dangling.exe"), &info);
    ReportInfo(L"dangling.exe", info);
    Check(L"dangling.exe (target missing) detected as a link", status == ERROR_SUCCESS && info.isLink,
          L"status " + Num(status) + L", reached " + info.resolvedName);
    Check(L"dangling.exe: a plain open fails", OpenStatus(kRoot, PathOf(L"dangling.exe"), KEY_READ) != ERROR_SUCCESS);

    status = QueryLinkInfo(kRoot, PathOf(L"chain.exe"), &info);
    ReportInfo(L"chain.exe", info);
    Check(L"chain.exe (link to linked.exe) detected as a link", status == ERROR_SUCCESS && info.isLink,
          L"status " + Num(status));

    status = QueryLinkInfo(kRoot, PathOf(L"missing.exe"), &info);
    Check(L"QueryLinkInfo on a missing key: ERROR_FILE_NOT_FOUND", status == ERROR_FILE_NOT_FOUND, L"status " + Num(status));
    Check(L"IsLinkKey agrees: linked.exe yes, normal.exe no",
          probe::IsLinkKey(kRoot, PathOf(L"linked.exe")) && !probe::IsLinkKey(kRoot, PathOf(L"normal.exe")));
}

void CheckDeleteLink() {
    const TargetState before = StateOf(kBase + L"\\Target");
    const LSTATUS status = DeleteKeyNoFollow(kRoot, PathOf(L"linked.exe"));
    Check(L"DeleteKeyNoFollow(linked.exe) succeeds", status == ERROR_SUCCESS, L"status " + Num(status));
    Check(L"linked.exe gone (REG_OPTION_OPEN_LINK open: not found)", OpenLinkStatus(L"linked.exe") == ERROR_FILE_NOT_FOUND);
    Check(L"linked.exe no longer listed", !Contains(SubkeyNames(kRoot, kParent), L"linked.exe"));
    const TargetState after = StateOf(kBase + L"\\Target");
    Check(L"target's values and descriptor unchanged byte for byte", SameState(before, after),
          Num(after.values.size()) + L" values");
    Check(L"chain.exe (pointing at the deleted link) now dangling", probe::IsLinkKey(kRoot, PathOf(L"chain.exe")) &&
          OpenStatus(kRoot, PathOf(L"chain.exe"), KEY_READ) != ERROR_SUCCESS);

    const LSTATUS dangling = DeleteKeyNoFollow(kRoot, PathOf(L"dangling.exe"));
    Check(L"DeleteKeyNoFollow(dangling.exe) succeeds and it is gone",
          dangling == ERROR_SUCCESS && OpenLinkStatus(L"dangling.exe") == ERROR_FILE_NOT_FOUND, L"status " + Num(dangling));
    const LSTATUS chain = DeleteKeyNoFollow(kRoot, PathOf(L"chain.exe"));
    Check(L"DeleteKeyNoFollow(chain.exe) succeeds", chain == ERROR_SUCCESS, L"status " + Num(chain));

    // The same call on an ordinary key deletes that key (it never follows).
    const LSTATUS normal = DeleteKeyNoFollow(kRoot, PathOf(L"normal.exe"));
    Check(L"DeleteKeyNoFollow(normal.exe) deletes the ordinary key itself",
          normal == ERROR_SUCCESS && OpenStatus(kRoot, PathOf(L"normal.exe"), KEY_READ) == ERROR_FILE_NOT_FOUND,
          L"status " + Num(normal));
}

// What the plain calls do to a link: they act on the target.
void ShowDanger() {
    const std::wstring targetPath = kBase + L"\\Victim";
    if (!SeedTarget(L"Victim") || !SeedLink(L"danger.exe", kNtBase + L"\\Victim")) return;
    LSTATUS status = ERROR_SUCCESS;
    {
        UniqueKey viaLink;
        status = Open(kRoot, PathOf(L"danger.exe"), KEY_SET_VALUE, &viaLink);
        if (status == ERROR_SUCCESS) status = RegDeleteValueW(viaLink.get(), L"Debugger");
    }
    LSTATUS open = ERROR_SUCCESS;
    const auto victimValues = Values(kRoot, targetPath, &open);
    const bool targetLostValue = open == ERROR_SUCCESS && victimValues.size() == 1 && victimValues[0].name == L"Data";
    Check(L"danger: RegDeleteValueW(Debugger) through a plain open of the link removes the TARGET's value",
          status == ERROR_SUCCESS && targetLostValue, L"status " + Num(status));
    std::wstring target;
    Check(L"danger: ... and leaves the link in place", ReadLinkTarget(kRoot, PathOf(L"danger.exe"), &target) == ERROR_SUCCESS);

    status = RegDeleteKeyExW(kRoot, PathOf(L"danger.exe").c_str(), kNativeView, 0);
    const LSTATUS targetNow = OpenStatus(kRoot, targetPath, KEY_READ);
    const LSTATUS linkNow = OpenLinkStatus(L"danger.exe");
    Print(L"info: RegDeleteKeyExW(danger.exe): status " + Num(status) + L"; target open: " + Num(targetNow) +
          L"; link open (REG_OPTION_OPEN_LINK): " + Num(linkNow));
    Check(L"danger: RegDeleteKeyExW on the link's name deletes the TARGET", status == ERROR_SUCCESS && targetNow == ERROR_FILE_NOT_FOUND);
    Check(L"danger: ... and leaves the link in place", linkNow == ERROR_SUCCESS);
    const LSTATUS cleanup = DeleteKeyNoFollow(kRoot, PathOf(L"danger.exe"));
    Check(L"DeleteLinkKey removes the now dangling link", cleanup == ERROR_SUCCESS && OpenLinkStatus(L"danger.exe") == ERROR_FILE_NOT_FOUND,
          L"status " + Num(cleanup));
}

// A link whose own security refuses DELETE: the takeover works on the link
// key itself (LinkMode::kLinkItself), never on its target.
void CheckLockedLink() {
    const std::wstring name = L"lockedlink.exe";
    const std::wstring targetPath = kBase + L"\\Target";
    if (!SeedLink(name, kNtBase + L"\\Target")) return;
    // Owner SYSTEM, and an ACE granting us WRITE_DAC only: DELETE is refused
    // on Windows and Wine alike (Wine grants an owner DELETE implicitly).
    const LSTATUS applied = ApplySddl(kRoot, PathOf(name), L"O:SYG:SYD:P(A;;KR;;;WD)(A;;WD;;;BA)",
                                     OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                     REG_OPTION_OPEN_LINK);
    Check(L"lock the link key itself", applied == ERROR_SUCCESS, L"status " + Num(applied));
    std::vector<BYTE> linkSecurity;
    RawSecurity(kRoot, PathOf(name), false, &linkSecurity, REG_OPTION_OPEN_LINK);
    Print(L"info: " + name + L" own descriptor: " + Sddl(linkSecurity, false));
    const TargetState before = StateOf(targetPath);
    Print(L"info: target descriptor: " + Sddl(before.security, false));
    Check(L"the link's own descriptor differs from its target's", !linkSecurity.empty() && linkSecurity != before.security);

    const LSTATUS refused = DeleteKeyNoFollow(kRoot, PathOf(name));
    Check(name + L": DeleteLinkKey refused by the link's own security", refused == ERROR_ACCESS_DENIED, L"status " + Num(refused));
    {
        KeySecurityTakeover takeover(PathOf(name), LinkMode::kLinkItself);
        Check(name + L": takeover of the link key active", takeover.Active(), L"status " + Num(takeover.Status()));
        const TargetState during = StateOf(targetPath);
        Check(name + L": target untouched by the takeover", SameState(before, during));
        const LSTATUS deleted = DeleteKeyNoFollow(kRoot, PathOf(name));
        Check(name + L": DeleteLinkKey succeeds during the takeover", deleted == ERROR_SUCCESS, L"status " + Num(deleted));
        if (deleted == ERROR_SUCCESS) takeover.KeyDeleted();
        for (const auto& line : takeover.Log()) Print(L"      | " + line);
    }
    Check(name + L": gone", OpenLinkStatus(name) == ERROR_FILE_NOT_FOUND);
    Check(name + L": target's values and descriptor unchanged byte for byte", SameState(before, StateOf(targetPath)));
}

// An IFEO subkey with subkeys of its own, one of them a link: deleting the
// whole entry must not reach into the link's target.
bool SeedTree(const std::wstring& name, const std::wstring& target) {
    bool ok = SeedTarget(target);
    UniqueKey child;
    LSTATUS status = CreateKey(kRoot, kBase + L"\\" + target + L"\\Child", &child);
    if (status == ERROR_SUCCESS) status = SetString(child.get(), L"Kept", L"target's own subkey");
    child.reset();
    UniqueKey entry;
    if (status == ERROR_SUCCESS) status = CreateKey(kRoot, PathOf(name), &entry);
    if (status == ERROR_SUCCESS) status = SetString(entry.get(), L"Debugger", L"C:\\x\\tree.exe");
    UniqueKey plain;
    if (status == ERROR_SUCCESS) status = CreateKey(kRoot, PathOf(name) + L"\\Plain\\Deeper", &plain);
    Check(L"seed " + name + L" with Plain\\Deeper", status == ERROR_SUCCESS, L"status " + Num(status));
    return ok && status == ERROR_SUCCESS && SeedLink(name + L"\\Linked", kNtBase + L"\\" + target);
}

struct TreeState {
    TargetState top;
    LSTATUS childOpen = ERROR_SUCCESS;
    std::vector<Value> child;
};

TreeState TreeOf(const std::wstring& target) {
    TreeState s;
    s.top = StateOf(kBase + L"\\" + target);
    s.child = Values(kRoot, kBase + L"\\" + target + L"\\Child", &s.childOpen);
    return s;
}

void CheckTrees() {
    if (!SeedTree(L"treedanger.exe", L"TreeVictim") || !SeedTree(L"tree.exe", L"TreeTarget")) return;

    const TreeState victimBefore = TreeOf(L"TreeVictim");
    const LSTATUS plain = RegDeleteTreeW(kRoot, PathOf(L"treedanger.exe").c_str());
    const TreeState victimAfter = TreeOf(L"TreeVictim");
    Print(L"info: RegDeleteTreeW(treedanger.exe): status " + Num(plain) + L"; entry open: " +
          Num(OpenStatus(kRoot, PathOf(L"treedanger.exe"), KEY_READ, REG_OPTION_OPEN_LINK)) + L"; target open: " +
          Num(victimAfter.top.open) + L", values " + Num(victimAfter.top.values.size()) + L" (were " +
          Num(victimBefore.top.values.size()) + L"); target's subkey open: " + Num(victimAfter.childOpen));
    Check(L"danger: RegDeleteTreeW on an entry holding a link subkey changes the link's TARGET",
          !(victimAfter.top.open == ERROR_SUCCESS && victimAfter.top.values == victimBefore.top.values &&
            victimAfter.childOpen == ERROR_SUCCESS && victimAfter.child == victimBefore.child));

    const TreeState before = TreeOf(L"TreeTarget");
    const LSTATUS status = probe::DeleteTreeNoFollow(kRoot, PathOf(L"tree.exe"));
    const TreeState after = TreeOf(L"TreeTarget");
    Check(L"DeleteTreeNoFollow(tree.exe) succeeds and the entry is gone",
          status == ERROR_SUCCESS && OpenStatus(kRoot, PathOf(L"tree.exe"), KEY_READ, REG_OPTION_OPEN_LINK) == ERROR_FILE_NOT_FOUND,
          L"status " + Num(status));
    Check(L"tree.exe's link target, its values, descriptor and subkey unchanged",
          SameState(before.top, after.top) && before.childOpen == ERROR_SUCCESS && after.childOpen == ERROR_SUCCESS &&
              before.child == after.child);

    // Cleanup of whatever the plain call left behind, without following links.
    probe::DeleteTreeNoFollow(kRoot, PathOf(L"treedanger.exe"));
}

}  // namespace

int wmain() {
    Print(L"base: HKLM\\" + kBase);
    bool seeded = SeedTarget(L"Target");
    {
        UniqueKey key;
        LSTATUS status = CreateKey(kRoot, PathOf(L"normal.exe"), &key);
        if (status == ERROR_SUCCESS) status = SetString(key.get(), L"Debugger", L"C:\\x\\normal.exe");
        key.reset();
        UniqueKey fake;
        if (status == ERROR_SUCCESS) status = CreateKey(kRoot, PathOf(L"fakevalue.exe"), &fake);
        const std::wstring bogus = kNtBase + L"\\Target";
        if (status == ERROR_SUCCESS) {
            status = RegSetValueExW(fake.get(), L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(bogus.data()),
                                    static_cast<DWORD>(bogus.size() * sizeof(wchar_t)));
        }
        Check(L"seed normal.exe and fakevalue.exe", status == ERROR_SUCCESS, L"status " + Num(status));
        seeded = seeded && status == ERROR_SUCCESS;
    }
    seeded = SeedLink(L"linked.exe", kNtBase + L"\\Target") && seeded;
    seeded = SeedLink(L"dangling.exe", kNtBase + L"\\Missing") && seeded;
    seeded = SeedLink(L"chain.exe", kNtBase + L"\\Image File Execution Options\\linked.exe") && seeded;
    if (seeded) {
        CheckDetection();
        CheckDeleteLink();
        ShowDanger();
        CheckLockedLink();
        CheckTrees();
    }

    // Cleanup that never follows a link, so no target is touched through one.
    probe::DeleteTreeNoFollow(kRoot, kBase);
    const LSTATUS cleaned = OpenStatus(kRoot, kBase, KEY_READ);
    Check(L"probe tree removed", cleaned == ERROR_FILE_NOT_FOUND, L"status " + Num(cleaned));
    Print(Num(Failures()) + L" failed");
    return Failures() == 0 ? 0 : 1;
}
