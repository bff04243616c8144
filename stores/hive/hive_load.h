#pragma once
#include <string>

#include "stores/hive/hive_file.h"
#include "stores/hive/log_replay.h"

namespace vornex::hive {

// Reads PATH and the logs beside it (hive_logs.h's rule: NAME.LOG1 / .LOG2 in
// any letter case, else NAME.LOG) through a file layer, then Recover;
// logsApplied and the note name the logs as found. A log that cannot be read
// is named in the note. Fails with the layer's code when PATH cannot be read
// (missing, in use, refused, a folder or a device: hive_file.h), and with
// kRegBadDatabase when it is no hive at all: no 'regf' signature and no
// usable log to rebuild the base block, or a transaction log's header.
FileFailure LoadHive(HiveFileLayer& files, const std::string& path, LoadedHive* out);

}  // namespace vornex::hive
