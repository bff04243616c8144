#include "stores/win32/key_security.h"

#include <algorithm>

#include "stores/win32/ntdll.h"
#include "stores/win32/privileges.h"

namespace vornex::keysec {

namespace {

struct Sid {
    BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
    PSID get() { return bytes; }
};

Sid Administrators() {
    Sid sid;
    DWORD size = sizeof sid.bytes;
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid.get(), &size);
    return sid;
}

bool SameSid(PSID a, PSID b) { return (a == nullptr && b == nullptr) || (a && b && EqualSid(a, b)); }

// Opens for writing security: plainly, or where the DACL refuses, with backup intent.
RegResult OpenToWrite(HKEY root, const std::wstring& path, REGSAM access, LinkMode mode, win32::UniqueRegKey* key) {
    const RegResult plain = OpenKey(root, path, access, mode, key);
    if (plain != kRegAccessDenied) return plain;
    return OpenKeyBackupIntent(root, path, access, mode, BackupIntent::kWrite, key);
}

RegResult MakeAdministratorsOwner(HKEY root, const std::wstring& path, LinkMode mode) {
    win32::UniqueRegKey key;
    RegResult result;
    {
        // WRITE_OWNER whatever the DACL says; only for this open.
        ScopedPrivilege takeOwnership(SE_TAKE_OWNERSHIP_NAME);
        result = OpenToWrite(root, path, WRITE_OWNER, mode, &key);
    }
    if (result != kRegOk) return result;
    Sid admins = Administrators();
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorOwner(&descriptor, admins.get(), FALSE);
    return RegSetKeySecurity(key.get(), OWNER_SECURITY_INFORMATION, &descriptor);
}

RegResult OpenWriteDac(HKEY root, const std::wstring& path, LinkMode mode, win32::UniqueRegKey* key) {
    const RegResult plain = OpenKey(root, path, WRITE_DAC, mode, key);
    if (plain != kRegAccessDenied) return plain;
    // The owner is granted WRITE_DAC implicitly...
    if (MakeAdministratorsOwner(root, path, mode) == kRegOk && OpenKey(root, path, WRITE_DAC, mode, key) == kRegOk) {
        return kRegOk;
    }
    // ...unless an OWNER RIGHTS ACE takes the owner's implicit rights away.
    return OpenKeyBackupIntent(root, path, WRITE_DAC, mode, BackupIntent::kWrite, key);
}

// The DACL with an ACE allowing the administrators everything before all of
// `current`'s own, in its order; the protection and inheritance bits kept.
RegResult BuildAdministratorsFirst(const std::vector<BYTE>& current, std::vector<BYTE>* aclBytes,
                                   SECURITY_DESCRIPTOR* descriptor) {
    auto* source = reinterpret_cast<PSECURITY_DESCRIPTOR>(const_cast<BYTE*>(current.data()));
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(source, &present, &dacl, &defaulted);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(source, &control, &revision);

    Sid admins = Administrators();
    ACL_SIZE_INFORMATION sizes{};
    sizes.AclBytesInUse = sizeof(ACL);
    if (present && dacl) GetAclInformation(dacl, &sizes, sizeof sizes, AclSizeInformation);
    const DWORD aceSize = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(admins.get());
    const DWORD aclRevision = present && dacl ? std::max<DWORD>(dacl->AclRevision, ACL_REVISION) : ACL_REVISION;
    aclBytes->assign((sizes.AclBytesInUse + aceSize + 3) & ~3u, 0);
    auto* acl = reinterpret_cast<PACL>(aclBytes->data());
    bool built = InitializeAcl(acl, static_cast<DWORD>(aclBytes->size()), aclRevision) &&
                 AddAccessAllowedAceEx(acl, aclRevision, 0, KEY_ALL_ACCESS, admins.get());
    for (DWORD i = 0; built && present && dacl && i < sizes.AceCount; ++i) {
        void* ace = nullptr;
        built = GetAce(dacl, i, &ace) && AddAce(acl, aclRevision, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize);
    }
    built = built && InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
            SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE);
    // The inheritance bits as they were, so that putting it back changes only ACEs.
    const SECURITY_DESCRIPTOR_CONTROL kept = SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED;
    built = built && SetSecurityDescriptorControl(descriptor, kept, control & kept);
    return built ? kRegOk : static_cast<RegResult>(GetLastError());
}

}  // namespace

RegResult OpenKey(HKEY root, const std::wstring& path, REGSAM access, LinkMode mode, win32::UniqueRegKey* key) {
    HKEY opened = nullptr;
    const DWORD options = mode == LinkMode::kLinkItself ? REG_OPTION_OPEN_LINK : 0;
    const RegResult result = RegOpenKeyExW(root, path.c_str(), options, access | kNativeView, &opened);
    if (result == kRegOk) key->reset(opened);
    return result;
}

RegResult OpenKeyBackupIntent(HKEY root, const std::wstring& path, REGSAM access, LinkMode mode,
                              BackupIntent intent, win32::UniqueRegKey* key) {
    const std::size_t slash = path.find_last_of(L'\\');
    const std::wstring parentPath = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    const std::wstring leaf = slash == std::wstring::npos ? path : path.substr(slash + 1);
    // A relative NT open needs a real handle as its root, not a predefined one;
    // a parent that refuses reading is opened with the same intent.
    win32::UniqueRegKey parent;
    RegResult result = OpenKey(root, parentPath, KEY_QUERY_VALUE, LinkMode::kFollow, &parent);
    if (result == kRegAccessDenied && !parentPath.empty()) {
        result = OpenKeyBackupIntent(root, parentPath, KEY_READ, LinkMode::kFollow, BackupIntent::kRead, &parent);
    }
    if (result != kRegOk) return result;
    ScopedPrivilege privilege(intent == BackupIntent::kRead ? SE_BACKUP_NAME : SE_RESTORE_NAME);
    HKEY opened = nullptr;
    result = ntdll::OpenKeyRelative(parent.get(), leaf, access | kNativeView,
                                    mode == LinkMode::kLinkItself ? ntdll::kObjOpenLink : 0, REG_OPTION_BACKUP_RESTORE,
                                    &opened);
    if (result == kRegOk) key->reset(opened);
    return result;
}

