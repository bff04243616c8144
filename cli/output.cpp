#include "cli/output.h"

#include <algorithm>

#include "cli/messages.h"
#include "core/display_text.h"

namespace vornex::cli {

namespace {

// Columns line up by what a terminal shows: East Asian wide characters take
// two cells.
std::size_t DisplayWidth(const Text& text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                          (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                          (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                          (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1FAFF) ||
                          (cp >= 0x20000 && cp <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

Text Padded(const Text& text, std::size_t width) {
    Text out = text;
    out.append(width - std::min(width, DisplayWidth(text)), u' ');
    return out;
}

std::string CsvField(const Text& text) {
    std::string out = "\"";
    const Text cell = DisplayEscaped(text);
    // A spreadsheet takes a cell that starts like this for a formula: a
    // leading apostrophe makes it text (the usual guard against injection).
    if (!cell.empty() && (cell[0] == u'=' || cell[0] == u'+' || cell[0] == u'-' || cell[0] == u'@')) out += '\'';
    for (char c : ToUtf8(cell)) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string JsonStrings(const std::vector<Text>& texts) {
    std::string out = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) out += (i ? ", " : "") + JsonString(texts[i]);
    return out + "]";
}

std::string JsonSource(const std::string& kind, const Text& path, const HiveState& hive) {
    std::string out = "\"source\": {\"kind\": \"" + kind + "\", \"path\": " + JsonString(path);
    if (!hive.recovery.empty()) {
        std::string logs = "[";
        for (std::size_t i = 0; i < hive.logsApplied.size(); ++i) {
            logs += (i ? ", " : "") + JsonString(FromUtf8(hive.logsApplied[i]));
        }
        out += ", \"recovery\": \"" + hive.recovery + "\", \"logsApplied\": " + logs + "], \"stale\": " +
               (hive.stale ? "true" : "false") + ", \"note\": " + JsonString(FromUtf8(hive.note));
    }
    return out + "}";
}

// What a text report says of how the hive was read, when anything is to say.
std::string HiveText(const HiveState& hive) {
    if (hive.stale) {
        return Say(Msg::kHiveStale, {hive.note}) + "\n";
    }
    if (hive.logsApplied.empty()) return "";
    std::string logs;
    for (const std::string& log : hive.logsApplied) logs += (logs.empty() ? "" : ", ") + log;
    return Say(Msg::kHiveLogsApplied, {logs}) + "\n";
}

std::string JsonEntry(const Entry& f) {
    return "{\"kind\": \"" + std::string(EntryKindName(f.kind)) + "\", \"name\": " + JsonString(f.name) +
           ", \"command\": " + JsonString(f.command) + ", \"key\": " + JsonString(KeyDisplay(f.key)) +
           ", \"detail\": " + JsonString(f.detail) + ", \"link\": " + JsonString(f.link ? f.linkTarget : Text()) +
           "}";
}

std::string JsonEntries(const std::vector<Entry>& findings) {
    if (findings.empty()) return "[]";
    std::string out = "[\n";
    for (std::size_t i = 0; i < findings.size(); ++i) {
        out += "    " + JsonEntry(findings[i]) + (i + 1 < findings.size() ? ",\n" : "\n");
    }
    return out + "  ]";
}

const char* StepName(ReadFailure::Step step) {
    switch (step) {
        case ReadFailure::Step::kOpenKey: return "open-key";
        case ReadFailure::Step::kQueryKey: return "query-key";
        case ReadFailure::Step::kEnumSubkey: return "enum-subkey";
        case ReadFailure::Step::kOpenSubkey: return "open-subkey";
        case ReadFailure::Step::kReadValue: return "read-value";
    }
    return "unknown";
}

std::string UnreadText(const std::vector<ReadFailure>& unread) {
    std::string out;
    for (const ReadFailure& f : unread) {
        out += Say(Msg::kUnreadLine, {ToUtf8(DisplayEscaped(KeyDisplay(f.key))), StepName(f.step), std::to_string(f.code)}) +
               "\n";
    }
    return out;
}

std::string JsonUnread(const std::vector<ReadFailure>& unread) {
    std::string out = "[";
    for (std::size_t i = 0; i < unread.size(); ++i) {
        out += std::string(i ? ", " : "") + "{\"key\": " + JsonString(KeyDisplay(unread[i].key)) +
               ", \"step\": \"" + StepName(unread[i].step) + "\", \"error\": " + std::to_string(unread[i].code) + "}";
    }
    return out + "]";
}

std::string JsonCompleteness(const std::vector<ReadFailure>& unread) {
    return std::string(",\n  \"complete\": ") + (unread.empty() ? "true" : "false") + ",\n  \"unread\": " +
           JsonUnread(unread);
}

}  // namespace

Text ChangeText(const Change& change) {
    const Text key = KeyDisplay(change.key);
    switch (change.kind) {
        case Change::Kind::kDeletedValue: return SayText(Msg::kChangeValue, {change.value, key});
        case Change::Kind::kDeletedKey: return SayText(Msg::kChangeKey, {key});
        case Change::Kind::kDeletedLink: return SayText(Msg::kChangeLink, {key});
        case Change::Kind::kTookOverSecurity: return SayText(Msg::kChangeTakeOver, {key});
        case Change::Kind::kRestoredSecurity: return SayText(Msg::kChangeRestore, {key});
    }
    return key;
}

const char* ChangeVerb(Change::Kind kind, bool dryRun) {
    switch (kind) {
        case Change::Kind::kTookOverSecurity: return Words(dryRun ? Msg::kWouldTakeOver : Msg::kTookOver);
        case Change::Kind::kRestoredSecurity: return Words(dryRun ? Msg::kWouldRestore : Msg::kRestored);
        default: return Words(dryRun ? Msg::kWouldDelete : Msg::kDeleted);
    }
}

static const char* ChangeAction(Change::Kind kind) {
    switch (kind) {
        case Change::Kind::kDeletedValue: return "delete-value";
        case Change::Kind::kDeletedKey: return "delete-key";
        case Change::Kind::kDeletedLink: return "delete-link";
        case Change::Kind::kTookOverSecurity: return "take-over-security";
        case Change::Kind::kRestoredSecurity: return "restore-security";
    }
    return "unknown";
}

std::string StaleLine() {
    return Words(Msg::kStaleLine);
}

std::string IncompleteLine(std::size_t unreadCount) {
    return Say(unreadCount == 1 ? Msg::kIncompleteOne : Msg::kIncompleteMany, {std::to_string(unreadCount)});
}

Text EscapedName(const Text& name) {
    const std::size_t first = name.find_first_not_of(u' ');
    const std::size_t last = name.find_last_not_of(u' ');
    Text out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool edgeSpace = name[i] == u' ' && (first == Text::npos || i < first || i > last);
        if (name[i] == u'\\' || edgeSpace) {
            out += UnitEscape(name[i]);
        } else {
            // Up to the next unit that needs its own escape.
            std::size_t end = i + 1;
            while (end < name.size() && name[end] != u'\\' && !(name[end] == u' ' && end > last)) ++end;
            out += DisplayEscaped(name.substr(i, end - i));
            i = end - 1;
        }
    }
    return out;
}

Text UnescapedName(const Text& given) {
    Text out;
    for (std::size_t i = 0; i < given.size(); ++i) {
        int value = given[i] == u'\\' && i + 1 < given.size() && given[i + 1] == u'u' ? 0 : -1;
        for (std::size_t d = 2; value >= 0 && d < 6; ++d) {
            const int digit = i + d < given.size() ? DigitValue(given[i + d]) : -1;
            value = digit < 0 || digit > 15 ? -1 : value * 16 + digit;
        }
        if (value < 0) {
            out.push_back(given[i]);  // a backslash that starts no escape stands for itself
        } else {
            out.push_back(static_cast<char16_t>(value));
            i += 5;
        }
    }
    return out;
}

std::string JsonString(const Text& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit == u'"') {
            out += "\\\"";
        } else if (unit == u'\\') {
            out += "\\\\";
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            out += ToUtf8(DisplayEscaped(text.substr(i, 2)));
            ++i;
        } else {
            out += ToUtf8(DisplayEscaped(Text(1, unit)));
        }
    }
    return out + "\"";
}

Text KeyDisplay(const Text& key) { return u"HKLM\\" + key; }

std::string ScanText(const ScanReport& report) {
    std::vector<std::vector<Text>> rows;
    for (const Entry& f : report.entries) {
        std::vector<Text> row;
        if (report.all) row.push_back(FromUtf8(EntryKindName(f.kind)));
        row.push_back(EscapedName(f.name));
        // A link is told apart: a repair removes the link, not what it points at.
        row.push_back(DisplayEscaped(f.link ? SayText(Msg::kThroughLink, {f.command, f.linkTarget}) : f.command));
        if (report.all && f.kind != EntryKind::kDebugger) {
            row.push_back(DisplayEscaped(f.detail.empty() ? KeyDisplay(f.key) : f.detail + u"  " + KeyDisplay(f.key)));
        }
        rows.push_back(std::move(row));
    }
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (widths.size() <= c) widths.push_back(0);
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
        }
    }
    std::string out;
    for (const auto& row : rows) {
        Text line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            const bool last = c + 1 == row.size();
            // The command column is padded only when a detail follows it.
            line += last ? row[c] : Padded(row[c], widths[c]) + u"  ";
        }
        out += ToUtf8(line) + "\n";
    }
    return out + UnreadText(report.unread) + HiveText(report.hive);
}

