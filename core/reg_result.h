#pragma once

namespace vornex {

// The one way the program reports failure: the registry's own result codes
// (the Win32 values), whatever the store. 0 is success.
using RegResult = long;

constexpr RegResult kRegOk = 0;
constexpr RegResult kRegFileNotFound = 2;         // no such key or value
constexpr RegResult kRegAccessDenied = 5;         // the key's security refused: a real refusal only
constexpr RegResult kRegInvalidHandle = 6;
constexpr RegResult kRegNotEnoughMemory = 8;
constexpr RegResult kRegWriteProtect = 19;        // the medium is read-only
constexpr RegResult kRegWriteFault = 29;          // a write or flush failed
constexpr RegResult kRegReadFault = 30;           // a read failed (the medium, the device)
constexpr RegResult kRegGenFailure = 31;
constexpr RegResult kRegSharingViolation = 32;    // another program has the file open (a loaded hive)
constexpr RegResult kRegLockViolation = 33;       // another program holds the file's lock
constexpr RegResult kRegNotSupported = 50;
constexpr RegResult kRegInvalidParameter = 87;
constexpr RegResult kRegDiskFull = 112;
constexpr RegResult kRegBadPathname = 161;       // a name no path can reach (it holds a backslash)
constexpr RegResult kRegCallNotImplemented = 120;
constexpr RegResult kRegMoreData = 234;
constexpr RegResult kRegNoMoreItems = 259;
constexpr RegResult kRegBadDatabase = 1009;       // the hive is damaged
constexpr RegResult kRegKeyDeleted = 1018;
constexpr RegResult kRegKeyHasChildren = 1020;
constexpr RegResult kRegPrivilegeNotHeld = 1314;
constexpr RegResult kRegInvalidSecurityDescr = 1338;  // a key's security did not read back as written
constexpr RegResult kRegCantResolveFilename = 1921;  // a link that cannot be followed

}  // namespace vornex
