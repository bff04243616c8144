// Vornex.exe's start-up without the banner decode: the same program with an
// empty banner, to measure what the OLE decode adds (the window then shows
// an empty frame, as when the picture cannot be decoded).
#include "app/banner.h"

namespace vornex {

win32::UniqueBitmap LoadBanner(HINSTANCE) { return {}; }

}  // namespace vornex
