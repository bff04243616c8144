// Finding the installed Windows from a rescue system, on fake drive lists.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/texts.h"
#include "app/windows_finder.h"
#include "tests/doubles/memory_registry.h"

namespace vornex::testing {
namespace {

const Text kHive = u"Windows\\System32\\config\\SOFTWARE";

// Drives by letter: which hold the hive, and which of those cannot be read.
class FakeDrives : public DriveProbe {
public:
    std::set<Text> hives;
    std::set<Text> unreadable;
    std::map<Text, WindowsVersion> versions;

    bool IsFile(const Text& path) override { return hives.count(path) != 0; }
    RegResult ReadVersion(const Text& hivePath, WindowsVersion* version) override {
        if (unreadable.count(hivePath)) return kRegBadDatabase;
        *version = versions[hivePath];
        return kRegOk;
    }
};

struct FinderCase {
    const char* name;
    std::vector<Text> drives;
    Text systemDrive;
    std::vector<Text> withHive;
    std::vector<Text> found;
};

class Finder : public ::testing::TestWithParam<FinderCase> {};

TEST_P(Finder, ListsTheDrivesWithAnInstalledWindowsButTheSystemsOwn) {
    FakeDrives drives;
    for (const Text& drive : GetParam().withHive) drives.hives.insert(drive + kHive);
    std::vector<Text> found;
    for (const InstalledWindows& windows : FindInstalledWindows(GetParam().drives, GetParam().systemDrive, drives)) {
        EXPECT_EQ(windows.hivePath, windows.drive + kHive);
        EXPECT_EQ(windows.windowsFolder, windows.drive + u"Windows");
        found.push_back(windows.drive);
    }
    EXPECT_EQ(found, GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, Finder,
    ::testing::Values(
        FinderCase{"None", {u"C:\\", u"X:\\"}, u"X:\\", {u"X:\\"}, {}},
        FinderCase{"One", {u"C:\\", u"D:\\", u"X:\\"}, u"X:\\", {u"D:\\", u"X:\\"}, {u"D:\\"}},
        FinderCase{"Several", {u"C:\\", u"D:\\", u"E:\\", u"X:\\"}, u"X:\\", {u"C:\\", u"E:\\"}, {u"C:\\", u"E:\\"}},
        // The PE's own drive, however its letter is written, is never the computer's.
        FinderCase{"SystemDriveInAnyCase", {u"c:\\", u"D:\\"}, u"C:\\", {u"c:\\", u"D:\\"}, {u"D:\\"}},
        FinderCase{"RootWithoutBackslash", {u"D:"}, u"X:\\", {u"D:\\"}, {u"D:\\"}}),
    [](const ::testing::TestParamInfo<FinderCase>& c) { return std::string(c.param.name); });

TEST(FinderVersion, AnUnreadableHiveIsStillListedWithoutAVersion) {
    FakeDrives drives;
    drives.hives = {u"D:\\" + kHive, u"E:\\" + kHive};
    drives.unreadable = {u"D:\\" + kHive};
    drives.versions[u"E:\\" + kHive] = {u"Windows 10 Pro", u"22H2", u"19045"};
    auto found = FindInstalledWindows({u"D:\\", u"E:\\"}, u"X:\\", drives);
    ReadVersions(&found, drives);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_FALSE(found[0].versionRead);
    EXPECT_EQ(texts::InstalledWindowsLine(found[0]), u"D:\\Windows　（无法读取它的版本信息）");
    EXPECT_EQ(texts::InstalledWindowsLine(found[1]), u"E:\\Windows　Windows 10 Pro 22H2（内部版本 19045）");
}

TEST(FinderVersion, ReadFromTheHivesCurrentVersionKey) {
    MemoryRegistry hive;
    const Text key = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    hive.SetString(key, u"ProductName", u"Windows 11 Home");
    hive.SetString(key, u"DisplayVersion", u"23H2");
    hive.SetString(key, u"CurrentBuild", u"22631");
    WindowsVersion version;
    ASSERT_EQ(ReadWindowsVersion(hive, &version), kRegOk);
    EXPECT_EQ(version.product, u"Windows 11 Home");
    EXPECT_EQ(version.displayVersion, u"23H2");
    EXPECT_EQ(version.build, u"22631");
    EXPECT_EQ(hive.OpenHandleCount(), 0u);
}

TEST(FinderVersion, AProductNameCannotForgeAnotherLineOfTheChooser) {
    InstalledWindows forged;
    forged.windowsFolder = u"D:\\Windows";
    forged.versionRead = true;
    forged.version.product = u"Windows 10\r\nC:\\Windows　Windows 11 Pro" + Text(200, u'x');
    const Text line = texts::InstalledWindowsLine(forged);
    EXPECT_EQ(line.find(u'\r'), Text::npos);
    EXPECT_EQ(line.find(u'\n'), Text::npos);
    EXPECT_LT(line.size(), 100u);
    // Cut short where a character of two units would be halved: no half of it is left.
    forged.version.product = Text(59, u'x') + u"\U0001F600" + Text(10, u'x');
    const Text cut = texts::InstalledWindowsLine(forged);
    EXPECT_EQ(cut.find(u'\xD83D'), Text::npos);
}

TEST(RescueSystem, ToldByTheMiniNtKey) {
    MemoryRegistry live;
    live.CreateKey(u"SYSTEM\\CurrentControlSet\\Control");
    EXPECT_FALSE(IsRescueSystem(live));
    live.CreateKey(kMiniNtKeyPath);
    EXPECT_TRUE(IsRescueSystem(live));
    EXPECT_EQ(live.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace vornex::testing
