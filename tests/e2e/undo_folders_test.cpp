// Where undo files go, on the real file system: a planted file, link or
// read-only folder is passed over for the next place; with no place left
// nothing is written, and an existing file is never overwritten.
#include <gtest/gtest.h>
#include <windows.h>

#include "stores/undo/undo_files.h"
#include "win32/wide_text.h"
#include "win_driver.h"

namespace vornex::e2e {
namespace {

using windriver::JoinPath;

class UndoFolders : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root_ = JoinPath(temp, L"undo-folders-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(++runs_));
        ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
        record_.keys.emplace_back();
        record_.keys.back().path = u"SOFTWARE\\k.exe";
        record_.keys.back().values = {{u"Debugger", 1, {'x', 0, 0, 0}, 4, true}};
    }
    Text In(const std::wstring& name) const { return win32::FromWide(JoinPath(root_, name)); }
    static bool IsFile(const Text& path) {
        const DWORD attributes = GetFileAttributesW(win32::Wide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    std::wstring root_;
    UndoRecord record_;
    static inline int runs_ = 0;
};

TEST_F(UndoFolders, APlantedFileOrLinkIsPassedOverForTheNextPlace) {
    const Text planted = In(L"planted");
    CloseHandle(CreateFileW(win32::Wide(planted).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    const Text elsewhere = In(L"elsewhere");
    ASSERT_TRUE(CreateDirectoryW(win32::Wide(elsewhere).c_str(), nullptr));
    const Text link = In(L"link");
    CreateSymbolicLinkW(win32::Wide(link).c_str(), win32::Wide(elsewhere).c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    const DWORD linkAttributes = GetFileAttributesW(win32::Wide(link).c_str());
    // Wine 8 answers the call but makes no link that reads as one; Windows does.
    const bool linked = linkAttributes != INVALID_FILE_ATTRIBUTES && (linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    const Text next = In(L"next");
    UndoFiles files({planted, linked ? link : planted, next}, u"name.reg");
    EXPECT_EQ(files.Planned(), next + u"\\name.reg") << "a dry run names where the real run writes";
    EXPECT_EQ(GetFileAttributesW(win32::Wide(next).c_str()), INVALID_FILE_ATTRIBUTES) << "a dry run makes nothing";
    ASSERT_EQ(files.Keep(record_), kRegOk);
    EXPECT_EQ(files.path(), next + u"\\name.reg");
    EXPECT_TRUE(IsFile(files.path()));
    EXPECT_FALSE(IsFile(elsewhere + u"\\name.reg")) << "written through a link";
    EXPECT_EQ(files.refusals().size(), 2u);
    if (!linked) std::printf("note: no directory link that reads as one could be made here\n");
}

TEST_F(UndoFolders, AnExistingFileIsNeverOverwritten) {
    const Text folder = In(L"f");
    UndoFiles first({folder}, u"same.reg");
    UndoFiles second({folder}, u"same.reg");
    ASSERT_EQ(first.Keep(record_), kRegOk);
    ASSERT_EQ(second.Keep(record_), kRegOk);
    EXPECT_EQ(second.path(), folder + u"\\same (2).reg");
    EXPECT_NE(first.path(), second.path());
}

TEST_F(UndoFolders, WithNoPlaceLeftNothingIsWritten) {
    const Text planted = In(L"planted");
    CloseHandle(CreateFileW(win32::Wide(planted).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    // A medium that takes no file (Wine's Z: is the Unix root; sysfs refuses
    // new files even to root), and a drive that is not there.
    const Text readOnly = u"Z:\\sys\\kernel";
    const Text missingDrive = u"Q:\\no\\such\\place";
    UndoFiles files({planted, readOnly, missingDrive}, u"name.reg");
    const RegResult kept = files.Keep(record_);
    EXPECT_NE(kept, kRegOk);
    EXPECT_TRUE(files.path().empty());
    EXPECT_EQ(files.refusals().size(), 3u);
    EXPECT_FALSE(IsFile(readOnly + u"\\name.reg"));
}

}  // namespace
}  // namespace vornex::e2e
