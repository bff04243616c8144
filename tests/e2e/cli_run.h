#pragma once
// Running vornex-cli.exe from the Wine tests, as a script would: its
// standard output and error each in a file, its exit code.
#include <string>
#include <vector>

namespace vornex::e2e {

struct CliRun {
    unsigned long exitCode = 0xFFFF;
    std::string out;  // UTF-8, as written
    std::string err;
};

// Runs the --cli program with these arguments and waits up to 20 s for it.
CliRun RunCli(const std::vector<std::wstring>& args);

std::wstring FromUtf8(const std::string& text);
// The lines of a text, without their line ends ("\n" or "\r\n").
std::vector<std::string> LinesOf(const std::string& text);
// The string values of every "key": "..." pair, JSON escapes undone.
std::vector<std::wstring> JsonStrings(const std::string& json, const std::string& key);

}  // namespace vornex::e2e
