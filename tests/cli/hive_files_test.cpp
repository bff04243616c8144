// The hive's file layer, commit and backup, over the real file layer of the
// system it runs on (natively the POSIX one, under Wine the Win32 one): the
// one rule for a hive's logs, a cut at every file operation, and (Windows) a
// hive another program holds open, and a path past 260 characters.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "win32/wide_text.h"
#endif

#include "stores/hive/hive_commit.h"
#include "stores/hive/hive_file.h"
#include "stores/hive/hive_logs.h"
#include "tests/cli/empty_hive.h"

namespace vornex::testing {
namespace {

namespace fs = std::filesystem;
using hive::FileFailure;
using hive::HiveFileLayer;
using hive::InFile;
using hive::OutFile;
using Bytes = std::vector<unsigned char>;

TEST(HiveLogs, OneRuleForReplayAndBackup) {
    struct Case {
        std::vector<std::string> files;
        std::string first, second;
    };
    const Case cases[] = {
        {{"SOFTWARE", "SOFTWARE.LOG1", "SOFTWARE.LOG2"}, "SOFTWARE.LOG1", "SOFTWARE.LOG2"},
        // A case-sensitive view of NTFS; the exact name wins, then byte order.
        {{"SOFTWARE", "software.log1", "SOFTWARE.Log2"}, "software.log1", "SOFTWARE.Log2"},
        {{"software.LOG1", "SOFTWARE.LOG1", "Software.LOG1"}, "SOFTWARE.LOG1", ""},
        {{"Software.LOG1", "software.LOG1"}, "Software.LOG1", ""},
        // The one-log scheme only when there is no LOG1 or LOG2.
        {{"SOFTWARE.LOG"}, "SOFTWARE.LOG", ""},
        {{"SOFTWARE.LOG", "SOFTWARE.LOG2"}, "", "SOFTWARE.LOG2"},
        // Names planted to look like a log are none.
        {{"SOFTWARE.LOG1.bak", "SOFTWARE.LOG1 ", "SOFTWAREX.LOG1", "SOFTWARE.LOG3", "SOFTWARE.L0G1"}, "", ""},
        {{"SOFTWARE.LOG\xC4\xB1" "1"}, "", ""},  // a dotless i is no ASCII letter case
    };
    for (const Case& c : cases) {
        const hive::LogNames logs = hive::FindLogs("SOFTWARE", c.files);
        EXPECT_EQ(logs.first, c.first) << c.files.front();
        EXPECT_EQ(logs.second, c.second) << c.files.front();
    }
}

// Fails the k-th file operation (creating, reading, writing, flushing,
// closing, replacing, flushing the folder), as a full disk or a failing
// device would, and passes everything else to the real layer.
class FailingLayer : public HiveFileLayer {
public:
    FailingLayer(HiveFileLayer& real, int failAt) : real_(real), failAt_(failAt) {}
    int operations() const { return count_; }

