// The undo file's encoder: one table of value and name forms and the line
// each becomes. Whether Windows' importer reads them back is the Wine suite's.
#include <gtest/gtest.h>

#include "stores/undo/reg_file.h"
#include "stores/undo/undo_name.h"

namespace vornex::testing {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes Utf16(const Text& text) {
    Bytes bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    return bytes;
}

// The file as lines, after checking its byte-order mark and CRLF line ends.
std::vector<Text> Lines(const RegFile& file) {
    EXPECT_GE(file.bytes.size(), 2u);
    EXPECT_EQ(file.bytes[0], 0xFF);
    EXPECT_EQ(file.bytes[1], 0xFE);
    Text text;
    for (std::size_t i = 2; i + 1 < file.bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(file.bytes[i] | (file.bytes[i + 1] << 8)));
    }
    std::vector<Text> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(u"\r\n", start)) != Text::npos; start = end + 2) {
        const Text line = text.substr(start, end - start);
        EXPECT_EQ(line.find_first_of(u"\r\n"), Text::npos) << "a bare CR or LF";
        lines.push_back(line);
    }
    EXPECT_EQ(start, text.size()) << "the last line has no CRLF";
    return lines;
}

UndoKey Key(const Text& path, bool wholeKey, std::vector<UndoValue> values) {
    UndoKey key;
    key.path = path;
    key.wholeKey = wholeKey;
    key.values = std::move(values);
    return key;
}

Text Sddl(const Bytes& descriptor) { return descriptor.empty() ? Text() : u"D:P(A;;KA;;;BA)"; }

TEST(RegFile, EveryValueFormBecomesTheLineThatImportsItBack) {
    struct Case {
        Text name;
        std::uint32_t type;
        Bytes data;
        std::vector<Text> lines;  // what follows the key line
    };
    const Bytes sz = Utf16(Text(u"C:\\a \"b\".exe\0", 13));
    const std::vector<Case> cases = {
        {u"Debugger", kRegSz, sz, {u"\"Debugger\"=\"C:\\\\a \\\"b\\\".exe\""}},
        {u"", kRegSz, Utf16(Text(u"x\0", 2)), {u"@=\"x\""}},
        {u"no NUL", kRegSz, Utf16(u"ab"), {u"\"no NUL\"=hex(1):61,00,62,00"}},
        {u"NUL inside", kRegSz, Utf16(Text(u"a\0b\0", 4)), {u"\"NUL inside\"=hex(1):61,00,00,00,62,00,00,00"}},
        {u"two NULs", kRegSz, Utf16(Text(u"a\0\0", 3)), {u"\"two NULs\"=hex(1):61,00,00,00,00,00"}},
        {u"odd", kRegSz, {0x61, 0x00, 0x00}, {u"\"odd\"=hex(1):61,00,00"}},
        {u"line break", kRegSz, Utf16(Text(u"a\nb\0", 4)), {u"\"line break\"=hex(1):61,00,0a,00,62,00,00,00"}},
        {u"expand", 2, Utf16(Text(u"%x%\0", 4)), {u"\"expand\"=hex(2):25,00,78,00,25,00,00,00"}},
        {u"multi", 7, Utf16(Text(u"a\0\0b\0\0", 6)), {u"\"multi\"=hex(7):61,00,00,00,00,00,62,00,00,00,00,00"}},
        {u"bin", 3, {0x01, 0x02, 0x03}, {u"\"bin\"=hex:01,02,03"}},
        {u"dword", 4, {0x00, 0x02, 0x00, 0x00}, {u"\"dword\"=hex(4):00,02,00,00"}},
        {u"qword", 11, Bytes(8, 0xFF), {u"\"qword\"=hex(b):ff,ff,ff,ff,ff,ff,ff,ff"}},
        {u"none", 0, {}, {u"\"none\"=hex(0):"}},
        {u"type", 0x80000001u, {0x42}, {u"\"type\"=hex(80000001):42"}},
        {u"\"q\" \\b\\ ]x= ", 4, {0, 0, 0, 0}, {u"\"\\\"q\\\" \\\\b\\\\ ]x= \"=hex(4):00,00,00,00"}},
        {u" \u4E2D\U0001F600 ", kRegSz, Utf16(Text(u"\u6587\0", 2)), {u"\" \u4E2D\U0001F600 \"=\"\u6587\""}},
        // Long data goes on continued lines, as Registry Editor writes it.
        {u"wrap", 3, Bytes(30, 0x11),
         {u"\"wrap\"=hex:11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,\\",
          u"  11,11,11,11,11,11,11,11"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.name));
        UndoRecord record;
        record.keys.push_back(Key(u"K\\e ]x.exe", false, {{c.name, c.type, c.data, c.data.size(), true}}));
        const RegFile file = EncodeRegFile(record, Sddl);
        std::vector<Text> expected = {u"Windows Registry Editor Version 5.00", u"", u"[HKEY_LOCAL_MACHINE\\K\\e ]x.exe]"};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        expected.push_back(u"");
        EXPECT_EQ(Lines(file), expected);
        EXPECT_TRUE(file.notRestorable.empty());
    }
}

