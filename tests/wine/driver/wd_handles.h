#pragma once
// Owning wrappers for the Win32 handles a test driver touches, so every
// early return or exception still releases them.
#include <windows.h>

#include "win32/handles.h"

namespace windriver {

inline void DeleteBrush(HBRUSH brush) { DeleteObject(brush); }

// The program's own owning wrapper and handle types, under the driver's names.
template <typename Traits>
using UniqueResource = vornex::win32::UniqueHandle<Traits>;
using KernelHandleTraits = vornex::win32::KernelHandleTraits;
using Handle = vornex::win32::UniqueKernelHandle;
using RegKey = vornex::win32::UniqueRegKey;
using Bitmap = vornex::win32::UniqueBitmap;
using Font = vornex::win32::UniqueFont;
using Brush = UniqueResource<vornex::win32::NullIsNone<HBRUSH, DeleteBrush>>;
using MemoryDC = vornex::win32::UniqueMemoryDc;
using LocalMem = vornex::win32::UniqueLocal;
using Icon = vornex::win32::UniqueIcon;

// GetDC / ReleaseDC need the window too, so this one holds both.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd = nullptr) noexcept : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    ~WindowDC() { reset(); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    WindowDC(WindowDC&& other) noexcept : hwnd_(other.hwnd_), dc_(other.dc_) { other.dc_ = nullptr; }
    WindowDC& operator=(WindowDC&& other) noexcept {
        if (this != &other) {
            reset();
            hwnd_ = other.hwnd_;
            dc_ = other.dc_;
            other.dc_ = nullptr;
        }
        return *this;
    }
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    void reset() noexcept {
        if (dc_) ::ReleaseDC(hwnd_, dc_);
        dc_ = nullptr;
    }
    HWND hwnd_;
    HDC dc_;
};

// Puts the previous object back into the DC, so the owned object can be
// deleted afterwards (deleting a selected object fails silently).
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(::SelectObject(dc, obj)) {}
    ~SelectGuard() {
        if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace windriver
