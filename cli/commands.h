#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "core/registry.h"
#include "stores/undo/undo_target.h"

namespace vornex::cli {

// Where the keys come from, and what the command needs to know about it.
struct Source {
    Registry* registry = nullptr;
    bool offline = false;  // a hive file rather than the live registry
    Text path;             // shown in the output: the hive file or HKEY_LOCAL_MACHINE
    // How a hive was read: "clean", "replayed", ... and a line on it; empty
    // for the live registry.
    std::string recovery;
    std::string recoveryNote;
    std::vector<std::string> logsApplied;
    // The newest state may be missing (a dirty hive with no usable log).
    bool stale = false;
    // Makes the changes lasting (a hive: backup, then commit); sets *backup
    // to the backup written. Empty when changes last as they are made.
    std::function<bool(std::string* backup, std::string* error)> commit;
    // The live registry's undo file of one action (command, the entries it
    // acts on); unset where the source keeps its own copy (a hive).
    std::function<std::unique_ptr<UndoTarget>(const std::string& command, const std::vector<Text>& names)> undo;
    // Said after "cannot open the IFEO key" (elevation, the wrong hive).
    std::string openHint;
};

struct Outcome {
    int exitCode = 0;
    std::string out;  // UTF-8 for standard output
    std::string err;  // UTF-8 lines for standard error, without the program name
};

constexpr int kExitClean = 0;
constexpr int kExitFound = 1;
constexpr int kExitUsage = 2;
constexpr int kExitRepairFailed = 3;
constexpr int kExitIncomplete = 4;

// <0, 0 or >0 as a goes before, with or after b in the listing.
using Compare = std::function<int(const Text& a, const Text& b)>;
// The portable order: ignoring case as the registry folds it.
int CompareIgnoringCase(const Text& a, const Text& b);

// Runs a parsed command (not --help or --version) on a source. Entries are
// listed in `compare` order, the order of the window's list.
Outcome RunCommand(const Options& options, Source& source, const Compare& compare = CompareIgnoringCase);

}  // namespace vornex::cli
