#pragma once
// The shared real hive files (never copied into the repository), found by
// path: $VORNEX_HIVES_DIR, else the folder given at build time.
#include <optional>
#include <string>
#include <vector>

namespace vornex::hive::testing {

std::string HivesDir();
// Every file below the folder except README.md and SOURCES.tsv, sorted.
std::vector<std::string> AllHiveFiles();
// The file's bytes; a ".xz" file is decompressed with the xz tool (nullopt
// when that fails or the tool is missing).
std::optional<std::vector<unsigned char>> ReadHiveFile(const std::string& path);

}  // namespace vornex::hive::testing
