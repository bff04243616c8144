#include "stores/win32/privileges.h"

namespace vornex::keysec {

ScopedPrivilege::ScopedPrivilege(const wchar_t* name) {
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.put())) {
        return;
    }
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid)) {
        return;
    }
    DWORD size = sizeof previous_;
    if (!AdjustTokenPrivileges(token_.get(), FALSE, &wanted, sizeof previous_, &previous_, &size)) {
        return;
    }
    // Success with ERROR_NOT_ALL_ASSIGNED means the token does not hold it.
    held_ = GetLastError() == ERROR_SUCCESS;
}

ScopedPrivilege::~ScopedPrivilege() {
    // previous_ lists only what the call changed: empty when it was enabled already.
    if (held_ && previous_.PrivilegeCount > 0) {
        AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr);
    }
}

}  // namespace vornex::keysec
