#pragma once
#include <windows.h>

#include "win32/handles.h"

namespace vornex {

// The banner picture from the executable's resources as a bitmap of its own;
// empty if it cannot be decoded (the window then shows an empty frame).
win32::UniqueBitmap LoadBanner(HINSTANCE instance);

}  // namespace vornex
