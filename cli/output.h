#pragma once
#include <string>
#include <vector>

#include "core/ifeo.h"
#include "core/ifeo_repair.h"

namespace vornex::cli {

// A key name as the text output shows it: DisplayEscaped, and a backslash
// (which would read as a path) and leading or trailing spaces (which a column
// hides) written as \uXXXX too, so that two names never look alike.
Text EscapedName(const Text& name);
// A name given on the command line, its \uXXXX escapes taken back: every
// name EscapedName shows is given back exactly as printed.
Text UnescapedName(const Text& given);
// A JSON string literal, quotes included, escaped the same way.
std::string JsonString(const Text& text);


// How an offline hive was read; empty recovery for the live registry.
struct HiveState {
    std::string recovery;  // "clean", "replayed", "dirty, no usable log", ...
    std::string note;
    std::vector<std::string> logsApplied;
    bool stale = false;  // dirty, and no log brought it up to date
};

struct ScanReport {
    std::string sourceKind;  // "registry" or "hive"
    Text sourcePath;         // the hive file, or HKEY_LOCAL_MACHINE
    HiveState hive;
    bool all = false;
    std::vector<Entry> entries;
    std::vector<ReadFailure> unread;
};

std::string ScanText(const ScanReport& report);
std::string ScanJson(const ScanReport& report);
std::string ScanCsv(const ScanReport& report);

struct RepairReport {
    std::string sourceKind;
    Text sourcePath;
    HiveState hive;
    std::string command;  // "repair", "delete", "delete-all"
    Text name;            // empty for delete-all
    bool dryRun = false;
    bool succeeded = false;
    std::vector<Change> changes;
    std::string backup;   // the hive backup written, if any
    Text undo;            // the undo file written (or, for a dry run, where it would go)
    std::vector<Text> notRestorable;  // what the undo file holds only as a comment
    std::vector<Entry> remaining;
    std::vector<ReadFailure> unread;  // of the scan after the change
};

std::string RepairText(const RepairReport& report);
std::string RepairJson(const RepairReport& report);

// HKLM\ and the key's path, as the outputs show a key.
Text KeyDisplay(const Text& key);
// What a change touched: "key HKLM\...", "value NAME of HKLM\...", ...
Text ChangeText(const Change& change);
// "deleted ", "took over ", ... (or "would delete ", ... for a dry run).
const char* ChangeVerb(Change::Kind kind, bool dryRun);
// The line for standard error after a scan that could not read everything.
std::string IncompleteLine(std::size_t unreadCount);
// The line for standard error when a hive was read in a state that may be stale.
std::string StaleLine();

}  // namespace vornex::cli
