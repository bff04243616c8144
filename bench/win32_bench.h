#pragma once
// Owners for the handles the Win32 benchmark programs open, and a clock.
#include <windows.h>

#include "app/win32_handles.h"

namespace vornex::bench {

struct CloseKernelHandle {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct CloseRegKey {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
struct DestroyWindowHandle {
    void operator()(HWND window) const { DestroyWindow(window); }
};
struct FreeModule {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};

using UniqueKernelHandle = win32::UniqueHandle<HANDLE, CloseKernelHandle>;
// Only keys this program opened; never a predefined root.
using UniqueHkey = win32::UniqueHandle<HKEY, CloseRegKey>;
using UniqueWindow = win32::UniqueHandle<HWND, DestroyWindowHandle>;
using UniqueModule = win32::UniqueHandle<HMODULE, FreeModule>;

// Milliseconds on the performance counter (Wine: the monotonic clock).
inline double NowMs() {
    static const double perMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / perMs;
}

}  // namespace vornex::bench
