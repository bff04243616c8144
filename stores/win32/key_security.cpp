#include "stores/win32/key_security.h"

#include <sddl.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace vornex::keysec {

namespace {

// ------------------------------------------------------------------ ntdll
// Loaded at run time: these are not in mingw-w64's import libraries for
// every target, and the program must start even where one is missing.

using NtQueryKeyFn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
using NtOpenKeyExFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, ULONG);
using NtStatusToErrorFn = ULONG(NTAPI*)(LONG);

template <typename Fn>
Fn NtFunction(const char* name) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)));
}

constexpr LONG kStatusNotImplemented = static_cast<LONG>(0xC0000002);
constexpr ULONG kKeyNameInformation = 3;
constexpr ULONG kKeyFlagsInformation = 5;
constexpr ULONG kObjCaseInsensitive = 0x40;
constexpr ULONG kObjOpenLink = 0x100;

LSTATUS ErrorFromStatus(LONG status) {
    if (status >= 0) return ERROR_SUCCESS;
    static const auto convert = NtFunction<NtStatusToErrorFn>("RtlNtStatusToDosError");
    return convert ? static_cast<LSTATUS>(convert(status)) : ERROR_GEN_FAILURE;
}

// ------------------------------------------------------------------ SIDs

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


bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Opens with READ_CONTROL, plus ACCESS_SYSTEM_SECURITY where the token
// allows it, so that the SACL can be read too.
LSTATUS OpenForReadingSecurity(HKEY root, const std::wstring& path, LinkMode mode,
                               UniqueKey* key, bool* withSacl) {
    ScopedPrivilege security(SE_SECURITY_NAME);
    if (security.Held() &&
        OpenKey(root, path, READ_CONTROL | ACCESS_SYSTEM_SECURITY, mode, key) == ERROR_SUCCESS) {
        *withSacl = true;
        return ERROR_SUCCESS;
    }
    *withSacl = false;
    return OpenKey(root, path, READ_CONTROL, mode, key);
}

}  // namespace

// --------------------------------------------------------------- opening

LSTATUS OpenKey(HKEY root, const std::wstring& path, REGSAM access, LinkMode mode,
                UniqueKey* key) {
    HKEY opened = nullptr;
    const DWORD options = mode == LinkMode::Link ? REG_OPTION_OPEN_LINK : 0;
    const LSTATUS status = RegOpenKeyExW(root, path.c_str(), options, access | kNativeView, &opened);
    if (status == ERROR_SUCCESS) key->reset(opened);
    return status;
}

// ------------------------------------------------------------- privileges

ScopedPrivilege::ScopedPrivilege(const wchar_t* name) {
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          token_.put())) {
        error_ = GetLastError();
        return;
    }
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid)) {
        error_ = GetLastError();
        return;
    }
    DWORD size = sizeof previous_;
    if (!AdjustTokenPrivileges(token_.get(), FALSE, &wanted, sizeof previous_, &previous_, &size)) {
        error_ = GetLastError();
        return;
    }
    // Success with ERROR_NOT_ALL_ASSIGNED means the token does not hold it.
    error_ = GetLastError();
    held_ = error_ == ERROR_SUCCESS;
}

ScopedPrivilege::~ScopedPrivilege() {
    // previous_ lists only what the call changed: empty when it was enabled already.
    if (held_ && previous_.PrivilegeCount > 0) {
        AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr);
    }
}

// ---------------------------------------------------------- key security

LSTATUS ReadKeySecurity(HKEY key, std::vector<BYTE>* descriptor, SECURITY_INFORMATION* parts) {
    // With the SACL first; a handle without ACCESS_SYSTEM_SECURITY refuses that.
    for (SECURITY_INFORMATION wanted : {kOwnerGroupDacl | SACL_SECURITY_INFORMATION, kOwnerGroupDacl}) {
        DWORD size = 0;
        LSTATUS status = RegGetKeySecurity(key, wanted, nullptr, &size);
        if (status == ERROR_INSUFFICIENT_BUFFER) {
            descriptor->assign(size, 0);
            status = RegGetKeySecurity(key, wanted, descriptor->data(), &size);
            if (status == ERROR_SUCCESS) descriptor->resize(size);
        }
        if (status == ERROR_SUCCESS) {
            if (parts) *parts = wanted;
            return ERROR_SUCCESS;
        }
        if (wanted == kOwnerGroupDacl) return status;
    }
    return ERROR_ACCESS_DENIED;
}

