#pragma once
// Starting the program under test, and waiting for things to happen.
#include "wd_handles.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace windriver {

// Polls cond every 10 ms until it returns true (true) or timeoutMs passes
// (false). cond is always tried once more at the deadline.
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs);

// Milliseconds since some fixed point (GetTickCount64).
unsigned long long NowMs();
void SleepMs(int ms);

// Quotes one argument so CommandLineToArgvW / the CRT give it back as is.
std::wstring QuoteArgument(const std::wstring& arg);
std::wstring BuildCommandLine(const std::wstring& exe, const std::vector<std::wstring>& args);

// The folder of the running exe, without a trailing backslash.
std::wstring ThisExeDirectory();
std::wstring JoinPath(const std::wstring& dir, const std::wstring& name);

class Process {
public:
    Process() = default;
    // exe is a path (CreateProcessW does no PATH search here). Throws Error
    // when it fails. workDir empty: the caller's.
    static Process Start(const std::wstring& exe, const std::vector<std::wstring>& args = {},
                         const std::wstring& workDir = {});

    // A still-running process is terminated: a test must not leak it into
    // the next one.
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    explicit operator bool() const noexcept { return process_.valid(); }
    HANDLE handle() const noexcept { return process_.get(); }
    DWORD pid() const noexcept { return pid_; }
    DWORD mainThreadId() const noexcept { return tid_; }
    const std::wstring& commandLine() const noexcept { return commandLine_; }

    bool Running() const;
    // True once the process has exited (at once if it already had).
    bool WaitForExit(int timeoutMs) const;
    // nullopt while it runs.
    std::optional<DWORD> ExitCode() const;
    // Last-resort cleanup: TerminateProcess on our own handle, then waits up
    // to waitMs. True if it is gone afterwards (or was already).
    bool Terminate(UINT exitCode = 0xDEAD, int waitMs = 5000);

private:
    Handle process_;
    DWORD pid_ = 0;
    DWORD tid_ = 0;
    std::wstring commandLine_;
};

}  // namespace windriver