RegResult ReadKeySecurity(HKEY key, std::vector<BYTE>* descriptor, SECURITY_INFORMATION* parts) {
    // With the SACL first; a handle without ACCESS_SYSTEM_SECURITY refuses that.
    RegResult result = kRegAccessDenied;
    for (SECURITY_INFORMATION wanted : {kOwnerGroupDacl | SACL_SECURITY_INFORMATION, kOwnerGroupDacl}) {
        DWORD size = 0;
        result = RegGetKeySecurity(key, wanted, nullptr, &size);
        if (result == ERROR_INSUFFICIENT_BUFFER) {
            descriptor->assign(size, 0);
            result = RegGetKeySecurity(key, wanted, descriptor->data(), &size);
            if (result == kRegOk) descriptor->resize(size);
        }
        if (result == kRegOk) {
            if (parts) *parts = wanted;
            return kRegOk;
        }
    }
    return result;
}

RegResult ReadKeySecurity(HKEY root, const std::wstring& path, LinkMode mode, std::vector<BYTE>* descriptor,
                          SECURITY_INFORMATION* parts) {
    win32::UniqueRegKey key;
    RegResult result = kRegAccessDenied;
    {
        ScopedPrivilege security(SE_SECURITY_NAME);
        if (security.Held()) result = OpenKey(root, path, READ_CONTROL | ACCESS_SYSTEM_SECURITY, mode, &key);
    }
    if (result != kRegOk) result = OpenKey(root, path, READ_CONTROL, mode, &key);
    if (result == kRegAccessDenied) result = OpenKeyBackupIntent(root, path, KEY_READ, mode, BackupIntent::kRead, &key);
    if (result != kRegOk) return result;
    return ReadKeySecurity(key.get(), descriptor, parts);
}

RegResult WriteKeySecurity(HKEY root, const std::wstring& path, LinkMode mode, const std::vector<BYTE>& descriptor) {
    if (descriptor.empty()) return kRegInvalidSecurityDescr;
    std::vector<BYTE> now;
    SECURITY_INFORMATION parts = 0;
    RegResult result = ReadKeySecurity(root, path, mode, &now, &parts);
    if (result != kRegOk) return result;
    auto* wanted = reinterpret_cast<PSECURITY_DESCRIPTOR>(const_cast<BYTE*>(descriptor.data()));
    auto* current = reinterpret_cast<PSECURITY_DESCRIPTOR>(now.data());
    PSID wantedOwner = nullptr, currentOwner = nullptr, wantedGroup = nullptr, currentGroup = nullptr;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorOwner(wanted, &wantedOwner, &defaulted);
    GetSecurityDescriptorOwner(current, &currentOwner, &defaulted);
    GetSecurityDescriptorGroup(wanted, &wantedGroup, &defaulted);
    GetSecurityDescriptorGroup(current, &currentGroup, &defaulted);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(wanted, &control, &revision);

    SECURITY_INFORMATION written = DACL_SECURITY_INFORMATION;
    if (!SameSid(wantedOwner, currentOwner)) written |= OWNER_SECURITY_INFORMATION;
    if (!SameSid(wantedGroup, currentGroup)) written |= GROUP_SECURITY_INFORMATION;
    if ((parts & SACL_SECURITY_INFORMATION) && (control & SE_SACL_PRESENT) && now != descriptor) {
        written |= SACL_SECURITY_INFORMATION;
    }
    // A foreign owner (SYSTEM, TrustedInstaller) is set back under SeRestorePrivilege.
    ScopedPrivilege restore(SE_RESTORE_NAME);
    ScopedPrivilege security(SE_SECURITY_NAME);
    ScopedPrivilege takeOwnership(SE_TAKE_OWNERSHIP_NAME);
    const REGSAM access = WRITE_DAC | READ_CONTROL |
                          (written & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION) ? WRITE_OWNER : 0) |
                          (written & SACL_SECURITY_INFORMATION ? ACCESS_SYSTEM_SECURITY : 0);
    win32::UniqueRegKey key;
    result = OpenToWrite(root, path, access, mode, &key);
    if (result != kRegOk) return result;
    return RegSetKeySecurity(key.get(), written, wanted);
}

RegResult GrantAdministratorsFullControl(HKEY root, const std::wstring& path, LinkMode mode) {
    std::vector<BYTE> current;
    RegResult result = ReadKeySecurity(root, path, mode, &current);
    if (result != kRegOk) return result;
    win32::UniqueRegKey key;
    result = OpenWriteDac(root, path, mode, &key);
    if (result != kRegOk) return result;
    std::vector<BYTE> aclBytes;
    SECURITY_DESCRIPTOR descriptor;
    result = BuildAdministratorsFirst(current, &aclBytes, &descriptor);
    if (result != kRegOk) return result;
    return RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &descriptor);
}

}  // namespace vornex::keysec