LSTATUS ReadKeySecurity(HKEY root, const std::wstring& path, LinkMode mode,
                        std::vector<BYTE>* descriptor, SECURITY_INFORMATION* parts) {
    UniqueKey key;
    bool withSacl = false;
    const LSTATUS status = OpenForReadingSecurity(root, path, mode, &key, &withSacl);
    if (status != ERROR_SUCCESS) return status;
    return ReadKeySecurity(key.get(), descriptor, parts);
}

std::wstring DescriptorToSddl(const std::vector<BYTE>& descriptor, SECURITY_INFORMATION parts) {
    if (descriptor.empty()) return std::wstring();
    LocalMemory<wchar_t> text;
    ULONG length = 0;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            const_cast<BYTE*>(descriptor.data()), SDDL_REVISION_1, parts, text.put(), &length)) {
        return std::wstring();
    }
    return std::wstring(text.get());
}

LSTATUS OpenKeyBackupIntent(HKEY root, const std::wstring& path, REGSAM access, LinkMode mode,
                            UniqueKey* key) {
    // REG_OPTION_BACKUP_RESTORE through NtOpenKeyEx: RegCreateKeyEx would
    // create the key when it is missing, and RegOpenKeyEx takes no such option.
    static const auto ntOpenKeyEx = NtFunction<NtOpenKeyExFn>("NtOpenKeyEx");
    if (!ntOpenKeyEx) return ERROR_CALL_NOT_IMPLEMENTED;
    ScopedPrivilege backup(SE_BACKUP_NAME);
    ScopedPrivilege restore(SE_RESTORE_NAME);
    const std::size_t slash = path.find_last_of(L'\\');
    const std::wstring parentPath = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    std::wstring leaf = slash == std::wstring::npos ? path : path.substr(slash + 1);
    // A relative NT open needs a real handle as its root, not a predefined one.
    UniqueKey parent;
    LSTATUS status = OpenKey(root, parentPath, KEY_QUERY_VALUE, LinkMode::Follow, &parent);
    if (status != ERROR_SUCCESS) return status;
    UNICODE_STRING name{};
    name.Buffer = leaf.data();
    name.Length = static_cast<USHORT>(leaf.size() * sizeof(wchar_t));
    name.MaximumLength = name.Length;
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof attributes;
    attributes.RootDirectory = parent.get();
    attributes.ObjectName = &name;
    attributes.Attributes = kObjCaseInsensitive | (mode == LinkMode::Link ? kObjOpenLink : 0);
    HANDLE opened = nullptr;
    const LONG nt = ntOpenKeyEx(&opened, access | kNativeView, &attributes, REG_OPTION_BACKUP_RESTORE);
    if (nt < 0) return ErrorFromStatus(nt);
    key->reset(static_cast<HKEY>(opened));
    return ERROR_SUCCESS;
}

// ------------------------------------------------------------- takeover

KeySecurityTakeover::KeySecurityTakeover(HKEY root, std::wstring path, LinkMode mode)
    : root_(root), path_(std::move(path)), mode_(mode) {
    TakeOver();
}

KeySecurityTakeover::~KeySecurityTakeover() {
    if (!finished_) Restore();
}

void KeySecurityTakeover::Note(const std::wstring& what, LSTATUS status) {
    log_.push_back(status == ERROR_SUCCESS ? what : what + L": error " + std::to_wstring(status));
}

void KeySecurityTakeover::KeyDeleted() {
    if (!finished_) log_.push_back(L"key deleted: nothing to restore");
    finished_ = true;
    active_ = false;
}

LSTATUS KeySecurityTakeover::MakeAdministratorsOwner() {
    UniqueKey key;
    LSTATUS status;
    {
        // WRITE_OWNER whatever the DACL says; only for this open.
        ScopedPrivilege takeOwnership(SE_TAKE_OWNERSHIP_NAME);
        Note(takeOwnership.Held() ? L"SeTakeOwnershipPrivilege enabled"
                                  : L"SeTakeOwnershipPrivilege not held",
             takeOwnership.Held() ? ERROR_SUCCESS : static_cast<LSTATUS>(takeOwnership.Error()));
        status = OpenKey(root_, path_, WRITE_OWNER, mode_, &key);
        Note(L"open WRITE_OWNER", status);
    }
    if (status != ERROR_SUCCESS) {
        status = OpenKeyBackupIntent(root_, path_, WRITE_OWNER, mode_, &key);
        Note(L"backup-intent open WRITE_OWNER under SeRestorePrivilege", status);
        if (status != ERROR_SUCCESS) return status;
    }
    Sid admins = Administrators();
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorOwner(&descriptor, admins.get(), FALSE);
    status = RegSetKeySecurity(key.get(), OWNER_SECURITY_INFORMATION, &descriptor);
    Note(L"owner set to Administrators", status);
    if (status == ERROR_SUCCESS) ownerChanged_ = true;
    return status;
}

