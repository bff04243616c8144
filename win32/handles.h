#pragma once
#include <windows.h>
#include <objbase.h>

#include <utility>

#include "win32/unique_handle.h"

namespace vornex::win32 {

inline void DeleteBitmap(HBITMAP bitmap) { DeleteObject(bitmap); }
inline void DeleteFont(HFONT font) { DeleteObject(font); }
inline void FreeGlobal(HGLOBAL memory) { GlobalFree(memory); }
inline void DestroyIconHandle(HICON icon) { DestroyIcon(icon); }
inline void DeleteMemoryDc(HDC dc) { DeleteDC(dc); }
inline void CloseKernelHandle(HANDLE handle) { CloseHandle(handle); }
inline void CloseRegKey(HKEY key) { RegCloseKey(key); }
inline void FreeLocal(HLOCAL memory) { LocalFree(memory); }

using UniqueFont = UniqueHandle<NullIsNone<HFONT, DeleteFont>>;
using UniqueBitmap = UniqueHandle<NullIsNone<HBITMAP, DeleteBitmap>>;
using UniqueGlobal = UniqueHandle<NullIsNone<HGLOBAL, FreeGlobal>>;
using UniqueIcon = UniqueHandle<NullIsNone<HICON, DestroyIconHandle>>;
using UniqueMemoryDc = UniqueHandle<NullIsNone<HDC, DeleteMemoryDc>>;
using UniqueLocal = UniqueHandle<NullIsNone<HLOCAL, FreeLocal>>;
// Only for keys this program opened; never a predefined root.
using UniqueRegKey = UniqueHandle<NullIsNone<HKEY, CloseRegKey>>;

// Kernel handles: CreateFile fails with INVALID_HANDLE_VALUE, most others with NULL.
struct KernelHandleTraits {
    using value_type = HANDLE;
    static HANDLE invalid() noexcept { return nullptr; }
    static bool valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { CloseHandle(h); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// Owns one COM interface reference.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (pointer_) pointer_->Release();
    }
    Interface* operator->() const { return pointer_; }
    Interface* get() const { return pointer_; }
    // For functions that hand out a new reference.
    Interface** put() {
        if (pointer_) pointer_->Release();
        pointer_ = nullptr;
        return &pointer_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

private:
    Interface* pointer_ = nullptr;
};

// A screen DC for measuring, given back on every path.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// Puts a GDI object into a DC and restores the previous one.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() { SelectObject(dc_, previous_); }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace vornex::win32
