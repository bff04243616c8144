#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Which files beside a hive are its transaction logs: one rule, for the
// replay that reads them and for the backup that copies them.
namespace vornex::hive {

struct LogNames {
    // Names as found in the folder; empty when there is none. A lone
    // NAME.LOG (the older one-log scheme) takes the first place.
    std::string first;
    std::string second;
};

// NAME.LOG1 and NAME.LOG2, each by its exact name if the folder holds it,
// else by a name differing only in ASCII letter case (a case-sensitive view
// of an NTFS volume shows names as they were created: software.LOG1), the
// first in byte order when several do; only when neither exists, NAME.LOG.
// `files` lists every name the hive's folder holds, of any kind (a log that
// is a link or a folder is found, to be refused by reading it).
LogNames FindLogs(const std::string& hiveName, const std::vector<std::string>& files);

// The largest log read beside a hive of this size: twice the hive, plus
// 16 MiB for one that grew since its last flush. A log holds the pages
// changed since then, each once per flush; one past this is no real log
// (a sparse file of gigabytes costs nothing on the disk to plant).
std::uint64_t LogSizeLimit(std::uint64_t hiveSize);

}  // namespace vornex::hive
