#include "wd_text.h"

#include "wd_handles.h"
#include "wd_window.h"

#include <cstdio>
#include <cwchar>

namespace windriver {

std::string Utf8(const std::wstring& s) {
    if (s.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                  nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                  nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                          n);
    return out;
}

std::wstring ErrorText(DWORD code) {
    wchar_t* buf = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                               reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    LocalMem owner(buf);
    std::wstring text = std::to_wstring(code);
    if (n && buf) {
        std::wstring msg(buf, n);
        while (!msg.empty() && (msg.back() == L'\n' || msg.back() == L'\r' || msg.back() == L' '))
            msg.pop_back();
        text += L" (" + msg + L")";
    }
    return text;
}

Error::Error(const std::string& what, DWORD code)
    : std::runtime_error(what + ": error " + Utf8(ErrorText(code))), code_(code) {}

void ThrowError(const std::string& what, DWORD code) { throw Error(what, code); }

void ThrowLastError(const std::string& what) { throw Error(what, ::GetLastError()); }

std::wstring Escape(const std::wstring& s) {
    std::wstring out;
    for (wchar_t c : s) {
        wchar_t buf[16];
        switch (c) {
            case L'\0': out += L"\\0"; break;
            case L'\r': out += L"\\r"; break;
            case L'\n': out += L"\\n"; break;
            case L'\t': out += L"\\t"; break;
            case L'\\': out += L"\\\\"; break;
            case L'"': out += L"\\\""; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    std::swprintf(buf, 16, L"\\x%02x", static_cast<unsigned>(c));
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::wstring Describe(HWND hwnd) {
    wchar_t buf[64];
    std::swprintf(buf, 64, L"HWND %p", static_cast<void*>(hwnd));
    std::wstring out = buf;
    if (!::IsWindow(hwnd)) return out + L" (not a window)";
    out += L" " + ClassNameOf(hwnd);
    if (::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD)
        out += L" id=" + std::to_wstring(ControlIdOf(hwnd));
    std::wstring text;
    try {
        text = TextOf(hwnd, 500);
    } catch (const Error&) {
        text = L"<no answer>";
    }
    return out + L" \"" + Escape(text) + L"\"";
}

}  // namespace windriver
