// What malware can leave in the IFEO key: every listed line must be exact,
// nothing else may be listed, and a repair must hit exactly the named key.
#include <map>

#include "tests/native/form_fixture.h"

namespace vornex::testing {
namespace {

class Hostile : public FormTest {
protected:
    // The commands the listed lines lead to, by line text.
    std::map<Text, Text> Listed() {
        std::map<Text, Text> listed;
        for (std::size_t i = 0; i < window.lines.size(); ++i) listed[window.lines[i]] = form.strDebugger[i];
        EXPECT_EQ(listed.size(), window.lines.size()) << "a name listed twice";
        return listed;
    }
    int LineOf(const Text& name) {
        for (std::size_t i = 0; i < window.lines.size(); ++i) {
            if (window.lines[i] == name) return static_cast<int>(i);
        }
        ADD_FAILURE() << ToUtf8(name) << " is not listed";
        return -1;
    }
};

TEST_F(Hostile, OddNamesAreListedExactlyAsStored) {
    const std::vector<Text> names = {
        Text(251, u'n') + u".exe",                 // 255 characters, the longest a key may have
        u"\U0001F600smile.exe",                     // outside the Basic Multilingual Plane
        u"cafe\u0301.exe",                          // combining mark
        u"exe.\u202Egpj",                           // right-to-left override
        u"zero\u200Bwidth.exe",                     // format character
        u"trailing.exe ", u"trailing.exe.",          // trailing space and dot
        u"\uFF43\uFF41\uFF4C\uFF43.exe",             // full-width letters
        u"amp&ersand.exe",
    };
    std::map<Text, Text> expected;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Text command = u"cmd" + DecimalText(static_cast<unsigned long>(i));
        Redirect(names[i], command);
        expected[names[i]] = command;
    }
    Scan();
    EXPECT_EQ(Listed(), expected);
}

TEST_F(Hostile, ALookAlikeIsRepairedWithoutTouchingTheRealKey) {
    Redirect(u"calc.exe", u"legit-debugger.exe");
    store.SetString(SubkeyPath(u"calc.exe"), u"MitigationOptions", u"keep");
    Redirect(u"c\u0101lc.exe", u"evil.exe");
    Redirect(u"\uFF43alc.exe", u"evil2.exe");
    Scan();
    ASSERT_EQ(window.lines.size(), 3u);
    const std::string before = store.Dump();

    window.Select(LineOf(u"c\u0101lc.exe"));
    form.lstListKey_Click();
    form.cmdDelete1_Click();
    EXPECT_TRUE(store.KeyExists(SubkeyPath(u"calc.exe")));
    EXPECT_FALSE(store.KeyExists(SubkeyPath(u"c\u0101lc.exe")));

    window.Select(LineOf(u"\uFF43alc.exe"));
    form.cmdDelete_Click();
    MemoryRegistry expected;
    expected.CreateKey(kIfeoKeyPath);
    expected.SetString(SubkeyPath(u"calc.exe"), u"Debugger", u"legit-debugger.exe");
    expected.SetString(SubkeyPath(u"calc.exe"), u"MitigationOptions", u"keep");
    expected.CreateKey(SubkeyPath(u"\uFF43alc.exe"));
    EXPECT_EQ(store.Dump(), expected.Dump());
    EXPECT_NE(store.Dump(), before);
}

TEST_F(Hostile, NamesDifferingOnlyInCaseFromTheTemplateAreListed) {
    Redirect(u"Your Image File Name Here without a path ", u"a");  // trailing space
    Redirect(u"Your Image File Name Here Without A Path", u"b");
    Scan();
    EXPECT_EQ(Listed(), (std::map<Text, Text>{{u"Your Image File Name Here without a path ", u"a"},
                                              {u"Your Image File Name Here Without A Path", u"b"}}));
}

TEST_F(Hostile, ValuesOfEveryTypeAndShapeNeverCrashAndOnlyStringsMatch) {
    const std::uint32_t types[] = {0, 1, 2, 3, 4, 7, 11};
    int n = 0;
    for (std::uint32_t type : types) {
        for (std::vector<unsigned char> data :
             {std::vector<unsigned char>{}, std::vector<unsigned char>{'x'},
              std::vector<unsigned char>{'a', 0, 'b', 0}, std::vector<unsigned char>{'a', 0, 0, 0, 'z', 0, 0, 0},
              std::vector<unsigned char>(1 << 20, 'q')}) {
            const Text name = u"t" + DecimalText(type) + u"-" + DecimalText(static_cast<unsigned long>(n++)) + u".exe";
            store.SetValue(SubkeyPath(name), u"Debugger", type, data);
        }
    }
    Scan();
    EXPECT_EQ(window.lines.size(), 5u) << "only the five REG_SZ values";
    const auto listed = Listed();
    EXPECT_EQ(listed.at(u"t1-5.exe"), u"");
    EXPECT_EQ(listed.at(u"t1-6.exe"), u"") << "one odd byte makes no character";
    EXPECT_EQ(listed.at(u"t1-7.exe"), u"ab");
    EXPECT_EQ(listed.at(u"t1-8.exe"), u"a");
    // A 1 MiB value: the table keeps the longest command Windows can start,
    // and the advice its start with a mark of the cut and the whole length.
    EXPECT_EQ(listed.at(u"t1-9.exe"), Text(FrmMain::kCommandKept, u'\u7171'));
    window.Select(LineOf(u"t1-9.exe"));
    form.lstListKey_Click();
    const Text shown = Text(FrmMain::kCommandShown, u'\u7171');
    EXPECT_NE(window.detailText.find(u"被重定向到" + shown + u"……（命令过长，共 524288 个字符"), Text::npos);
    EXPECT_EQ(window.detailText.find(shown + u'\u7171'), Text::npos);
}

TEST_F(Hostile, LongValueNamesAroundTheDebuggerValueHideNothing) {
    for (std::size_t length : {256u, 1000u, 16383u}) {
        const Text name = u"v" + DecimalText(static_cast<unsigned long>(length)) + u".exe";
        store.SetString(SubkeyPath(name), Text(length, u'b'), u"before");
        Redirect(name, u"hit");
        store.SetString(SubkeyPath(name), Text(length, u'a'), u"after");
    }
    Scan();
    EXPECT_EQ(window.lines.size(), 3u);
}

TEST_F(Hostile, AThousandValuesInOneSubkeyAndNamesWithNulsInside) {
    for (int i = 0; i < 1000; ++i) {
        store.SetString(SubkeyPath(u"many.exe"), u"V" + DecimalText(static_cast<unsigned long>(i)), u"x");
    }
    Redirect(u"many.exe", u"found");
    store.SetString(SubkeyPath(u"nul-value.exe"), Text(u"Debugger\0x", 10), u"not the loader's value");
    Scan();
    EXPECT_EQ(Listed(), (std::map<Text, Text>{{u"many.exe", u"found"}}));
}

TEST_F(Hostile, ScalesToAHundredThousandSubkeysWithTheTableCapped) {
    std::map<Text, Text> commands;
    for (int i = 0; i < 100000; ++i) {
        const Text name = u"k" + DecimalText(static_cast<unsigned long>(i)) + u".exe";
        if (i % 400 == 0) {
            Redirect(name, u"c" + DecimalText(static_cast<unsigned long>(i)));
            commands[name] = u"c" + DecimalText(static_cast<unsigned long>(i));
        } else {
            store.SetValue(SubkeyPath(name), u"GlobalFlag", 4, {0, 2, 0, 0});
        }
    }
    Scan();
    ASSERT_EQ(window.lines.size(), 201u) << "250 redirections, the first 201 recorded";
    for (const auto& [name, command] : Listed()) EXPECT_EQ(commands.at(name), command);
    EXPECT_EQ(window.countCaption, texts::CountCaption(201));
}

TEST_F(Hostile, TheRegistryChangingBetweenScanAndRepair) {
    Redirect(u"a.exe", u"1");
    Redirect(u"b.exe", u"2");
    Scan();
    // Removed and re-added with another command: the repair acts on the name.
    store.RemoveTree(SubkeyPath(u"a.exe"));
    Redirect(u"a.exe", u"changed");
    Redirect(u"new.exe", u"3");
    window.Select(0);
    form.cmdDelete_Click();
    EXPECT_TRUE(store.KeyExists(SubkeyPath(u"a.exe")));
    EXPECT_EQ(Listed(), (std::map<Text, Text>{{u"b.exe", u"2"}, {u"new.exe", u"3"}}));
    // Nested subkeys make the automatic repair stop without a word.
    store.CreateKey(SubkeyPath(u"new.exe\\inner"));
    window.messages.clear();
    form.cmdFix_Click();
    EXPECT_FALSE(store.KeyExists(SubkeyPath(u"b.exe")));
    EXPECT_TRUE(store.KeyExists(SubkeyPath(u"new.exe")));
    EXPECT_EQ(window.messages.size(), 1u) << "only the question";
    EXPECT_EQ(store.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace vornex::testing