std::string ScanJson(const ScanReport& report) {
    return "{\n  \"tool\": \"vornex-cli\",\n  \"version\": \"" VORNEX_VERSION "\",\n  \"command\": \"scan\",\n  " +
           JsonSource(report.sourceKind, report.sourcePath, report.hive) + ",\n  \"all\": " + (report.all ? "true" : "false") +
           JsonCompleteness(report.unread) + ",\n  \"count\": " + std::to_string(report.entries.size()) +
           ",\n  \"entries\": " + JsonEntries(report.entries) + "\n}\n";
}

std::string ScanCsv(const ScanReport& report) {
    std::string out = "kind,name,command,key,detail,link\n";
    for (const Entry& f : report.entries) {
        out += std::string(EntryKindName(f.kind)) + "," + CsvField(f.name) + "," + CsvField(f.command) + "," +
               CsvField(KeyDisplay(f.key)) + "," + CsvField(f.detail) + "," + CsvField(f.link ? f.linkTarget : Text()) +
               "\n";
    }
    for (const ReadFailure& f : report.unread) {
        out += "unread,\"\",\"\"," + CsvField(KeyDisplay(f.key)) + "," +
               CsvField(FromUtf8(std::string(StepName(f.step)) + ", error " + std::to_string(f.code))) + ",\"\"\n";
    }
    if (!report.hive.recovery.empty() && (report.hive.stale || !report.hive.logsApplied.empty())) {
        out += "hive,\"\",\"\"," + CsvField(report.sourcePath) + "," +
               CsvField(FromUtf8(report.hive.recovery + ": " + report.hive.note)) + ",\"\"\n";
    }
    return out;
}

