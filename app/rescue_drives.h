#pragma once
#include <windows.h>

#include <vector>

#include "app/windows_finder.h"

namespace vornex {

// The drives of this computer where an installed Windows may lie: fixed,
// removable (a disk in a USB case) and RAM disks; not CD or DVD drives or
// network shares.
std::vector<Text> LogicalDrives();
// The running system's own drive ("X:\" in a Windows PE).
Text SystemDrive();

// The drives through Win32 files and the hive reader.
class SystemDriveProbe : public DriveProbe {
public:
    bool IsFile(const Text& path) override;
    RegResult ReadVersion(const Text& hivePath, WindowsVersion* version) override;
};

// A small modal chooser of the installed Windows found; the index chosen,
// or -1 when the person chose none.
int ChooseWindows(HINSTANCE instance, const std::vector<InstalledWindows>& found);

}  // namespace vornex
