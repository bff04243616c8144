#pragma once
#include <string>
#include <vector>

#include "core/text.h"

namespace vornex::cli {

enum class Command { kNone, kScan, kRepair, kDelete, kDeleteAll };
enum class Format { kText, kJson, kCsv };

struct Options {
    Command command = Command::kNone;
    Text name;            // repair and delete: the listed name, exactly
    std::string hive;     // empty: the live registry
    bool hiveGiven = false;
    Format format = Format::kText;
    bool all = false;
    bool dryRun = false;
    Text undoDir;         // empty: the usual places
    bool noUndo = false;
    bool yes = false;
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name. False, with a one-line
// reason, for anything it does not understand.
bool ParseArguments(const std::vector<Text>& args, Options* options, std::string* error);

std::string UsageText();

}  // namespace vornex::cli
