#pragma once
// What only the probes use, built on the store's primitives: a takeover that
// logs each step and restores itself (the program's own is the core's),
// deleting a tree without following links, and link and SDDL helpers.
#include <windows.h>

#include <string>
#include <vector>

#include "stores/win32/key_security.h"
#include "stores/win32/links.h"
#include "stores/win32/privileges.h"

namespace probe {

using vornex::LinkMode;
using namespace vornex::keysec;

// SDDL of the given parts of a descriptor; "" when it cannot be converted.
std::wstring DescriptorToSddl(const std::vector<BYTE>& descriptor, SECURITY_INFORMATION parts);

// Captures root\path's descriptor, gives the administrators full control, and
// puts the capture back (read back and compared) on Restore() or when it goes
// out of scope, unless KeyDeleted() was called. Log(): one line per step.
class KeySecurityTakeover {
public:
    KeySecurityTakeover(HKEY root, std::wstring path, LinkMode mode = LinkMode::kFollow);
    KeySecurityTakeover(const KeySecurityTakeover&) = delete;
    KeySecurityTakeover& operator=(const KeySecurityTakeover&) = delete;
    ~KeySecurityTakeover();

    bool Active() const { return active_; }
    LSTATUS Status() const { return status_; }
    void KeyDeleted();
    // ERROR_INVALID_SECURITY_DESCR when written but not read back equal.
    LSTATUS Restore();
    const std::vector<std::wstring>& Log() const { return log_; }

private:
    void Note(const std::wstring& what, LSTATUS status);

    HKEY root_;
    std::wstring path_;
    LinkMode mode_;
    std::vector<BYTE> original_;
    SECURITY_INFORMATION parts_ = 0;
    bool active_ = false;
    bool finished_ = false;
    LSTATUS status_ = ERROR_SUCCESS;
    LSTATUS restoreStatus_ = ERROR_SUCCESS;
    std::vector<std::wstring> log_;
};

struct TakeoverResult {
    LSTATUS change = ERROR_SUCCESS;
    LSTATUS takeover = ERROR_SUCCESS;
    LSTATUS restore = ERROR_SUCCESS;
    bool tookOver = false;
    std::vector<std::wstring> log;
};

// Runs change(); when refused with ERROR_ACCESS_DENIED, takes the key over,
// runs it again and puts the security back unless deletesKey and it succeeded.
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

bool IsLinkKey(HKEY root, const std::wstring& path);
// The link's SymbolicLinkValue; ERROR_BAD_PATHNAME when it holds no REG_LINK one.
LSTATUS ReadLinkTarget(HKEY root, const std::wstring& path, std::wstring* target);
// Deletes root\path and everything under it; a link is deleted as a link and
// never entered. Stops at the first failure.
LSTATUS DeleteTreeNoFollow(HKEY root, const std::wstring& path);

}  // namespace probe
