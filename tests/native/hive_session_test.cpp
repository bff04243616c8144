// The window on a hive file: the session's order (one copy before the first
// change, the file written after each), and what it says when the copy, the
// write or the open fails, over the in-memory store and a fake window.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "app/hive_session.h"
#include "app/texts.h"
#include "core/ifeo_scan.h"
#include "tests/doubles/fake_window.h"
#include "tests/doubles/memory_registry.h"

namespace vornex::testing {
namespace {

const Text kPath = u"D:\\Windows\\System32\\config\\SOFTWARE";

// A hive "file" (its redirections by name) and the documents opened on it:
// each reads the file into memory; a commit writes memory back.
struct FakeDisk {
    std::map<Text, Text> file;
    std::vector<std::string> log;  // open, backup, commit, in order
    RegResult openCode = kRegOk;
    RegResult writable = kRegOk;
    RegResult backupCode = kRegOk;
    RegResult commitCode = kRegOk;
    std::map<Text, Text> backedUp;
    std::vector<std::string> refusedLogs;
};

class FakeDocument : public HiveDocument {
public:
    explicit FakeDocument(FakeDisk& disk) : disk_(disk) {
        memory_.CreateKey(kIfeoKeyPath);
        for (const auto& [name, command] : disk.file) {
            memory_.SetString(kIfeoKeyPath + u'\\' + name, u"Debugger", command);
        }
        opened_ = memory_.Dump();
    }
    Registry& registry() override { return memory_; }
    RegResult Writable() const override { return disk_.writable; }
    bool Changed() const override { return memory_.Dump() != opened_; }
    std::vector<std::string> LogsRefused() const override { return disk_.refusedLogs; }
    RegResult Backup(std::string* backupPath, std::string*) override {
        disk_.log.push_back("backup");
        if (disk_.backupCode != kRegOk) return disk_.backupCode;
        disk_.backedUp = disk_.file;
        *backupPath = "SOFTWARE.vornex-backup";
        return kRegOk;
    }
    RegResult Commit(std::string*) override {
        disk_.log.push_back("commit");
        if (disk_.commitCode != kRegOk) return disk_.commitCode;
        disk_.file.clear();
        for (const Entry& entry : ScanIfeo(memory_).entries) disk_.file[entry.name] = entry.command;
        opened_ = memory_.Dump();
        return kRegOk;
    }

private:
    FakeDisk& disk_;
    MemoryRegistry memory_;
    std::string opened_;
};

class HiveWindow : public ::testing::Test {
protected:
    HiveWindow()
        : session(kPath,
                  [this](RegResult* code, std::string*) -> std::unique_ptr<HiveDocument> {
                      disk.log.push_back("open");
                      *code = disk.openCode;
                      if (disk.openCode != kRegOk) return nullptr;
                      return std::make_unique<FakeDocument>(disk);
                  }),
          form(session, window) {
        disk.file = {{u"a.exe", u"aa"}, {u"b.exe", u"bb"}, {u"c.exe", u"cc"}};
    }

    void Start() {
        if (form.Form_Initialize()) form.Form_Load();
    }
    void RepairLine(int index) {
        window.Select(index);
        form.lstListKey_Click();
        form.cmdDelete_Click();
    }
    std::vector<Text> MessageTexts() const {
        std::vector<Text> out;
        for (const auto& m : window.messages) out.push_back(m.text);
        return out;
    }