// What an import cannot write back is a comment, and listed; the rest of the key still imports.
TEST(RegFile, WhatCannotBeImportedIsACommentAndListed) {
    UndoKey key = Key(u"K\\a.exe", true, {});
    key.security = {1};
    key.values = {{u"line\r\nbreak", 4, {1, 0, 0, 0}, 4, true},
                  {Text(u"nul\0", 4), 4, {1, 0, 0, 0}, 4, true},
                  {u"big", 3, {}, 1u << 20, false},
                  {u"kept", 4, {2, 0, 0, 0}, 4, true}};
    UndoKey link = Key(u"K\\l.exe", true, {});
    link.link = true;
    link.linkTarget = u"\\REGISTRY\\MACHINE\\SOFTWARE\\X";
    UndoKey badKey = Key(u"K\\a\nb", true, {{u"v", 4, {1, 0, 0, 0}, 4, true}});
    badKey.securityResult = kRegAccessDenied;
    badKey.className = u"cls";
    const RegFile file = EncodeRegFile({{key, link, badKey}}, Sddl);
    const std::vector<Text> lines = Lines(file);
    std::size_t comments = 0;
    for (const Text& line : lines) {
        if (line.rfind(u"; ", 0) == 0) {
            ++comments;
        } else {
            for (const Text bad : {u"\"line", u"\"nul", u"\"v\""}) {
                EXPECT_NE(line.rfind(bad, 0), 0u) << "a name or key with a line break or NUL written as a value";
            }
        }
    }
    // Security, two names, one size; a link; the bad key, its security, its class and its value.
    EXPECT_EQ(comments, 9u);
    EXPECT_EQ(file.notRestorable.size(), comments);
    EXPECT_NE(std::find(lines.begin(), lines.end(), u"\"kept\"=hex(4):02,00,00,00"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), u"; security of [\"HKEY_LOCAL_MACHINE\\\\K\\\\a.exe\"]: "
                                                    u"D:P(A;;KA;;;BA); an import gives the key the security of its parent instead"),
              lines.end());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), u"[HKEY_LOCAL_MACHINE\\K\\l.exe]"), 0) << "a link imported as a key";
}

TEST(UndoName, CharactersNoFileNameMayHoldAreReplaced) {
    EXPECT_EQ(UndoFileName(u"20261209-093012", u"\u624B\u5DE5\u5220\u9664", u"notepad.exe"),
              u"20261209-093012 \u624B\u5DE5\u5220\u9664 notepad.exe.reg");
    EXPECT_EQ(UndoFileName(u"s", u"delete", u"a<b>c:d\"e/f\\g|h?i*j\tk. "), u"s delete a_b_c_d_e_f_g_h_i_j_k. .reg");
    const Text cut = UndoFileName(u"s", u"d", Text(79, u'x') + u"\U0001F600" + Text(300, u'y'));
    EXPECT_EQ(cut, u"s d " + Text(79, u'x') + u".reg") << "half a surrogate pair kept";
    EXPECT_EQ(NumberedName(u"s d x.reg", 2), u"s d x (2).reg");
}

}  // namespace
}  // namespace vornex::testing
