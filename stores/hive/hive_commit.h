#pragma once
#include <string>
#include <vector>

#include "stores/hive/hive_file.h"

namespace vornex::hive {

// Writes `bytes` as the hive file at `path` (the file a link points at): to
// a new file beside it, flushed, which then takes its place, and the folder
// flushed. A failure before the replace leaves the old file whole and no new
// one; after it, the message says the new hive is in place.
FileFailure ReplaceHiveFile(HiveFileLayer& files, const std::string& path, const std::vector<unsigned char>& bytes);

// Keeps a hive file (the file a link points at) as it is, as
// FILE.vornex-backup-YYYYmmdd-HHMMSS beside it: a second name of the file
// where the file system has them (ReplaceHiveFile never writes into it), else
// a copy byte for byte (-2, -3, ... when that name is
// taken; an existing file is never overwritten), and the transaction logs
// its reading used (`logs`: names in its folder, read again only as plain
// files of that folder) to that name plus the log's suffix; all flushed,
// with the folder. On failure none of the copies is left.
FileFailure WriteHiveBackup(HiveFileLayer& files, const std::string& path, const std::vector<std::string>& logs,
                            std::string* backupPath);

}  // namespace vornex::hive
