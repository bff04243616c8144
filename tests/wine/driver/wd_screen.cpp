#include "wd_screen.h"

#include "wd_handles.h"
#include "wd_text.h"
#include "wd_window.h"

#include <cstring>

namespace windriver {

bool MakeProcessDpiAware() { return ::SetProcessDPIAware() != FALSE; }

int ScreenDpi() {
    WindowDC dc(nullptr);
    return dc ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : 0;
}

Image CaptureScreen() {
    RECT r{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    return CaptureRect(r);
}

Image CaptureRect(const RECT& screenRect) {
    RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    RECT r{};
    if (!::IntersectRect(&r, &screenRect, &screen)) ThrowError("CaptureRect: off screen", ERROR_INVALID_PARAMETER);
    const int w = r.right - r.left, h = r.bottom - r.top;

    WindowDC screenDc(nullptr);
    if (!screenDc) ThrowLastError("GetDC(NULL)");
    MemoryDC mem(::CreateCompatibleDC(screenDc.get()));
    if (!mem) ThrowLastError("CreateCompatibleDC");

    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap dib(::CreateDIBSection(mem.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !bits) ThrowLastError("CreateDIBSection");
    {
        SelectGuard sel(mem.get(), dib.get());
        if (!::BitBlt(mem.get(), 0, 0, w, h, screenDc.get(), r.left, r.top, SRCCOPY | CAPTUREBLT))
            ThrowLastError("BitBlt from the screen");
        ::GdiFlush();
    }
    Image img;
    img.width = w;
    img.height = h;
    img.pixels.resize(static_cast<size_t>(w) * h);
    std::memcpy(img.pixels.data(), bits, img.pixels.size() * 4);
    for (auto& p : img.pixels) p &= 0x00FFFFFFu;
    return img;
}

Image CaptureWindow(HWND hwnd) { return CaptureRect(WindowRectOnScreen(hwnd)); }

void WriteBmp(const Image& image, const std::wstring& path) {
    const int w = image.width, h = image.height;
    const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~static_cast<size_t>(3);
    const size_t dataSize = stride * static_cast<size_t>(h);

    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    fh.bfType = 0x4D42;  // "BM"
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = static_cast<DWORD>(fh.bfOffBits + dataSize);
    ih.biSize = sizeof ih;
    ih.biWidth = w;
    ih.biHeight = h;  // bottom-up, the form every reader accepts
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biCompression = BI_RGB;
    ih.biSizeImage = static_cast<DWORD>(dataSize);

    std::vector<BYTE> data(dataSize, 0);
    for (int y = 0; y < h; ++y) {
        BYTE* row = data.data() + stride * static_cast<size_t>(h - 1 - y);
        for (int x = 0; x < w; ++x) {
            std::uint32_t p = image.At(x, y);
            row[x * 3 + 0] = static_cast<BYTE>(p);
            row[x * 3 + 1] = static_cast<BYTE>(p >> 8);
            row[x * 3 + 2] = static_cast<BYTE>(p >> 16);
        }
    }

    Handle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowLastError("CreateFileW " + Utf8(path));
    auto write = [&](const void* p, size_t n) {
        DWORD done = 0;
        if (!::WriteFile(file.get(), p, static_cast<DWORD>(n), &done, nullptr) || done != n)
            ThrowLastError("WriteFile " + Utf8(path));
    };
    write(&fh, sizeof fh);
    write(&ih, sizeof ih);
    write(data.data(), data.size());
}

void SaveScreenshot(const std::wstring& path) { WriteBmp(CaptureScreen(), path); }

void SaveWindowScreenshot(HWND hwnd, const std::wstring& path) { WriteBmp(CaptureWindow(hwnd), path); }

}  // namespace windriver
