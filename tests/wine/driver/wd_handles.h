#pragma once
// Owning wrappers for the Win32 handles a test driver touches, so every
// early return or exception still releases them.
#include <windows.h>

namespace windriver {

// Traits: value_type, invalid(), valid(v), close(v).
template <typename Traits>
class UniqueResource {
public:
    using value_type = typename Traits::value_type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(value_type v) noexcept : v_(v) {}
    ~UniqueResource() { reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : v_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        reset(other.release());
        return *this;
    }

    value_type get() const noexcept { return v_; }
    bool valid() const noexcept { return Traits::valid(v_); }
    explicit operator bool() const noexcept { return valid(); }

    value_type release() noexcept {
        value_type v = v_;
        v_ = Traits::invalid();
        return v;
    }
    void reset(value_type v = Traits::invalid()) noexcept {
        if (Traits::valid(v_)) Traits::close(v_);
        v_ = v;
    }
    // For out-parameters: frees the current value first.
    value_type* put() noexcept {
        reset();
        return &v_;
    }

private:
    value_type v_ = Traits::invalid();
};

struct KernelHandleTraits {
    using value_type = HANDLE;
    static HANDLE invalid() noexcept { return nullptr; }
    // CreateFile fails with INVALID_HANDLE_VALUE, most others with NULL.
    static bool valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
using Handle = UniqueResource<KernelHandleTraits>;

// Only for keys this program opened; never wrap HKEY_LOCAL_MACHINE etc.
struct RegKeyTraits {
    using value_type = HKEY;
    static HKEY invalid() noexcept { return nullptr; }
    static bool valid(HKEY h) noexcept { return h != nullptr; }
    static void close(HKEY h) noexcept { ::RegCloseKey(h); }
};
using RegKey = UniqueResource<RegKeyTraits>;

template <typename T>
struct GdiObjectTraits {
    using value_type = T;
    static T invalid() noexcept { return nullptr; }
    static bool valid(T h) noexcept { return h != nullptr; }
    static void close(T h) noexcept { ::DeleteObject(h); }
};
template <typename T>
using GdiObject = UniqueResource<GdiObjectTraits<T>>;
using Bitmap = GdiObject<HBITMAP>;
using Font = GdiObject<HFONT>;
using Brush = GdiObject<HBRUSH>;

// From CreateCompatibleDC / CreateDC.
struct MemoryDcTraits {
    using value_type = HDC;
    static HDC invalid() noexcept { return nullptr; }
    static bool valid(HDC h) noexcept { return h != nullptr; }
    static void close(HDC h) noexcept { ::DeleteDC(h); }
};
using MemoryDC = UniqueResource<MemoryDcTraits>;

// From LocalAlloc and the APIs that hand out LocalAlloc memory
// (FormatMessage, ConvertStringSecurityDescriptorToSecurityDescriptor).
struct LocalMemTraits {
    using value_type = HLOCAL;
    static HLOCAL invalid() noexcept { return nullptr; }
    static bool valid(HLOCAL h) noexcept { return h != nullptr; }
    static void close(HLOCAL h) noexcept { ::LocalFree(h); }
};
using LocalMem = UniqueResource<LocalMemTraits>;

// Icons this program created (CreateIconIndirect, CopyIcon); never the
// shared ones from LoadIcon.
struct IconTraits {
    using value_type = HICON;
    static HICON invalid() noexcept { return nullptr; }
    static bool valid(HICON h) noexcept { return h != nullptr; }
    static void close(HICON h) noexcept { ::DestroyIcon(h); }
};
using Icon = UniqueResource<IconTraits>;

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