LSTATUS KeySecurityTakeover::OpenWriteDac(UniqueKey* key) {
    LSTATUS status = OpenKey(root_, path_, WRITE_DAC, mode_, key);
    Note(L"open WRITE_DAC", status);
    if (status == ERROR_SUCCESS || status != ERROR_ACCESS_DENIED) return status;

    // The owner is granted WRITE_DAC implicitly.
    if (MakeAdministratorsOwner() == ERROR_SUCCESS) {
        status = OpenKey(root_, path_, WRITE_DAC, mode_, key);
        Note(L"open WRITE_DAC as owner", status);
        if (status == ERROR_SUCCESS) return status;
    }
    // An OWNER RIGHTS ACE can take the owner's implicit rights away.
    status = OpenKeyBackupIntent(root_, path_, WRITE_DAC, mode_, key);
    Note(L"backup-intent open WRITE_DAC under SeRestorePrivilege", status);
    return status;
}

void KeySecurityTakeover::TakeOver() {
    {
        UniqueKey key;
        bool withSacl = false;
        status_ = OpenForReadingSecurity(root_, path_, mode_, &key, &withSacl);
        if (status_ == ERROR_ACCESS_DENIED) {
            ScopedPrivilege security(SE_SECURITY_NAME);
            withSacl = security.Held() &&
                       OpenKeyBackupIntent(root_, path_, READ_CONTROL | ACCESS_SYSTEM_SECURITY, mode_, &key) == ERROR_SUCCESS;
            status_ = withSacl ? ERROR_SUCCESS : OpenKeyBackupIntent(root_, path_, READ_CONTROL, mode_, &key);
            Note(L"backup-intent open READ_CONTROL under SeBackupPrivilege", status_);
        }
        if (status_ == ERROR_SUCCESS) status_ = ReadKeySecurity(key.get(), &original_, &parts_);
        Note(L"capture the original descriptor", status_);
        if (status_ != ERROR_SUCCESS) {
            // Nothing may change that could not be put back.
            finished_ = true;
            return;
        }
        log_.push_back(L"original: " + DescriptorToSddl(original_, parts_));
    }

    UniqueKey key;
    status_ = OpenWriteDac(&key);
    if (status_ != ERROR_SUCCESS) {
        // Only the owner may have changed; Restore() puts it back.
        finished_ = !ownerChanged_;
        return;
    }

    // The new DACL: allow Administrators full control, then every original ACE
    // in its order. Not inheritable: subkeys gain nothing.
    auto* source = reinterpret_cast<PSECURITY_DESCRIPTOR>(original_.data());
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
    std::vector<BYTE> aclBytes((sizes.AclBytesInUse + aceSize + 3) & ~3u);
    auto* acl = reinterpret_cast<PACL>(aclBytes.data());
    bool built = InitializeAcl(acl, static_cast<DWORD>(aclBytes.size()), aclRevision) &&
                 AddAccessAllowedAceEx(acl, aclRevision, 0, KEY_ALL_ACCESS, admins.get());
    if (built && present && dacl) {
        for (DWORD i = 0; built && i < sizes.AceCount; ++i) {
            void* ace = nullptr;
            built = GetAce(dacl, i, &ace) &&
                    AddAce(acl, aclRevision, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize);
        }
    }
    SECURITY_DESCRIPTOR descriptor;
    built = built && InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
            SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    // Keep the inheritance bits as they were, so Restore() changes only ACEs.
    const SECURITY_DESCRIPTOR_CONTROL kept = SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED;
    built = built && SetSecurityDescriptorControl(&descriptor, kept, control & kept);
    if (!built) {
        status_ = static_cast<LSTATUS>(GetLastError());
        Note(L"build the new DACL", status_);
        finished_ = !ownerChanged_;
        return;
    }
    status_ = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &descriptor);
    Note(L"DACL set: Administrators full control first", status_);
    if (status_ != ERROR_SUCCESS) {
        finished_ = !ownerChanged_;
        return;
    }
    daclChanged_ = true;
    active_ = true;
}

LSTATUS KeySecurityTakeover::Restore() {
    if (finished_) return restoreStatus_;
    finished_ = true;
    active_ = false;
    if (!ownerChanged_ && !daclChanged_) return restoreStatus_ = ERROR_SUCCESS;

    const LSTATUS status = PutKeySecurityBack(root_, path_, mode_, original_);
    Note(L"restore: original written back and read back equal", status);
    return restoreStatus_ = status;
}

