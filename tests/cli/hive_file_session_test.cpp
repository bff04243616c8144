// The hive session beyond the shared contract: what reaches the file,
// read-only use, and damaged files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "core/ifeo.h"
#include "stores/hive/hive_session.h"
#include "tests/cli/empty_hive.h"
#include "tests/cli/hive_registry_probe.h"
#include "tests/cli/hive_seed.h"

namespace vornex::testing {
namespace {

using Mode = hive::HiveFileSession::Mode;
const Text kKey = kIfeoKeyPath + u"\\a.exe";

std::vector<unsigned char> Utf16(const Text& text) {
    std::vector<unsigned char> bytes;
    for (char16_t c : text + u'\0') {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    return bytes;
}

std::vector<unsigned char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class HiveFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vornex-hive-XXXXXX";
        const int fd = mkstemp(pattern);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = pattern;
        ASSERT_TRUE(WriteEmptyHive(path_));
    }
    void TearDown() override { std::remove(path_.c_str()); }

    std::unique_ptr<hive::HiveFileSession> Open(Mode mode) {
        std::string error;
        auto hive = hive::HiveFileSession::Open(path_, mode, &error);
        EXPECT_TRUE(hive) << error;
        return hive;
    }

    // A hive with one IFEO subkey holding a Debugger and two other values.
    void Seed() {
        HiveSeed seed(path_);
        ASSERT_TRUE(seed.SetValue(kKey, u"Debugger", kRegSz, Utf16(u"evil.exe")));
        ASSERT_TRUE(seed.SetValue(kKey, u"GlobalFlag", 4, {0x00, 0x02, 0x00, 0x00}));
        ASSERT_TRUE(seed.SetValue(kKey, u"Blob", 3, {1, 2, 3, 4, 5, 6, 7}));
        ASSERT_TRUE(seed.Commit());
    }

    std::vector<std::pair<Text, std::vector<unsigned char>>> Values(HiveRegistry& hive, const Text& path) {
        std::vector<std::pair<Text, std::vector<unsigned char>>> values;
        KeyHandle key = 0;
        if (hive.OpenKey(kLocalMachine, path, kKeyAllAccess, &key) != kRegOk) return values;
        for (std::uint32_t i = 0;; ++i) {
            char16_t name[64];
            std::uint32_t length = 64;
            std::vector<unsigned char> data(64);
            auto size = static_cast<std::uint32_t>(data.size());
            if (hive.EnumValue(key, i, name, &length, nullptr, data.data(), &size) != kRegOk) break;
            data.resize(size);
            values.emplace_back(Text(name, length), data);
        }
        hive.CloseKey(key);
        return values;
    }

