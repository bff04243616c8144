#include "tests/e2e/cli_run.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/e2e/test_options.h"
#include "win_driver.h"

namespace vornex::e2e {

using namespace windriver;

namespace {

std::string ReadWhole(const std::wstring& path) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    Handle reader(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}

}  // namespace

CliRun RunCli(const std::vector<std::wstring>& args) {
    static int runs = 0;
    const std::wstring base = JoinPath(Options().out.empty() ? L"." : Options().out,
                                       L"cli-run-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                           std::to_wstring(++runs));
    const std::wstring outPath = base + L".out.txt";
    const std::wstring errPath = base + L".err.txt";
    // Shared both ways: a console helper process may hold the inherited handle a little longer.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Handle out(CreateFileW(outPath.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr));
    Handle err(CreateFileW(errPath.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr));
    CliRun run;
    if (!out.valid() || !err.valid()) {
        ADD_FAILURE() << "cannot create " << Utf8(base) << ".*.txt: " << GetLastError();
        return run;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = BuildCommandLine(Options().cli, args);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup, &info)) {
        ADD_FAILURE() << "vornex-cli.exe did not start: " << GetLastError();
        return run;
    }
    Handle process(info.hProcess);
    Handle thread(info.hThread);
    if (WaitForSingleObject(process.get(), 20000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "vornex-cli.exe did not end within 20 s: " << Utf8(commandLine);
        TerminateProcess(process.get(), 0xDEAD);
        WaitForSingleObject(process.get(), 5000);
    }
    DWORD code = 0xFFFF;
    GetExitCodeProcess(process.get(), &code);
    run.exitCode = code;
    out.reset();
    err.reset();
    run.out = ReadWhole(outPath);
    run.err = ReadWhole(errPath);
    return run;
}

std::wstring FromUtf8(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::wstring> JsonStrings(const std::string& json, const std::string& key) {
    std::vector<std::wstring> values;
    const std::string marker = "\"" + key + "\"";
    for (std::size_t at = json.find(marker); at != std::string::npos; at = json.find(marker, at + 1)) {
        std::size_t p = json.find('"', json.find(':', at + marker.size()));
        std::string raw;
        for (++p; p < json.size() && json[p] != '"'; ++p) {
            if (json[p] != '\\') {
                raw.push_back(json[p]);
                continue;
            }
            const char escaped = json[++p];
            if (escaped == 'u') {
                const auto unit = static_cast<wchar_t>(std::stoi(json.substr(p + 1, 4), nullptr, 16));
                raw += "\x01" + std::to_string(static_cast<int>(unit)) + "\x01";
                p += 4;
            } else {
                raw.push_back(escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped);
            }
        }
        // Put the \u units back in after the UTF-8 decoding of the rest.
        std::wstring value;
        std::size_t start = 0;
        while (start < raw.size()) {
            const std::size_t open = raw.find('\x01', start);
            value += FromUtf8(raw.substr(start, open - start));
            if (open == std::string::npos) break;
            const std::size_t close = raw.find('\x01', open + 1);
            value.push_back(static_cast<wchar_t>(std::stoi(raw.substr(open + 1, close - open - 1))));
            start = close + 1;
        }
        values.push_back(value);
    }
    return values;
}

}  // namespace vornex::e2e
