#pragma once
// Owners for the handles the Win32 benchmark programs open, and a clock.
#include <windows.h>

#include "win32/handles.h"

namespace vornex::bench {

inline void DestroyWindowHandle(HWND window) { DestroyWindow(window); }
inline void ReleaseModule(HMODULE module) { FreeLibrary(module); }

using win32::UniqueKernelHandle;
using UniqueHkey = win32::UniqueRegKey;
using UniqueWindow = win32::UniqueHandle<win32::NullIsNone<HWND, DestroyWindowHandle>>;
using UniqueModule = win32::UniqueHandle<win32::NullIsNone<HMODULE, ReleaseModule>>;

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