    std::string path_;
};

TEST_F(HiveFile, CommittedChangesAreInTheFileAndUncommittedOnesAreNot) {
    Seed();
    {
        auto hive = Open(Mode::kWrite);
        EXPECT_EQ(Values(hive->registry(), kKey).size(), 3u);
        KeyHandle key = 0;
        ASSERT_EQ(hive->registry().OpenKey(kLocalMachine, kKey, kKeyAllAccess, &key), kRegOk);
        ASSERT_EQ(hive->registry().DeleteValue(key, u"DEBUGGER"), kRegOk);
        hive->registry().CloseKey(key);
        EXPECT_TRUE(hive->Changed());
        // Closed without Commit: the file keeps the value.
    }
    {
        auto hive = Open(Mode::kWrite);
        EXPECT_EQ(Values(hive->registry(), kKey).size(), 3u);
        KeyHandle key = 0;
        ASSERT_EQ(hive->registry().OpenKey(kLocalMachine, kKey, kKeyAllAccess, &key), kRegOk);
        ASSERT_EQ(hive->registry().DeleteValue(key, u"Debugger"), kRegOk);
        hive->registry().CloseKey(key);
        std::string error;
        ASSERT_EQ(hive->Commit(&error), kRegOk) << error;
        EXPECT_FALSE(hive->Changed());
        EXPECT_EQ(HiveRegistryProbe::OpenHandleCount(hive->registry()), 0u);
    }
    auto hive = Open(Mode::kReadOnly);
    const auto values = Values(hive->registry(), kKey);
    ASSERT_EQ(values.size(), 2u);
    // The values that stay are rewritten byte for byte.
    EXPECT_EQ(values[0].first, u"GlobalFlag");
    EXPECT_EQ(values[0].second, (std::vector<unsigned char>{0x00, 0x02, 0x00, 0x00}));
    EXPECT_EQ(values[1].first, u"Blob");
    EXPECT_EQ(values[1].second, (std::vector<unsigned char>{1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(HiveFile, ReadOnlyHivesRefuseEveryChangeAndLeaveTheFileAlone) {
    Seed();
    const auto before = ReadFile(path_);
    {
        auto hive = Open(Mode::kReadOnly);
        KeyHandle ifeo = 0;
        const Text parent = kKey.substr(0, kKey.rfind(u'\\'));
        ASSERT_EQ(hive->registry().OpenKey(kLocalMachine, parent, kKeyAllAccess, &ifeo), kRegOk);
        EXPECT_NE(hive->registry().DeleteKey(ifeo, u"a.exe"), kRegOk);
        KeyHandle key = 0;
        ASSERT_EQ(hive->registry().OpenKey(ifeo, u"a.exe", kKeyAllAccess, &key), kRegOk);
        EXPECT_NE(hive->registry().DeleteValue(key, u"Debugger"), kRegOk);
        hive->registry().CloseKey(key);
        hive->registry().CloseKey(ifeo);
        EXPECT_FALSE(hive->Changed());
    }
    EXPECT_EQ(ReadFile(path_), before);
}

TEST_F(HiveFile, TheRootStandsForSoftwareAndNothingElseOfTheMachine) {
    Seed();
    auto hive = Open(Mode::kReadOnly);
    KeyHandle key = 0;
    EXPECT_EQ(hive->registry().OpenKey(kLocalMachine, u"software", kKeyAllAccess, &key), kRegOk);
    hive->registry().CloseKey(key);
    EXPECT_NE(hive->registry().OpenKey(kLocalMachine, u"SYSTEM", kKeyAllAccess, &key), kRegOk);
    // Repeated separators name nothing, as in the registry's own parser.
    EXPECT_EQ(hive->registry().OpenKey(kLocalMachine, u"SOFTWARE\\\\Microsoft\\", kKeyAllAccess, &key), kRegOk);
    hive->registry().CloseKey(key);
    EXPECT_NE(hive->registry().OpenKey(kLocalMachine, u"SOFTWAREX\\Microsoft", kKeyAllAccess, &key), kRegOk);
    EXPECT_EQ(HiveRegistryProbe::OpenHandleCount(hive->registry()), 0u);
}

// The codes a front end tells its messages by, in both modes; nothing that
// is no file is read (a pipe or a device would wait or never end).
TEST_F(HiveFile, WhatCannotBeOpenedIsToldByItsCode) {
    const std::string fifo = path_ + ".fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string noHive = path_ + ".text";
    WriteFile(noHive, {'r', 'e', 'g', 'f'});
    const std::string empty = path_ + ".empty";
    WriteFile(empty, {});
    struct Case {
        std::string path;
        RegResult code;
    };
    const Case cases[] = {
        {"/nonexistent/SOFTWARE", kRegFileNotFound},
        {"/tmp", kRegInvalidParameter},
        {fifo, kRegInvalidParameter},
        {"/dev/zero", kRegInvalidParameter},
        {noHive, kRegBadDatabase},
        {empty, kRegBadDatabase},
    };
    for (const Case& c : cases) {
        for (const Mode mode : {Mode::kReadOnly, Mode::kWrite}) {
            std::string error;
            RegResult code = kRegOk;
            EXPECT_FALSE(hive::HiveFileSession::Open(c.path, mode, &error, &code)) << c.path;
            EXPECT_EQ(code, c.code) << c.path << ": " << error;
            EXPECT_EQ(error.rfind(c.path, 0), 0u) << error;
            EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        }
    }
    for (const std::string& made : {fifo, noHive, empty}) std::remove(made.c_str());
}

// The one answer to "may this hive be changed": for the window, which opens
// read only what it may not change, and for the CLI, which refuses it.
TEST_F(HiveFile, WhetherAHiveMayBeChangedIsAnsweredOnceWithWhy) {
    Seed();
    auto stale = ReadFile(path_);
    stale[4] ^= 1;  // the primary sequence number: dirty, and no log beside it
    FixHeaderChecksum(stale);
    const auto clean = ReadFile(path_);
    struct Case {
        const char* what;
        bool dirty;
        bool locked;
        RegResult writable;
    };
    const Case cases[] = {
        {"clean", false, false, kRegOk},
        {"locked by another program", false, true, kRegLockViolation},
        {"dirty with no usable log", true, false, kRegBadDatabase},
    };
    for (const Case& c : cases) {
        WriteFile(path_, c.dirty ? stale : clean);
        const int other = open(path_.c_str(), O_RDONLY);
        if (c.locked) {
            ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
        }
        std::string error;
        RegResult code = kRegGenFailure;
        auto hive = hive::HiveFileSession::Open(path_, Mode::kWriteIfAllowed, &error, &code);
        ASSERT_TRUE(hive) << c.what << ": " << error;
        std::string why;
        EXPECT_EQ(hive->Writable(&why), c.writable) << c.what;
        EXPECT_EQ(why.empty(), c.writable == kRegOk) << c.what << ": " << why;
        KeyHandle key = 0;
        ASSERT_EQ(hive->registry().OpenKey(kLocalMachine, kKey, kKeyAllAccess, &key), kRegOk) << c.what;
        EXPECT_EQ(hive->registry().DeleteValue(key, u"Debugger") == kRegAccessDenied, c.writable != kRegOk) << c.what;
        hive->registry().CloseKey(key);
        // Asked to be changed, the same hive is refused with the same code.
        hive.reset();
        const bool opened = static_cast<bool>(hive::HiveFileSession::Open(path_, Mode::kWrite, &error, &code));
        EXPECT_EQ(opened, c.writable == kRegOk) << c.what;
        EXPECT_EQ(code, c.writable) << c.what;
        close(other);
    }
}

TEST_F(HiveFile, TruncatedHivesDoNotOpen) {
    Seed();
    const auto whole = ReadFile(path_);
    for (std::size_t size : {std::size_t{4}, std::size_t{0x200}, std::size_t{0x1000}, std::size_t{0x1010},
                             whole.size() - 0x1000, whole.size() - 1}) {
        WriteFile(path_, std::vector<unsigned char>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
        std::string error;
        EXPECT_FALSE(hive::HiveFileSession::Open(path_, Mode::kReadOnly, &error)) << "size " << size;
    }
}

TEST_F(HiveFile, ABadRootOffsetDoesNotOpenAndBadListOffsetsAreReportedAsDamage) {
    Seed();
    auto bytes = ReadFile(path_);
    auto root = bytes;
    root[0x24] = 0x10;  // root cell offset into the bin header
    FixHeaderChecksum(root);
    WriteFile(path_, root);
    std::string error;
    EXPECT_FALSE(hive::HiveFileSession::Open(path_, Mode::kReadOnly, &error));

    // The root's subkey-list offset (nk +0x20, the root cell at bin +0x20) pointing nowhere.
    auto list = bytes;
    const std::size_t field = 0x1000 + 0x20 + 0x20;
    list[field] = 0x44;
    list[field + 1] = 0x33;
    list[field + 2] = 0x00;
    list[field + 3] = 0x00;
    WriteFile(path_, list);
    auto hive = hive::HiveFileSession::Open(path_, Mode::kReadOnly, &error);
    if (hive) {
        KeyHandle key = 0;
        // Damage is told from absence: the registry's "bad database", not "not found".
        EXPECT_EQ(hive->registry().OpenKey(kLocalMachine, kKey, kKeyAllAccess, &key), kRegBadDatabase);
    }
}

TEST_F(HiveFile, RandomDamageNeverCrashesTheStore) {
    Seed();
    const auto whole = ReadFile(path_);
    std::mt19937 random(20240601);
    for (int round = 0; round < 200; ++round) {
        auto bytes = whole;
        for (int flips = 0; flips < 4; ++flips) {
            bytes[random() % bytes.size()] = static_cast<unsigned char>(random());
        }
        if (round % 2) FixHeaderChecksum(bytes);
        WriteFile(path_, bytes);
        std::string error;
        auto hive = hive::HiveFileSession::Open(path_, Mode::kReadOnly, &error);
        if (!hive) continue;
        KeyHandle key = 0;
        if (hive->registry().OpenKey(kLocalMachine, kKey, kKeyAllAccess, &key) == kRegOk) {
            Values(hive->registry(), kKey);
            hive->registry().CloseKey(key);
        }
    }
    SUCCEED();
}

}  // namespace
}  // namespace vornex::testing