namespace {

bool SameSid(PSID a, PSID b) { return (a == nullptr && b == nullptr) || (a && b && EqualSid(a, b)); }

}  // namespace

LSTATUS PutKeySecurityBack(HKEY root, const std::wstring& path, LinkMode mode, const std::vector<BYTE>& original) {
    if (original.empty()) return ERROR_INVALID_SECURITY_DESCR;
    std::vector<BYTE> now;
    SECURITY_INFORMATION parts = 0;
    LSTATUS status = ReadKeySecurity(root, path, mode, &now, &parts);
    if (status != ERROR_SUCCESS) return status;
    auto* wanted = reinterpret_cast<PSECURITY_DESCRIPTOR>(const_cast<BYTE*>(original.data()));
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

    // Only what differs is written: writing an untouched part (an absent SACL,
    // say) can change the descriptor's control bits.
    SECURITY_INFORMATION written = DACL_SECURITY_INFORMATION;
    if (!SameSid(wantedOwner, currentOwner)) written |= OWNER_SECURITY_INFORMATION;
    if (!SameSid(wantedGroup, currentGroup)) written |= GROUP_SECURITY_INFORMATION;
    if ((parts & SACL_SECURITY_INFORMATION) && (control & SE_SACL_PRESENT) && now != original) {
        written |= SACL_SECURITY_INFORMATION;
    }
    // A foreign owner (SYSTEM, TrustedInstaller) is set back under SeRestorePrivilege.
    ScopedPrivilege restore(SE_RESTORE_NAME);
    ScopedPrivilege security(SE_SECURITY_NAME);
    ScopedPrivilege takeOwnership(SE_TAKE_OWNERSHIP_NAME);
    const REGSAM access = WRITE_DAC | READ_CONTROL | (written & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION) ? WRITE_OWNER : 0) |
                          (written & SACL_SECURITY_INFORMATION ? ACCESS_SYSTEM_SECURITY : 0);
    UniqueKey key;
    status = OpenKey(root, path, access, mode, &key);
    if (status == ERROR_ACCESS_DENIED) status = OpenKeyBackupIntent(root, path, access, mode, &key);
    if (status == ERROR_SUCCESS) status = RegSetKeySecurity(key.get(), written, wanted);
    if (status != ERROR_SUCCESS) return status;
    std::vector<BYTE> after;
    SECURITY_INFORMATION afterParts = 0;
    status = ReadKeySecurity(root, path, mode, &after, &afterParts);
    if (status != ERROR_SUCCESS) return status;
    return after == original ? ERROR_SUCCESS : ERROR_INVALID_SECURITY_DESCR;
}

// ----------------------------------------------------------- link keys

LSTATUS QueryKeyName(HKEY key, std::wstring* name) {
    static const auto ntQueryKey = NtFunction<NtQueryKeyFn>("NtQueryKey");
    if (!ntQueryKey) return ERROR_CALL_NOT_IMPLEMENTED;
    std::vector<BYTE> buffer(512);
    for (int attempt = 0; attempt < 4; ++attempt) {
        ULONG needed = 0;
        const LONG nt = ntQueryKey(key, kKeyNameInformation, buffer.data(),
                                   static_cast<ULONG>(buffer.size()), &needed);
        if (nt >= 0) {
            ULONG length = 0;
            std::memcpy(&length, buffer.data(), sizeof length);
            length = std::min<ULONG>(length, static_cast<ULONG>(buffer.size() - sizeof(ULONG)));
            name->assign(reinterpret_cast<const wchar_t*>(buffer.data() + sizeof(ULONG)),
                         length / sizeof(wchar_t));
            return ERROR_SUCCESS;
        }
        if (needed <= buffer.size()) return ErrorFromStatus(nt);
        buffer.resize(needed);
    }
    return ERROR_MORE_DATA;
}

