#pragma once
// Strings and errors shared by the driver library.
#include <windows.h>

#include <stdexcept>
#include <string>

namespace windriver {

std::string Utf8(const std::wstring& s);
std::wstring Wide(const std::string& utf8);

// "5 (Access is denied.)"; the text is whatever the system has.
std::wstring ErrorText(DWORD code);

// A harness failure (a call that should not fail did), not a test verdict.
class Error : public std::runtime_error {
public:
    Error(const std::string& what, DWORD code);
    DWORD code() const noexcept { return code_; }

private:
    DWORD code_;
};

[[noreturn]] void ThrowError(const std::string& what, DWORD code);
[[noreturn]] void ThrowLastError(const std::string& what);

// A string with control characters and non-ASCII shown as \x.. / \u....,
// for test messages that must show exactly what is there.
std::wstring Escape(const std::wstring& s);

// "HWND 0x1234 Button id=1002 "OK"": for failure messages.
std::wstring Describe(HWND hwnd);

}  // namespace windriver