    std::string RealPath(const std::string& path) override { return real_.RealPath(path); }
    FileFailure Hold(const std::string& path) override { return real_.Hold(path); }
    FileFailure CreateNew(const std::string& path, std::unique_ptr<OutFile>* out) override {
        if (Cut()) return Cut(path);
        std::unique_ptr<OutFile> file;
        if (FileFailure failed = real_.CreateNew(path, &file)) return failed;
        *out = std::make_unique<Out>(*this, std::move(file));
        return {};
    }
    FileFailure CreateBeside(const std::string& target, std::string* made, std::unique_ptr<OutFile>* out) override {
        if (Cut()) return Cut(target);
        std::unique_ptr<OutFile> file;
        if (FileFailure failed = real_.CreateBeside(target, made, &file)) return failed;
        *out = std::make_unique<Out>(*this, std::move(file));
        return {};
    }
    FileFailure OpenRead(const std::string& path, std::unique_ptr<InFile>* in) override {
        return Opened(path, &HiveFileLayer::OpenRead, in);
    }
    FileFailure OpenLog(const std::string& path, std::unique_ptr<InFile>* in) override {
        return Opened(path, &HiveFileLayer::OpenLog, in);
    }
    FileFailure Replace(const std::string& from, const std::string& target) override {
        return Cut() ? Cut(target) : real_.Replace(from, target);
    }
    FileFailure LinkNew(const std::string& path, const std::string& to) override {
        return Cut() ? Cut(to) : real_.LinkNew(path, to);
    }
    FileFailure FlushFolder(const std::string& folder) override {
        return Cut() ? Cut(folder) : real_.FlushFolder(folder);
    }
    bool Exists(const std::string& path) override { return real_.Exists(path); }
    void Remove(const std::string& path) override { real_.Remove(path); }
    std::vector<std::string> FilesIn(const std::string& folder) override { return real_.FilesIn(folder); }

private:
    struct Out : OutFile {
        Out(FailingLayer& layer, std::unique_ptr<OutFile> file) : layer_(layer), file_(std::move(file)) {}
        FileFailure Write(const unsigned char* data, std::size_t size) override {
            return layer_.Cut() ? layer_.Cut("write") : file_->Write(data, size);
        }
        FileFailure Flush() override { return layer_.Cut() ? layer_.Cut("flush") : file_->Flush(); }
        FileFailure Close() override { return layer_.Cut() ? layer_.Cut("close") : file_->Close(); }
        FailingLayer& layer_;
        std::unique_ptr<OutFile> file_;
    };
    struct In : InFile {
        In(FailingLayer& layer, std::unique_ptr<InFile> file) : layer_(layer), file_(std::move(file)) {}
        FileFailure Read(unsigned char* data, std::size_t room, std::size_t* got) override {
            return layer_.Cut() ? layer_.Cut("read") : file_->Read(data, room, got);
        }
        std::uint64_t SizeHint() const override { return file_->SizeHint(); }
        FailingLayer& layer_;
        std::unique_ptr<InFile> file_;
    };
    using Open = FileFailure (HiveFileLayer::*)(const std::string&, std::unique_ptr<InFile>*);
    FileFailure Opened(const std::string& path, Open open, std::unique_ptr<InFile>* in) {
        if (Cut()) return Cut(path);
        std::unique_ptr<InFile> file;
        if (FileFailure failed = (real_.*open)(path, &file)) return failed;
        *in = std::make_unique<In>(*this, std::move(file));
        return {};
    }
    bool Cut() { return ++count_ == failAt_; }
    static FileFailure Cut(const std::string& where) { return {kRegWriteFault, where + ": cut"}; }

    HiveFileLayer& real_;
    int failAt_;
    int count_ = 0;
};

Bytes ReadVia(HiveFileLayer& files, const std::string& path) {
    std::unique_ptr<InFile> in;
    Bytes bytes;
    if (files.OpenRead(path, &in)) return bytes;
    unsigned char buffer[4096];
    std::size_t got = 0;
    while (!in->Read(buffer, sizeof buffer, &got) && got > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    return bytes;
}

bool WriteVia(HiveFileLayer& files, const std::string& path, const Bytes& bytes) {
    std::unique_ptr<OutFile> out;
    return !files.CreateNew(path, &out) && !out->Write(bytes.data(), bytes.size()) && !out->Close();
}

class HiveFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path base = fs::temp_directory_path() / ("vornex-hivefiles-" + std::to_string(std::rand()));
        fs::create_directories(base);
        folder_ = base.u8string() + static_cast<char>(fs::path::preferred_separator);
        hive_ = folder_ + "SOFTWARE";
        old_ = EmptyHiveBytes();
        new_ = old_;
        new_[0x30] ^= 0x5A;  // the "changed" hive: other bytes, same size
        log1_ = Bytes(1536, 0x11);
        log2_ = Bytes(512, 0x22);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(fs::u8path(folder_), ignored);
    }
    void Lay(HiveFileLayer& files, const std::string& hive) {
        ASSERT_TRUE(WriteVia(files, hive, old_));
        ASSERT_TRUE(WriteVia(files, hive + ".LOG1", log1_));
        ASSERT_TRUE(WriteVia(files, hive + ".LOG2", log2_));
    }
    // Backup, then the new hive in place: as the store commits a change.
    FileFailure Change(HiveFileLayer& files, const std::string& hive, std::string* backup) {
        if (FileFailure held = files.Hold(hive)) return held;
        if (FileFailure failed = hive::WriteHiveBackup(files, hive, {"SOFTWARE.LOG1", "SOFTWARE.LOG2"}, backup)) return failed;
        return hive::ReplaceHiveFile(files, hive, new_);
    }

