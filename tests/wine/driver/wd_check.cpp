#include "wd_check.h"

#include "wd_text.h"

namespace windriver {

std::wstring Quoted(const std::wstring& s) { return L"\"" + Escape(s) + L"\""; }

std::wstring Quoted(const std::vector<std::wstring>& v) {
    std::wstring out = L"[";
    for (size_t i = 0; i < v.size(); ++i) out += (i ? L", " : L"") + Quoted(v[i]);
    return out + L"]";
}

void Checker::Print(const std::wstring& text) {
    std::string line = Utf8(text);
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fputc('\n', out_);
    // A driver killed by a timeout still shows how far it got.
    std::fflush(out_);
}

bool Checker::Check(bool ok, const std::wstring& what, const std::wstring& detail) {
    (ok ? passed_ : failed_)++;
    std::wstring line = (ok ? L"PASS: " : L"FAIL: ") + what;
    if (!ok && !detail.empty()) {
        std::wstring indented = L"    ";
        for (wchar_t c : detail) {
            indented += c;
            if (c == L'\n') indented += L"    ";
        }
        while (!indented.empty() && (indented.back() == L' ' || indented.back() == L'\n')) indented.pop_back();
        line += L"\n" + indented;
    }
    Print(line);
    return ok;
}

bool Checker::Check(bool ok, const std::wstring& what, const std::function<std::wstring()>& detail) {
    return Check(ok, what, ok ? std::wstring() : detail());
}

bool Checker::Equal(const std::wstring& expected, const std::wstring& actual, const std::wstring& what) {
    return Check(expected == actual, what, L"expected " + Quoted(expected) + L"\ngot      " + Quoted(actual));
}

bool Checker::Equal(long long expected, long long actual, const std::wstring& what) {
    return Check(expected == actual, what,
                 L"expected " + std::to_wstring(expected) + L", got " + std::to_wstring(actual));
}

bool Checker::Equal(const std::vector<std::wstring>& expected, const std::vector<std::wstring>& actual,
                    const std::wstring& what) {
    return Check(expected == actual, what, L"expected " + Quoted(expected) + L"\ngot      " + Quoted(actual));
}

bool Checker::Equal(HWND expected, HWND actual, const std::wstring& what) {
    return Check(expected == actual, what, L"expected " + Describe(expected) + L"\ngot      " + Describe(actual));
}

void Checker::Note(const std::wstring& text) { Print(L"# " + text); }

int Checker::Finish() {
    Print(std::to_wstring(passed_) + L" passed, " + std::to_wstring(failed_) + L" failed");
    return (failed_ == 0 && passed_ > 0) ? 0 : 1;
}

}  // namespace windriver
