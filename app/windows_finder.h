#pragma once
#include <vector>

#include "core/registry.h"
#include "core/text.h"

namespace vornex {

// What an installed Windows' SOFTWARE hive says it is (empty where unread).
struct WindowsVersion {
    Text product;         // ProductName
    Text displayVersion;  // DisplayVersion (22H2, ...)
    Text build;           // CurrentBuild
};

// An installed Windows found on a drive of a rescue system.
struct InstalledWindows {
    Text drive;          // "D:\"
    Text windowsFolder;  // "D:\Windows"
    Text hivePath;       // "D:\Windows\System32\config\SOFTWARE"
    bool versionRead = false;
    WindowsVersion version;
};

// The few questions the search asks of the drives.
class DriveProbe {
public:
    virtual ~DriveProbe() = default;
    // A file (not a folder) at this path.
    virtual bool IsFile(const Text& path) = 0;
    // The version the hive at this path holds; kRegOk, or why it cannot be read.
    virtual RegResult ReadVersion(const Text& hivePath, WindowsVersion* version) = 0;
};

// The key whose presence marks a rescue system, below HKEY_LOCAL_MACHINE.
inline const Text kMiniNtKeyPath = u"SYSTEM\\CurrentControlSet\\Control\\MiniNT";

// A Windows PE or another rescue system: the running registry is not the
// computer's (kMiniNtKeyPath exists).
bool IsRescueSystem(Registry& registry);

// Every drive of `drives` (roots, "C:\") but the running system's own that
// holds \Windows\System32\config\SOFTWARE, in the order given; versions not read.
std::vector<InstalledWindows> FindInstalledWindows(const std::vector<Text>& drives, const Text& systemDrive,
                                                   DriveProbe& probe);
// Reads each one's version, for a choice between several (each read is a
// whole hive). One whose version cannot be read stays listed: it may be the
// damaged one to rescue.
void ReadVersions(std::vector<InstalledWindows>* found, DriveProbe& probe);

// Reads ProductName, DisplayVersion and CurrentBuild under
// SOFTWARE\Microsoft\Windows NT\CurrentVersion; kRegOk when the key opened.
RegResult ReadWindowsVersion(Registry& registry, WindowsVersion* version);

}  // namespace vornex
