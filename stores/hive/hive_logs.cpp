#include "stores/hive/hive_logs.h"

#include <algorithm>

namespace vornex::hive {

namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiUpper(x) == AsciiUpper(y);
           });
}

std::string Find(const std::string& wanted, const std::vector<std::string>& files) {
    if (std::find(files.begin(), files.end(), wanted) != files.end()) return wanted;
    std::string best;
    for (const std::string& file : files) {
        if (SameIgnoringAsciiCase(file, wanted) && (best.empty() || file < best)) best = file;
    }
    return best;
}

}  // namespace

LogNames FindLogs(const std::string& hiveName, const std::vector<std::string>& files) {
    LogNames logs{Find(hiveName + ".LOG1", files), Find(hiveName + ".LOG2", files)};
    if (logs.first.empty() && logs.second.empty()) logs.first = Find(hiveName + ".LOG", files);
    return logs;
}

std::uint64_t LogSizeLimit(std::uint64_t hiveSize) { return 2 * hiveSize + (std::uint64_t{16} << 20); }

}  // namespace vornex::hive
