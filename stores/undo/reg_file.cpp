#include "stores/undo/reg_file.h"

namespace vornex {

namespace {

constexpr std::uint32_t kRegBinary = 3;
const Text kRoot = u"HKEY_LOCAL_MACHINE\\";
// Registry Editor wraps hex data before this column.
constexpr std::size_t kHexColumns = 76;

class Writer {
public:
    explicit Writer(RegFile& file) : file_(file) { file_.bytes = {0xFF, 0xFE}; }

    void Put(char16_t c) {
        file_.bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        file_.bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    void Put(const Text& text) {
        for (char16_t c : text) Put(c);
    }
    void Line(const Text& text = Text()) {
        Put(text);
        Put(u"\r\n");
    }
    void Comment(const Text& text) {
        Line(u"; " + text);
        file_.notRestorable.push_back(text);
    }

private:
    RegFile& file_;
};

bool BreaksALine(const Text& text) {
    return text.find_first_of(Text(u"\r\n\0", 3)) != Text::npos;
}

Text Hex(std::uint32_t value, int minDigits) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    Text digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0 || static_cast<int>(digits.size()) < minDigits);
    return digits;
}

// Inside a quoted name or string: the importer reads \\ and \" back.
Text Quoted(const Text& text) {
    Text quoted = u"\"";
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"') quoted.push_back(u'\\');
        quoted.push_back(c);
    }
    return quoted + u'"';
}

// A name for a comment line: controls shown as \xNN, so that the line stays one.
Text Shown(const Text& text) {
    Text shown;
    for (char16_t c : text) {
        if (c < 0x20 || c == 0x7F) {
            shown += u"\\x" + Hex(c, 2);
        } else {
            if (c == u'\\' || c == u'"') shown.push_back(u'\\');
            shown.push_back(c);
        }
    }
    return u"\"" + shown + u"\"";
}

Text ValueHeading(const Text& key, const UndoValue& value) {
    return u"value " + Shown(value.name) + u" of [" + Shown(kRoot + key) + u"] (type " + DecimalText(value.type) +
           u", " + DecimalText(static_cast<unsigned long>(value.size)) + u" bytes)";
}

// A REG_SZ that ends in its one NUL, with no line break, reads back from a quoted string.
bool AsString(const UndoValue& value) {
    const auto& d = value.data;
    if (value.type != kRegSz || d.size() < 2 || d.size() % 2 != 0) return false;
    if (d[d.size() - 2] != 0 || d[d.size() - 1] != 0) return false;
    for (std::size_t i = 0; i + 2 < d.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(d[i] | (d[i + 1] << 8));
        if (c == 0 || c == u'\r' || c == u'\n') return false;
    }
    return true;
}

void PutValue(Writer& out, const UndoValue& value) {
    const Text head = value.name.empty() ? Text(u"@=") : Quoted(value.name) + u'=';
    if (AsString(value)) {
        out.Line(head + Quoted(TextFromRegistryData(value.data.data(), value.data.size())));
        return;
    }
    Text line = head + (value.type == kRegBinary ? Text(u"hex:") : u"hex(" + Hex(value.type, 1) + u"):");
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        line.push_back(kDigits[value.data[i] >> 4]);
        line.push_back(kDigits[value.data[i] & 0xF]);
        if (i + 1 == value.data.size()) break;
        line.push_back(u',');
        if (line.size() >= kHexColumns) {
            out.Line(line + u'\\');
            line = u"  ";
        }
    }
    out.Line(line);
}

void PutKey(Writer& out, const UndoKey& key, const DescriptorText& describe) {
    const Text full = kRoot + key.path;
    if (key.link) {
        out.Comment(u"[" + Shown(full) + u"] was a registry link to " + Shown(key.linkTarget) +
                    u", removed as a link (what it points at is unchanged); an import cannot make a link");
        return;
    }
    const bool keyLine = !BreaksALine(key.path);
    if (keyLine) {
        out.Line(u"[" + full + u"]");
    } else {
        out.Comment(u"key [" + Shown(full) + u"]: its name holds a line break or NUL, so nothing of it can be imported");
    }
    if (key.wholeKey) {
        const Text sddl = key.security.empty() ? Text() : describe(key.security);
        out.Comment(u"security of [" + Shown(full) + u"]: " +
                    (sddl.empty() ? u"could not be read (error " + DecimalText(static_cast<unsigned long>(key.securityResult)) + u")"
                                  : sddl) +
                    u"; an import gives the key the security of its parent instead");
    }
    if (!key.className.empty()) {
        out.Comment(u"class name of [" + Shown(full) + u"]: " + Shown(key.className) +
                    u"; an import cannot give a key a class name");
    }
    for (const UndoValue& value : key.values) {
        if (!value.recorded) {
            out.Comment(ValueHeading(key.path, value) + u": not recorded, past the undo file's bound of 16 MiB");
        } else if (!keyLine || BreaksALine(value.name)) {
            out.Comment(ValueHeading(key.path, value) + u": its name or key holds a line break or NUL, which an import cannot write");
        } else {
            PutValue(out, value);
        }
    }
    out.Line();
}

}  // namespace

RegFile EncodeRegFile(const UndoRecord& record, const DescriptorText& describe) {
    RegFile file;
    Writer out(file);
    out.Line(u"Windows Registry Editor Version 5.00");
    out.Line();
    for (const UndoKey& key : record.keys) PutKey(out, key, describe);
    return file;
}

}  // namespace vornex