    std::string folder_;
    std::string hive_;
    Bytes old_, new_, log1_, log2_;
};

TEST_F(HiveFiles, ACutAtEveryOperationLeavesHiveLogsAndBackupWhole) {
    int k = 1;
    for (;; ++k) {
        ASSERT_LT(k, 100) << "the change never went through";
        std::unique_ptr<HiveFileLayer> real = hive::SystemFileLayer();
        for (const std::string& name : real->FilesIn(folder_)) real->Remove(folder_ + name);
        Lay(*real, hive_);
        FailingLayer files(*real, k);
        std::string backup;
        const FileFailure failed = Change(files, hive_, &backup);
        SCOPED_TRACE("operation " + std::to_string(k) + ": " + failed.message);
        real = hive::SystemFileLayer();  // the hold ends, as when the program ends
        const bool inPlace = failed.message.find("new hive is in place") != std::string::npos;
        EXPECT_EQ(ReadVia(*real, hive_), (!failed || inPlace) ? new_ : old_);
        EXPECT_EQ(ReadVia(*real, hive_ + ".LOG1"), log1_);
        EXPECT_EQ(ReadVia(*real, hive_ + ".LOG2"), log2_);
        std::size_t backups = 0;
        for (const std::string& name : real->FilesIn(folder_)) {
            EXPECT_EQ(name.find(".vornex-new-"), std::string::npos) << name << " left behind";
            if (name.find(".vornex-backup-") == std::string::npos) continue;
            ++backups;
            const Bytes copy = ReadVia(*real, folder_ + name);
            const std::string suffix = name.substr(name.size() - 5);
            EXPECT_EQ(copy, suffix == ".LOG1" ? log1_ : suffix == ".LOG2" ? log2_ : old_) << name;
        }
        EXPECT_TRUE(backups == 0 || backups == 3) << backups << " of the 3 backup files";
        if (!failed) {
            EXPECT_EQ(files.operations(), k - 1);
            break;
        }
        EXPECT_NE(failed.code, kRegAccessDenied) << "a failed write is no refusal";
    }
    EXPECT_GT(k, 10) << "every step of the backup and the commit goes through the layer";
}

// A log beside a hive is read only as a plain file of its folder: a link to a
// file elsewhere (a junction or a symlink on Windows), a folder or a second
// name of another file is refused whatever it leads to.
bool MakeLink(const std::string& target, const std::string& link, bool hard) {
    std::error_code failed;
    if (hard) {
        fs::create_hard_link(fs::u8path(target), fs::u8path(link), failed);
    } else {
        fs::create_symlink(fs::u8path(target), fs::u8path(link), failed);
    }
    return !failed;
}

TEST_F(HiveFiles, ALogIsReadOnlyAsAPlainFileOfItsFolder) {
    std::unique_ptr<HiveFileLayer> files = hive::SystemFileLayer();
    const std::string elsewhere = folder_ + "elsewhere";
    ASSERT_TRUE(WriteVia(*files, elsewhere, log1_));
    ASSERT_TRUE(WriteVia(*files, hive_ + ".LOG1", log1_));
    fs::create_directory(fs::u8path(hive_ + ".LOG2"));
    struct Planted {
        const char* kind;
        std::string path;
        bool made;
    };
    const Planted planted[] = {
        {"a folder", hive_ + ".LOG2", true},
        {"a link", hive_ + ".LOG", MakeLink(elsewhere, hive_ + ".LOG", false)},
        {"a hard link", hive_ + ".log3", MakeLink(elsewhere, hive_ + ".log3", true)},
    };
    std::unique_ptr<InFile> in;
    EXPECT_FALSE(files->OpenLog(hive_ + ".LOG1", &in)) << "a plain log is read";
    for (const Planted& log : planted) {
        if (!log.made) {
            std::printf("(%s cannot be made here: not checked)\n", log.kind);
            continue;
        }
        EXPECT_EQ(files->OpenLog(log.path, &in).code, kRegInvalidParameter) << log.kind;
    }
}

// A copy (the backup's) is the rest of the file as opened, by the system's
// fastest means: whatever its size, and whatever its name leads to since.
TEST_F(HiveFiles, ACopyIsTheRestOfTheFileOpenedWhateverItsNameLeadsToSince) {
    struct Case {
        const char* what;
        std::size_t size, readFirst;
        bool renamed;
    };
    const Case cases[] = {
        {"an empty file", 0, 0, false},
        {"past one mapped window, from an odd offset", (std::size_t{1} << 24) + 4099, 4097, false},
        {"its name given to another file after the open", 70000, 0, true},
    };
    std::unique_ptr<HiveFileLayer> files = hive::SystemFileLayer();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string source = folder_ + "source", copy = folder_ + "copy";
        for (const std::string& name : files->FilesIn(folder_)) files->Remove(folder_ + name);
        Bytes bytes(c.size);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i + i / 251);
        ASSERT_TRUE(WriteVia(*files, source, bytes));
        std::unique_ptr<InFile> in;
        ASSERT_FALSE(files->OpenRead(source, &in));
        Bytes first(c.readFirst);
        std::size_t got = 0;
        ASSERT_TRUE(first.empty() || !in->Read(first.data(), first.size(), &got));
        ASSERT_EQ(got, first.size());
        if (c.renamed) {
            fs::rename(fs::u8path(source), fs::u8path(source + ".away"));
            ASSERT_TRUE(WriteVia(*files, source, Bytes(c.size, 0xEE)));
        }
        std::unique_ptr<OutFile> out;
        ASSERT_FALSE(files->CreateNew(copy, &out));
        ASSERT_FALSE(out->CopyFrom(*in) || out->Flush() || out->Close());
        const Bytes rest(bytes.begin() + static_cast<std::ptrdiff_t>(c.readFirst), bytes.end());
        EXPECT_TRUE(ReadVia(*files, copy) == rest);
    }
}