    FakeDisk disk;
    FakeWindow window;
    HiveSession session;
    FrmMain form;
};

TEST_F(HiveWindow, ListsTheHiveNamesItInTheCaptionAndCopiesItOnceBeforeTheFirstChange) {
    Start();
    EXPECT_EQ(window.formCaption, kPath + u" － " + texts::kWindowTitle);
    EXPECT_EQ(window.lines, (std::vector<Text>{u"a.exe", u"b.exe", u"c.exe"}));
    EXPECT_TRUE(window.messages.empty());

    RepairLine(0);
    RepairLine(0);
    EXPECT_EQ(disk.log, (std::vector<std::string>{"open", "backup", "commit", "commit"}));
    EXPECT_EQ(disk.backedUp.size(), 3u) << "the copy holds the hive as it was before any change";
    EXPECT_EQ(disk.file, (std::map<Text, Text>{{u"c.exe", u"cc"}}));
    EXPECT_EQ(MessageTexts(), (std::vector<Text>{texts::kRepaired, texts::kRepaired}));
    EXPECT_EQ(window.lines, std::vector<Text>{u"c.exe"});
}

struct FailedStep {
    const char* name;
    RegResult FakeDisk::*code;
    Text (*message)(long);
    std::vector<std::string> log;
};

class HiveWindowFailure : public HiveWindow, public ::testing::WithParamInterface<FailedStep> {};

// Whatever fails, the user is told, never the success notice, the list
// stays, the file is as it was; the next try reads the file again.
TEST_P(HiveWindowFailure, IsSaidAndChangesNothingVisible) {
    Start();
    const std::map<Text, Text> before = disk.file;
    disk.*GetParam().code = kRegDiskFull;
    RepairLine(1);
    EXPECT_EQ(disk.log, GetParam().log);
    EXPECT_EQ(MessageTexts(), std::vector<Text>{GetParam().message(kRegDiskFull)});
    EXPECT_EQ(window.lines, (std::vector<Text>{u"a.exe", u"b.exe", u"c.exe"}));
    EXPECT_EQ(disk.file, before);

    disk.*GetParam().code = kRegOk;
    RepairLine(1);
    EXPECT_EQ(disk.file, (std::map<Text, Text>{{u"a.exe", u"aa"}, {u"c.exe", u"cc"}}));
    EXPECT_EQ(window.lines, (std::vector<Text>{u"a.exe", u"c.exe"}));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, HiveWindowFailure,
    ::testing::Values(FailedStep{"Backup", &FakeDisk::backupCode, texts::HiveBackupFailed, {"open", "backup"}},
                      FailedStep{"Commit", &FakeDisk::commitCode, texts::HiveWriteFailed,
                                 {"open", "backup", "commit"}}),
    [](const ::testing::TestParamInfo<FailedStep>& step) { return std::string(step.param.name); });

TEST_F(HiveWindow, AStaleHiveIsShownWithAWarningAndRefusesEveryChange) {
    disk.writable = kRegBadDatabase;
    Start();
    EXPECT_EQ(window.lines.size(), 3u);
    ASSERT_EQ(MessageTexts(), std::vector<Text>{texts::HiveReadOnlyWarning(kPath, kRegBadDatabase)});
    EXPECT_TRUE(window.visible) << "the warning stands over the window";

    RepairLine(0);
    window.answers = {kAnswerOk};
    form.cmdFix_Click();
    EXPECT_EQ(disk.log, std::vector<std::string>{"open"}) << "no copy, no write";
    EXPECT_EQ(window.messages.back().text, texts::HiveChangeRefused(kRegBadDatabase));
    EXPECT_EQ(window.lines.size(), 3u);
}

TEST_F(HiveWindow, ALogNotReadIsNamedOverTheWindowAndChangesStayAllowed) {
    disk.refusedLogs = {"SOFTWARE.LOG1"};
    Start();
    EXPECT_EQ(MessageTexts(), std::vector<Text>{texts::LogsNotRead({u"SOFTWARE.LOG1"})});
    RepairLine(0);
    EXPECT_EQ(disk.log, (std::vector<std::string>{"open", "backup", "commit"}));
}

TEST_F(HiveWindow, AnEmptyStaleHiveIsNeverToldAsNothingFound) {
    disk.file.clear();
    disk.writable = kRegBadDatabase;
    Start();
    EXPECT_EQ(MessageTexts(), std::vector<Text>{texts::HiveReadOnlyWarning(kPath, kRegBadDatabase)});
}

struct OpenFailure {
    RegResult code;
    const char16_t* says;
};

class HiveWindowOpen : public HiveWindow, public ::testing::WithParamInterface<OpenFailure> {};

// No hive, a damaged one, the running Windows' own, a missing one: each said
// as such over an empty window with the repairs off, never "nothing found".
TEST_P(HiveWindowOpen, AFileThatCannotBeReadIsSaidAsSuch) {
    disk.openCode = GetParam().code;
    Start();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_NE(window.messages[0].text.find(GetParam().says), Text::npos) << ToUtf8(window.messages[0].text);
    EXPECT_NE(window.messages[0].text, texts::kNothingFound);
    EXPECT_TRUE(window.lines.empty());
    EXPECT_FALSE(window.cmdFixEnabled);
    EXPECT_FALSE(window.cmdDeleteEnabled);
    EXPECT_EQ(window.formCaption, texts::HiveCaption(kPath));
}

INSTANTIATE_TEST_SUITE_P(Codes, HiveWindowOpen,
                         ::testing::Values(OpenFailure{kRegBadDatabase, u"不是配置单元，或者已经损坏"},
                                           OpenFailure{kRegSharingViolation, u"请不带路径启动本工具"},
                                           OpenFailure{kRegFileNotFound, u"找不到文件"},
                                           OpenFailure{kRegAccessDenied, u"错误代码 5"}));

TEST(HiveCaption, APathCannotForgeTheCaption) {
    // A right-to-left override or a line break in a file's name would make the
    // caption read as another path.
    const Text forged = u"E:\\x\u202Eexe.ERAWTFOS\r\nC:\\Windows";
    const Text caption = texts::HiveCaption(forged);
    EXPECT_EQ(caption.find(u'\u202E'), Text::npos);
    EXPECT_EQ(caption.find(u'\r'), Text::npos);
    EXPECT_NE(caption.find(u"\\u202E"), Text::npos);
}

}  // namespace
}  // namespace vornex::testing