std::string RepairText(const RepairReport& report) {
    std::string out;
    for (const auto& change : report.changes) {
        out += std::string(ChangeVerb(change.kind, report.dryRun)) + ToUtf8(DisplayEscaped(ChangeText(change))) + "\n";
    }
    if (!report.backup.empty()) out += Say(Msg::kHiveBackup, {report.backup}) + "\n";
    if (!report.undo.empty()) out += Say(report.dryRun ? Msg::kUndoFileWouldBe : Msg::kUndoFile, {ToUtf8(report.undo)}) + "\n";
    if (report.succeeded && !report.dryRun) {
        out += Say(report.remaining.size() == 1 ? Msg::kRedirectionsLeftOne : Msg::kRedirectionsLeftMany,
                   {std::to_string(report.remaining.size())}) + "\n";
    }
    return out + UnreadText(report.unread) + HiveText(report.hive);
}

std::string RepairJson(const RepairReport& report) {
    std::string changes = "[";
    for (std::size_t i = 0; i < report.changes.size(); ++i) {
        const auto& change = report.changes[i];
        changes += std::string(i ? ", " : "") + "{\"action\": \"" +
                   ChangeAction(change.kind) + "\", \"key\": " +
                   JsonString(KeyDisplay(change.key)) + ", \"value\": " + JsonString(change.value) + "}";
    }
    changes += "]";
    return "{\n  \"tool\": \"vornex-cli\",\n  \"version\": \"" VORNEX_VERSION "\",\n  \"command\": \"" +
           report.command + "\",\n  " + JsonSource(report.sourceKind, report.sourcePath, report.hive) +
           ",\n  \"name\": " + JsonString(report.name) + ",\n  \"dryRun\": " + (report.dryRun ? "true" : "false") +
           ",\n  \"succeeded\": " + (report.succeeded ? "true" : "false") + ",\n  \"changes\": " + changes +
           ",\n  \"backup\": " + JsonString(FromUtf8(report.backup)) + ",\n  \"undo\": " + JsonString(report.undo) +
           ",\n  \"notRestorable\": " + JsonStrings(report.notRestorable) + JsonCompleteness(report.unread) +
           ",\n  \"count\": " + std::to_string(report.remaining.size()) + ",\n  \"entries\": " +
           JsonEntries(report.remaining) + "\n}\n";
}

}  // namespace vornex::cli
