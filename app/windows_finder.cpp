#include "app/windows_finder.h"

#include "core/ifeo.h"

namespace vornex {

namespace {

const Text kHiveBelowDrive = u"Windows\\System32\\config\\SOFTWARE";
// More than any version text holds; a longer value is cut, not read whole.
constexpr std::uint32_t kMostVersionBytes = 512;

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool SameDrive(const Text& a, const Text& b) { return !a.empty() && !b.empty() && Upper(a[0]) == Upper(b[0]); }

Text WithBackslash(const Text& root) { return !root.empty() && root.back() == u'\\' ? root : root + u'\\'; }

Text StringValue(Registry& registry, KeyHandle key, const Text& name) {
    unsigned char data[kMostVersionBytes] = {};
    std::uint32_t type = 0;
    std::uint32_t size = sizeof data;
    const RegResult read = registry.QueryValue(key, name, &type, data, &size);
    if (read != kRegOk || (type != kRegSz && type != 2)) return Text();
    return TextFromRegistryData(data, size < sizeof data ? size : sizeof data);
}

}  // namespace

bool IsRescueSystem(Registry& registry) {
    UniqueKey key(registry);
    return key.TryOpen(kLocalMachine, kMiniNtKeyPath, kKeyRead) == kRegOk;
}

std::vector<InstalledWindows> FindInstalledWindows(const std::vector<Text>& drives, const Text& systemDrive,
                                                   DriveProbe& probe) {
    std::vector<InstalledWindows> found;
    for (const Text& drive : drives) {
        // The rescue system's own Windows is never taken for the computer's.
        if (drive.empty() || SameDrive(drive, systemDrive)) continue;
        InstalledWindows candidate;
        candidate.drive = WithBackslash(drive);
        candidate.windowsFolder = candidate.drive + u"Windows";
        candidate.hivePath = candidate.drive + kHiveBelowDrive;
        if (!probe.IsFile(candidate.hivePath)) continue;
        found.push_back(std::move(candidate));
    }
    return found;
}

void ReadVersions(std::vector<InstalledWindows>* found, DriveProbe& probe) {
    for (InstalledWindows& windows : *found) {
        windows.versionRead = probe.ReadVersion(windows.hivePath, &windows.version) == kRegOk;
    }
}

RegResult ReadWindowsVersion(Registry& registry, WindowsVersion* version) {
    UniqueKey key(registry);
    const RegResult opened = key.TryOpen(kLocalMachine, kCurrentVersion, kKeyRead);
    if (opened != kRegOk) return opened;
    version->product = StringValue(registry, key.get(), u"ProductName");
    version->displayVersion = StringValue(registry, key.get(), u"DisplayVersion");
    version->build = StringValue(registry, key.get(), u"CurrentBuild");
    return kRegOk;
}

}  // namespace vornex
