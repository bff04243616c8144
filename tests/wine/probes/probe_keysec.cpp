#include "tests/wine/probes/probe_keysec.h"

#include <sddl.h>

#include "core/key_takeover.h"
#include "win32/wide_text.h"

namespace probe {

std::wstring DescriptorToSddl(const std::vector<BYTE>& descriptor, SECURITY_INFORMATION parts) {
    if (descriptor.empty()) return std::wstring();
    vornex::win32::UniqueLocal text;
    wchar_t* raw = nullptr;
    ULONG length = 0;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(const_cast<BYTE*>(descriptor.data()), SDDL_REVISION_1,
                                                              parts, &raw, &length)) {
        return std::wstring();
    }
    text.reset(raw);
    return std::wstring(raw);
}

KeySecurityTakeover::KeySecurityTakeover(std::wstring path, LinkMode mode)
    : path_(vornex::win32::FromWide(path)), mode_(mode) {
    status_ = registry_.GetKeySecurity(vornex::kLocalMachine, path_, mode_, &original_);
    Note(L"capture the original descriptor", status_);
    if (status_ != ERROR_SUCCESS) {
        // Nothing may change that could not be put back.
        finished_ = true;
        return;
    }
    log_.push_back(L"original: " + DescriptorToSddl(original_, vornex::keysec::kOwnerGroupDacl | SACL_SECURITY_INFORMATION));
    status_ = registry_.TakeOverKey(vornex::kLocalMachine, path_, mode_);
    Note(L"administrators given full control", status_);
    active_ = status_ == ERROR_SUCCESS;
    // A takeover that failed half way is undone at once, as the program does.
    if (!active_) Restore();
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

LSTATUS KeySecurityTakeover::Restore() {
    if (finished_) return restoreStatus_;
    finished_ = true;
    active_ = false;
    restoreStatus_ = vornex::RestoreKeySecurity(registry_, path_, mode_, original_);
    Note(L"restore: original written back and read back equal", restoreStatus_);
    return restoreStatus_;
}

bool IsLinkKey(HKEY root, const std::wstring& path) {
    LinkInfo info;
    return QueryLinkInfo(root, path, &info) == ERROR_SUCCESS && info.isLink;
}

LSTATUS ReadLinkTarget(HKEY root, const std::wstring& path, std::wstring* target) {
    vornex::win32::UniqueRegKey link;
    LSTATUS status = OpenKey(root, path, KEY_QUERY_VALUE, LinkMode::kLinkItself, &link);
    if (status != ERROR_SUCCESS) return status;
    DWORD type = 0;
    DWORD size = 0;
    status = RegQueryValueExW(link.get(), L"SymbolicLinkValue", nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    std::vector<BYTE> data(size + sizeof(wchar_t));
    status = RegQueryValueExW(link.get(), L"SymbolicLinkValue", nullptr, &type, data.data(), &size);
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_LINK) return ERROR_BAD_PATHNAME;
    target->assign(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    while (!target->empty() && target->back() == L'\0') target->pop_back();
    return ERROR_SUCCESS;
}

namespace {

constexpr int kMaxDepth = 512;

LSTATUS DeleteTreeAt(HKEY root, const std::wstring& path, int depth) {
    if (depth > kMaxDepth) return ERROR_INVALID_PARAMETER;
    LinkInfo info;
    LSTATUS status = QueryLinkInfo(root, path, &info);
    if (status != ERROR_SUCCESS) return status;
    if (!info.isLink) {
        std::vector<std::wstring> names;
        {
            vornex::win32::UniqueRegKey key;
            status = OpenKey(root, path, KEY_ENUMERATE_SUB_KEYS, LinkMode::kLinkItself, &key);
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

}  // namespace probe
