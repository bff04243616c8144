#include "tests/hive/hive_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#ifndef VORNEX_HIVES_DIR
#define VORNEX_HIVES_DIR "../shared/hives"
#endif

namespace vornex::hive::testing {
namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::optional<std::vector<unsigned char>> Decompress(const std::string& path) {
    struct Closer {
        void operator()(std::FILE* pipe) const { pclose(pipe); }
    };
    const std::string command = "xz -dc '" + path + "' 2>/dev/null";
    std::unique_ptr<std::FILE, Closer> pipe(popen(command.c_str(), "r"));
    if (!pipe) return std::nullopt;
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    if (pclose(pipe.release()) != 0 || bytes.empty()) return std::nullopt;
    return bytes;
}

}  // namespace

std::string HivesDir() {
    if (const char* dir = std::getenv("VORNEX_HIVES_DIR")) return dir;
    return VORNEX_HIVES_DIR;
}

std::vector<std::string> AllHiveFiles() {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(HivesDir(), error)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        if (name == "README.md" || name == "SOURCES.tsv") continue;
        files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<std::vector<unsigned char>> ReadHiveFile(const std::string& path) {
    if (EndsWith(path, ".xz")) return Decompress(path);
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

}  // namespace vornex::hive::testing
