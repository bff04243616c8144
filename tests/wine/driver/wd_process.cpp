#include "wd_process.h"

#include "wd_text.h"

namespace windriver {

unsigned long long NowMs() { return ::GetTickCount64(); }

void SleepMs(int ms) { ::Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0); }

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs) {
    const unsigned long long deadline = NowMs() + static_cast<unsigned long long>(timeoutMs > 0 ? timeoutMs : 0);
    for (;;) {
        if (cond()) return true;
        if (NowMs() >= deadline) return cond();
        ::Sleep(10);
    }
}

std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    // Backslashes are literal except before a quote: there they double.
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
        } else if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            out += L'"';
            backslashes = 0;
        } else {
            out.append(backslashes, L'\\');
            out += c;
            backslashes = 0;
        }
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

std::wstring BuildCommandLine(const std::wstring& exe, const std::vector<std::wstring>& args) {
    // argv[0] never takes backslash escapes, only quotes around spaces.
    std::wstring cmd = exe.find_first_of(L" \t") == std::wstring::npos ? exe : L"\"" + exe + L"\"";
    for (const auto& a : args) cmd += L" " + QuoteArgument(a);
    return cmd;
}

std::wstring ThisExeDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) ThrowLastError("GetModuleFileNameW");
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::wstring JoinPath(const std::wstring& dir, const std::wstring& name) {
    if (dir.empty()) return name;
    wchar_t last = dir.back();
    return (last == L'\\' || last == L'/') ? dir + name : dir + L"\\" + name;
}

Process Process::Start(const std::wstring& exe, const std::vector<std::wstring>& args,
                       const std::wstring& workDir) {
    Process p;
    p.commandLine_ = BuildCommandLine(exe, args);
    std::wstring mutableCmd = p.commandLine_;  // CreateProcessW may write into it
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(exe.c_str(), mutableCmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          workDir.empty() ? nullptr : workDir.c_str(), &si, &pi))
        ThrowLastError("CreateProcessW " + Utf8(p.commandLine_));
    Handle thread(pi.hThread);
    p.process_.reset(pi.hProcess);
    p.pid_ = pi.dwProcessId;
    p.tid_ = pi.dwThreadId;
    return p;
}

Process::~Process() { Terminate(); }

Process::Process(Process&& other) noexcept
    : process_(std::move(other.process_)),
      pid_(other.pid_),
      tid_(other.tid_),
      commandLine_(std::move(other.commandLine_)) {
    other.pid_ = other.tid_ = 0;
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Terminate();
        process_ = std::move(other.process_);
        pid_ = other.pid_;
        tid_ = other.tid_;
        commandLine_ = std::move(other.commandLine_);
        other.pid_ = other.tid_ = 0;
    }
    return *this;
}

bool Process::Running() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

bool Process::WaitForExit(int timeoutMs) const {
    if (!process_) return true;
    return ::WaitForSingleObject(process_.get(), timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) ==
           WAIT_OBJECT_0;
}

std::optional<DWORD> Process::ExitCode() const {
    if (!process_ || Running()) return std::nullopt;
    DWORD code = 0;
    if (!::GetExitCodeProcess(process_.get(), &code)) return std::nullopt;
    return code;
}

bool Process::Terminate(UINT exitCode, int waitMs) {
    if (!process_) return true;
    if (!Running()) return true;
    ::TerminateProcess(process_.get(), exitCode);
    return WaitForExit(waitMs);
}

}  // namespace windriver