TEST_F(HiveFiles, AHiveHeldByAnotherProgramIsRefusedWithItsCode) {
    std::unique_ptr<HiveFileLayer> first = hive::SystemFileLayer();
    Lay(*first, hive_);
    ASSERT_FALSE(first->Hold(hive_));
    const FileFailure second = hive::SystemFileLayer()->Hold(hive_);
    // POSIX: the lock; Windows: the first holder shares no writing.
    EXPECT_TRUE(second.code == kRegLockViolation || second.code == kRegSharingViolation) << second.code;
    EXPECT_NE(second.message.find("in use by another program"), std::string::npos) << second.message;
    EXPECT_EQ(hive::SystemFileLayer()->Hold(folder_ + "missing").code, kRegFileNotFound);
}

#ifdef _WIN32
using win32::WideFromUtf8;

TEST_F(HiveFiles, AHiveOpenedWithoutSharingWritesIsRefusedAndLeftAlone) {
    std::unique_ptr<HiveFileLayer> files = hive::SystemFileLayer();
    Lay(*files, hive_);
    // As the kernel holds a loaded hive: reading shared, writing not.
    const HANDLE loaded = CreateFileW(WideFromUtf8(hive_).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(loaded, INVALID_HANDLE_VALUE);
    const FileFailure held = files->Hold(hive_);
    EXPECT_EQ(held.code, kRegSharingViolation);
    EXPECT_NE(held.message.find("in use by another program"), std::string::npos) << held.message;
    std::string backup;
    EXPECT_TRUE(hive::ReplaceHiveFile(*files, hive_, new_)) << "nor can it be replaced";
    CloseHandle(loaded);
    EXPECT_EQ(ReadVia(*files, hive_), old_);
    for (const std::string& name : files->FilesIn(folder_)) EXPECT_EQ(name.find(".vornex-"), std::string::npos);
}

// A device would be read for ever (a console, a pipe) or whole (a disk):
// only a file on a file system is opened, to read or to hold.
TEST_F(HiveFiles, WhatIsNoFileIsRefusedBeforeItIsRead) {
    std::unique_ptr<HiveFileLayer> files = hive::SystemFileLayer();
    std::vector<std::string> paths = {
        "CON", "NUL", "COM1", folder_ + "nul", "\\\\.\\PhysicalDrive0", "\\\\?\\PhysicalDrive0",
        "\\\\?\\GLOBALROOT\\Device\\Null", "\\\\.\\pipe\\vornex", "\\\\?\\C:", "C:", folder_,
    };
    // Wine's drive Z: reaches Linux devices too.
    if (GetFileAttributesW(L"Z:\\dev\\zero") != INVALID_FILE_ATTRIBUTES) paths.push_back("Z:\\dev\\zero");
    for (const std::string& path : paths) {
        std::unique_ptr<InFile> in;
        EXPECT_EQ(files->OpenRead(path, &in).code, kRegInvalidParameter) << path;
        EXPECT_EQ(files->Hold(path).code, kRegInvalidParameter) << path;
    }
}

// As the kernel holds a loaded hive: nothing shared. Reading fails too, with
// the code that tells "in use" from "unreadable".
TEST_F(HiveFiles, AHiveHeldWithoutSharingCannotBeReadEither) {
    std::unique_ptr<HiveFileLayer> files = hive::SystemFileLayer();
    Lay(*files, hive_);
    const HANDLE loaded = CreateFileW(WideFromUtf8(hive_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(loaded, INVALID_HANDLE_VALUE);
    std::unique_ptr<InFile> in;
    const FileFailure read = files->OpenRead(hive_, &in);
    CloseHandle(loaded);
    EXPECT_EQ(read.code, kRegSharingViolation) << read.message;
}

TEST_F(HiveFiles, APathPastTwoHundredSixtyCharactersWorksAndTheHiveKeepsItsAttributes) {
    std::string deep = folder_;
    std::wstring prefixed = L"\\\\?\\" + WideFromUtf8(folder_);
    for (int i = 0; i < 6; ++i) {
        const std::string part(60, static_cast<char>('a' + i));
        deep += part + "\\";
        prefixed += WideFromUtf8(part) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(prefixed.c_str(), nullptr));
    }
    const std::string hive = deep + "SOFTWARE";
    ASSERT_GT(hive.size(), 260u);
    std::unique_ptr<HiveFileLayer> files = hive::SystemFileLayer();
    Lay(*files, hive);
    const std::wstring wide = L"\\\\?\\" + WideFromUtf8(hive);
    ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    std::string backup;
    const FileFailure failed = Change(*files, hive, &backup);
    ASSERT_FALSE(failed) << failed.message;
    files = hive::SystemFileLayer();
    EXPECT_EQ(ReadVia(*files, hive), new_);
    // The new file is the hive as Windows keeps it: its attributes stay.
    EXPECT_EQ(GetFileAttributesW(wide.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(ReadVia(*files, backup), old_);
    EXPECT_EQ(ReadVia(*files, backup + ".LOG1"), log1_);
}
#endif

}  // namespace
}  // namespace vornex::testing
