#pragma once
#include <windows.h>

#include "win32/handles.h"

namespace vornex::keysec {

// Enables one privilege in the process token for its lifetime and puts the
// previous state back afterwards. Held() is false when the token lacks it
// (GetLastError() then tells why).
// The token is the whole process's: not for use from several threads at once.
class ScopedPrivilege {
public:
    explicit ScopedPrivilege(const wchar_t* name);
    ScopedPrivilege(const ScopedPrivilege&) = delete;
    ScopedPrivilege& operator=(const ScopedPrivilege&) = delete;
    ~ScopedPrivilege();

    bool Held() const { return held_; }

private:
    win32::UniqueKernelHandle token_;
    TOKEN_PRIVILEGES previous_{};
    bool held_ = false;
};

}  // namespace vornex::keysec