namespace {

// Any access will do for the name; asking for reading first lets the value
// and the flags be read from the same handle.
LSTATUS OpenAnyAccess(HKEY root, const std::wstring& path, LinkMode mode, UniqueKey* key) {
    LSTATUS status = OpenKey(root, path, KEY_QUERY_VALUE, mode, key);
    if (status == ERROR_ACCESS_DENIED) status = OpenKey(root, path, READ_CONTROL, mode, key);
    if (status == ERROR_ACCESS_DENIED) status = OpenKey(root, path, MAXIMUM_ALLOWED, mode, key);
    return status;
}

LSTATUS ReadLinkValue(HKEY link, std::wstring* target) {
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(link, L"SymbolicLinkValue", nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_LINK) return ERROR_BAD_PATHNAME;
    std::vector<BYTE> data(size + sizeof(wchar_t));
    status = RegQueryValueExW(link, L"SymbolicLinkValue", nullptr, &type, data.data(), &size);
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_LINK) return ERROR_BAD_PATHNAME;
    // REG_LINK is stored without a terminating NUL.
    target->assign(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    while (!target->empty() && target->back() == L'\0') target->pop_back();
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS QueryLinkInfo(HKEY root, const std::wstring& path, LinkInfo* info) {
    *info = LinkInfo();
    UniqueKey self;
    LSTATUS status = OpenAnyAccess(root, path, LinkMode::Link, &self);
    if (status != ERROR_SUCCESS) return status;
    status = QueryKeyName(self.get(), &info->ownName);
    if (status != ERROR_SUCCESS) return status;

    static const auto ntQueryKey = NtFunction<NtQueryKeyFn>("NtQueryKey");
    if (ntQueryKey) {
        ULONG needed = 0;
        info->flagsStatus = ntQueryKey(self.get(), kKeyFlagsInformation, info->flags,
                                       sizeof info->flags, &needed);
    } else {
        info->flagsStatus = kStatusNotImplemented;
    }
    const bool hasValue = ReadLinkValue(self.get(), &info->target) == ERROR_SUCCESS;

    UniqueKey reached;
    status = OpenAnyAccess(root, path, LinkMode::Follow, &reached);
    if (status == ERROR_SUCCESS) {
        status = QueryKeyName(reached.get(), &info->resolvedName);
        if (status != ERROR_SUCCESS) return status;
        info->isLink = !EqualNoCase(info->ownName, info->resolvedName);
        info->evidence = info->isLink ? L"names" : L"none";
        if (!info->isLink) info->resolvedName.clear();
    } else if (status == ERROR_ACCESS_DENIED) {
        // The target refuses every open: the link's own value is all there is.
        info->isLink = hasValue;
        info->evidence = hasValue ? L"value" : L"none";
    } else {
        // The key itself opened, yet following it fails: a dangling or looping link.
        info->isLink = true;
        info->evidence = L"dangling";
    }
    return ERROR_SUCCESS;
}

bool IsLinkKey(HKEY root, const std::wstring& path) {
    LinkInfo info;
    return QueryLinkInfo(root, path, &info) == ERROR_SUCCESS && info.isLink;
}

LSTATUS ReadLinkTarget(HKEY root, const std::wstring& path, std::wstring* target) {
    UniqueKey link;
    const LSTATUS status = OpenKey(root, path, KEY_QUERY_VALUE, LinkMode::Link, &link);
    if (status != ERROR_SUCCESS) return status;
    return ReadLinkValue(link.get(), target);
}

LSTATUS DeleteKeyNoFollow(HKEY root, const std::wstring& path) {
    static const auto ntDeleteKey = NtFunction<NtDeleteKeyFn>("NtDeleteKey");
    if (!ntDeleteKey) return ERROR_CALL_NOT_IMPLEMENTED;
    UniqueKey key;
    const LSTATUS status = OpenKey(root, path, DELETE, LinkMode::Link, &key);
    if (status != ERROR_SUCCESS) return status;
    return ErrorFromStatus(ntDeleteKey(key.get()));
}

namespace {

// Keys nest at most 512 deep; a deeper walk means something is wrong.
constexpr int kMaxDepth = 512;

LSTATUS DeleteTreeAt(HKEY root, const std::wstring& path, int depth) {
    if (depth > kMaxDepth) return ERROR_INVALID_PARAMETER;
    LinkInfo info;
    LSTATUS status = QueryLinkInfo(root, path, &info);
    if (status != ERROR_SUCCESS) return status;
    if (!info.isLink) {
        std::vector<std::wstring> names;
        {
            UniqueKey key;
            status = OpenKey(root, path, KEY_ENUMERATE_SUB_KEYS, LinkMode::Link, &key);
            if (status != ERROR_SUCCESS) return status;
            // All names first: deleting while enumerating would shift the indexes.
            for (DWORD index = 0;; ++index) {
                wchar_t name[256];
                DWORD length = 256;
                status = RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
                if (status == ERROR_NO_MORE_ITEMS) break;
                if (status != ERROR_SUCCESS) return status;
                names.emplace_back(name, length);
            }
        }
        for (const auto& name : names) {
            status = DeleteTreeAt(root, path + L"\\" + name, depth + 1);
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
        }
    }
    return DeleteKeyNoFollow(root, path);
}

}  // namespace

LSTATUS DeleteTreeNoFollow(HKEY root, const std::wstring& path) { return DeleteTreeAt(root, path, 0); }

}  // namespace vornex::keysec
