#pragma once
#include <string>

namespace vornex::cli {

// Copies a hive file, byte for byte, to FILE.vornex-backup-YYYYmmdd-HHMMSS
// beside it (with -2, -3, ... when that name is taken; an existing file is
// never overwritten). False, with a reason, when the copy is not complete.
bool WriteHiveBackup(const std::string& path, std::string* backupPath, std::string* error);

}  // namespace vornex::cli
