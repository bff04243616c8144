#pragma once
#include <windows.h>
#include <objbase.h>

#include <utility>

namespace vornex::win32 {

// One owning wrapper for every kind of handle: Close is a function object that
// gives the handle back; Invalid is the value that means "none".
template <typename Handle, typename Close, Handle Invalid = Handle()>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Invalid; }
    Handle release() { return std::exchange(handle_, Invalid); }
    void reset(Handle handle = Invalid) {
        if (handle_ != Invalid) Close()(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Invalid;
};

struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct FreeGlobal {
    void operator()(HGLOBAL memory) const { GlobalFree(memory); }
};
struct DestroyIconHandle {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};

using UniqueFont = UniqueHandle<HFONT, DeleteGdiObject>;
using UniqueBitmap = UniqueHandle<HBITMAP, DeleteGdiObject>;
using UniqueGlobal = UniqueHandle<HGLOBAL, FreeGlobal>;
using UniqueIcon = UniqueHandle<HICON, DestroyIconHandle>;

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

namespace vornex::win32 {
struct DeleteDcHandle {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueHandle<HDC, DeleteDcHandle>;
}  // namespace vornex::win32
