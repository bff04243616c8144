#pragma once
// What only the probes use, built on the store's primitives: the program's
// takeover held over a stretch of probe code, deleting a tree without
// following links, and link and SDDL helpers.
#include <windows.h>

#include <string>
#include <vector>

#include "stores/win32/key_security.h"
#include "stores/win32/links.h"
#include "stores/win32/privileges.h"
#include "stores/win32/win32_registry.h"

namespace probe {

using vornex::LinkMode;
using namespace vornex::keysec;

// SDDL of the given parts of a descriptor; "" when it cannot be converted.
std::wstring DescriptorToSddl(const std::vector<BYTE>& descriptor, SECURITY_INFORMATION parts);

// The program's takeover (core/key_takeover) held open over a stretch of
// probe code, so that the key can be looked at while taken over: captures
// HKLM\path's descriptor, gives the administrators full control, and puts
// the capture back with the program's own restore (read back and compared)
// on Restore() or when it goes out of scope, unless KeyDeleted() was called.
// Log(): one line per step.
class KeySecurityTakeover {
public:
    explicit KeySecurityTakeover(std::wstring path, LinkMode mode = LinkMode::kFollow);
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

    vornex::Win32Registry registry_;
    vornex::Text path_;
    LinkMode mode_;
    std::vector<BYTE> original_;
    bool active_ = false;
    bool finished_ = false;
    LSTATUS status_ = ERROR_SUCCESS;
    LSTATUS restoreStatus_ = ERROR_SUCCESS;
    std::vector<std::wstring> log_;
};

bool IsLinkKey(HKEY root, const std::wstring& path);
// The link's SymbolicLinkValue; ERROR_BAD_PATHNAME when it holds no REG_LINK one.
LSTATUS ReadLinkTarget(HKEY root, const std::wstring& path, std::wstring* target);
// Deletes root\path and everything under it; a link is deleted as a link and
// never entered. Stops at the first failure.
LSTATUS DeleteTreeNoFollow(HKEY root, const std::wstring& path);

}  // namespace probe
