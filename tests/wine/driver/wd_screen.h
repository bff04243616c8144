#pragma once
// Screen pixels, read back from the screen DC.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace windriver {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, top row first

    std::uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool empty() const { return pixels.empty(); }
};

// The whole primary screen (under Wine's virtual desktop: the desktop).
Image CaptureScreen();
// A rectangle in screen coordinates, clipped to the screen. Throws Error.
Image CaptureRect(const RECT& screenRect);
// The window's screen rectangle: what is on top there, as a person sees it.
Image CaptureWindow(HWND hwnd);

// Makes this process DPI aware, so that its coordinates and captures are
// real pixels when the prefix runs at more than 96 DPI. Call it first.
bool MakeProcessDpiAware();
// GetDeviceCaps(LOGPIXELSY) of the screen, as this process sees it.
int ScreenDpi();

// Writes a 24-bit bottom-up .bmp. Throws Error.
void WriteBmp(const Image& image, const std::wstring& path);
void SaveScreenshot(const std::wstring& path);
void SaveWindowScreenshot(HWND hwnd, const std::wstring& path);

}  // namespace windriver
