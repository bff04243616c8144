#pragma once
// One printed line per check, and the closing "N passed, N failed" line.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace windriver {

class Checker {
public:
    explicit Checker(std::FILE* out = stdout) : out_(out) {}

    // "PASS: what" or "FAIL: what" followed by the detail, indented.
    bool Check(bool ok, const std::wstring& what, const std::wstring& detail = {});
    // The detail is built only on failure, after `ok` was computed. (Plain
    // arguments are evaluated in no fixed order: a detail that reads the
    // target's state may show the state before the wait.)
    bool Check(bool ok, const std::wstring& what, const std::function<std::wstring()>& detail);
    bool Equal(const std::wstring& expected, const std::wstring& actual, const std::wstring& what);
    bool Equal(long long expected, long long actual, const std::wstring& what);
    bool Equal(const std::vector<std::wstring>& expected, const std::vector<std::wstring>& actual,
               const std::wstring& what);
    bool Equal(HWND expected, HWND actual, const std::wstring& what);
    // "# text": context that is not a check.
    void Note(const std::wstring& text);

    int passed() const { return passed_; }
    int failed() const { return failed_; }
    // Prints the totals; the process exit code: 0 only if something passed
    // and nothing failed.
    int Finish();

private:
    void Print(const std::wstring& text);
    std::FILE* out_;
    int passed_ = 0;
    int failed_ = 0;
};

std::wstring Quoted(const std::wstring& s);  // "..." with escapes
std::wstring Quoted(const std::vector<std::wstring>& v);  // ["a", "b"]

}  // namespace windriver
