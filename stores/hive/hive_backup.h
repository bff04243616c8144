#pragma once
#include <string>

namespace vornex::cli {

// Copies a hive file (the file a link points at), byte for byte, to
// FILE.vornex-backup-YYYYmmdd-HHMMSS beside it (with -2, -3, ... when that
// name is taken; an existing file is never overwritten), and its transaction
// logs to that name plus .LOG1 / .LOG2; all flushed to disk, with the folder.
// False, with a reason, when the copy is not complete (then none is left).
bool WriteHiveBackup(const std::string& path, std::string* backupPath, std::string* error);

}  // namespace vornex::cli
