#pragma once
#include <optional>
#include <string>
#include <vector>

// Loading an offline registry hive the way Windows does: a dirty primary file
// is brought up to date from its transaction logs (NAME.LOG1 / NAME.LOG2) in
// memory, from their bytes (reading the files is hive_load.h's). Portable:
// no Windows headers.
namespace vornex::hive {

enum class Recovery {
    kClean,             // primary was clean; logs (if any) ignored
    kReplayed,          // dirty, logs applied; image is the recovered state
    kDirtyNoUsableLog,  // dirty, but no log applied (missing/damaged): image is the primary as is, possibly stale
    kBaseBlockFromLog,  // dirty with a damaged base block: rebuilt from a log, whose data was then applied
};

// "clean", "replayed", "dirty, no usable log", "base block from log".
const char* RecoveryName(Recovery recovery);

struct LoadedHive {
    std::vector<unsigned char> image;  // whole hive file image: base block + bins
    Recovery recovery = Recovery::kDirtyNoUsableLog;
    std::vector<std::string> logsApplied;  // file names of the logs used, in order
    std::string note;                      // one line explaining, for the user (e.g. "LOG1 entry 5 hash mismatch: replay stopped")
    // Set when read from files (hive_load.h): the logs read beside the hive,
    // which a backup copies, and one line for each log refused unread.
    std::vector<std::string> logsRead;
    struct RefusedLog {
        std::string name;  // in the hive's folder
        std::string why;   // one line naming the file
    };
    std::vector<RefusedLog> logsRefused;
};

// Pure function on bytes; absent logs are empty optionals (an empty vector
// counts as absent too). After a replay the image's base block is valid and
// clean: both sequence numbers equal, file type 0, hive bins size as the logs
// left it, checksum recomputed. Otherwise the image is the primary unchanged.
// The logs are called name1 and name2 in logsApplied and in the note.
LoadedHive Recover(std::vector<unsigned char> primary,
                   const std::optional<std::vector<unsigned char>>& log1,
                   const std::optional<std::vector<unsigned char>>& log2, const std::string& name1 = "LOG1",
                   const std::string& name2 = "LOG2");

}  // namespace vornex::hive
