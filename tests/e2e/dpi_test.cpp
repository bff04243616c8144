// The layout at the environment's DPI (96, or 144 with --dpi 144): the
// controls scale from their twips, the banner shows whole, nothing overlaps.
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <cmath>
#include <cstring>
#include <string>

#include "layout.h"
#include "resource.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/e2e/test_options.h"

namespace vornex::e2e {
namespace {

using namespace windriver;

class ComApartment {
public:
    ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (ok_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool ok_;
};

template <typename T>
struct Released {
    T* p = nullptr;
    ~Released() {
        if (p) p->Release();
    }
};

// The banner as the executable carries it, decoded here as the program
// decodes it. Empty when something fails.
Image DecodeBanner() {
    Image image;
    HMODULE module = LoadLibraryExW(Options().exe.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return image;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_BANNER), MAKEINTRESOURCEW(10));
    const DWORD size = found ? SizeofResource(module, found) : 0;
    const void* bytes = size ? LockResource(LoadResource(module, found)) : nullptr;
    HGLOBAL copy = bytes ? GlobalAlloc(GMEM_MOVEABLE, size) : nullptr;
    if (copy) {
        std::memcpy(GlobalLock(copy), bytes, size);
        GlobalUnlock(copy);
        Released<IStream> stream;
        Released<IPicture> picture;
        OLE_HANDLE handle = 0;
        if (SUCCEEDED(CreateStreamOnHGlobal(copy, FALSE, &stream.p)) &&
            SUCCEEDED(OleLoadPicture(stream.p, static_cast<LONG>(size), FALSE, IID_IPicture,
                                     reinterpret_cast<void**>(&picture.p))) &&
            SUCCEEDED(picture.p->get_Handle(&handle))) {
            auto bitmap = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
            BITMAP info{};
            GetObjectW(bitmap, sizeof info, &info);
            BITMAPINFO format{};
            format.bmiHeader.biSize = sizeof format.bmiHeader;
            format.bmiHeader.biWidth = info.bmWidth;
            format.bmiHeader.biHeight = -info.bmHeight;
            format.bmiHeader.biPlanes = 1;
            format.bmiHeader.biBitCount = 32;
            format.bmiHeader.biCompression = BI_RGB;
            image.width = info.bmWidth;
            image.height = info.bmHeight;
            image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
            WindowDC dc(nullptr);
            if (GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(image.height), image.pixels.data(), &format,
                          DIB_RGB_COLORS) != image.height) {
                image = Image();
            }
            for (auto& p : image.pixels) p &= 0x00FFFFFFu;
        }
        GlobalFree(copy);
    }
    FreeLibrary(module);
    return image;
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift : {0, 8, 16}) {
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    }
    return worst;
}

class Dpi : public VornexE2E {
protected:
    static std::wstring DpiName() { return std::to_wstring(ScreenDpi()); }

    // Every pair of controls, and each control against the client area.
    void ExpectNoOverlaps(const char* when) {
        const std::vector<HWND> children = Children(window_);
        const RECT client = ClientRectOf(window_);
        for (std::size_t i = 0; i < children.size(); ++i) {
            const RECT a = RectInParent(children[i]);
            const int idA = ControlIdOf(children[i]);
            // Image1's outer border column lies outside the client area by design.
            if (idA != IDC_IMAGE1) {
                RECT inside{};
                IntersectRect(&inside, &a, &client);
                EXPECT_EQ(inside, a) << "control " << idA << " leaves the client area " << when;
            }
            for (std::size_t j = i + 1; j < children.size(); ++j) {
                const RECT b = RectInParent(children[j]);
                RECT both{};
                EXPECT_FALSE(IntersectRect(&both, &a, &b))
                    << "controls " << idA << " " << ::testing::PrintToString(a) << " and " << ControlIdOf(children[j])
                    << " " << ::testing::PrintToString(b) << " overlap " << when;
            }
        }
    }
};

TEST_F(Dpi, TheEnvironmentRunsAtTheDpiTheHarnessAskedFor) {
    EXPECT_EQ(ScreenDpi(), Options().dpi) << "pass --dpi N for a prefix started at N DPI";
}

TEST_F(Dpi, At144EveryControlIsItsTwipsLayoutScaledByOneAndAHalf) {
    if (Options().dpi != 144) GTEST_SKIP() << "runs in the 144-DPI environment (--dpi 144)";
    Redirect(L"a.exe", L"x.exe");
    Launch();
    ASSERT_EQ(ScreenDpi(), 144);
    const RECT client = ClientRectOf(window_);
    EXPECT_EQ(Width(client), layout::TwipsToPixels(layout::kClientWidthTwips, 144));
    EXPECT_EQ(Height(client), layout::TwipsToPixels(layout::kClientHeightTwips, 144));
    EXPECT_NEAR(Width(client), 1.5 * layout::TwipsToPixels(layout::kClientWidthTwips, 96), 1.0);

    const std::vector<HWND> children = Children(window_);
    ASSERT_EQ(children.size(), layout::kControls.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        const auto& design = layout::kControls[i];
        const layout::PixelRect at96 = layout::ToPixels(design.twips, 96);
        const layout::PixelRect at144 = layout::ToPixels(design.twips, 144);
        const RECT got = RectInParent(children[i]);
        // Each edge is rounded on its own, so 1.5 times the 96-DPI value holds
        // to within a pixel.
        EXPECT_EQ(got.left, at144.left) << "control " << design.id;
        EXPECT_EQ(got.top, at144.top) << "control " << design.id;
        EXPECT_NEAR(got.left, 1.5 * at96.left, 1.0) << "control " << design.id;
        EXPECT_NEAR(got.top, 1.5 * at96.top, 1.0) << "control " << design.id;
        if (design.id != IDC_LABEL1) {
            EXPECT_EQ(Width(got), at144.width) << "control " << design.id;
            EXPECT_NEAR(Width(got), 1.5 * at96.width, 1.0) << "control " << design.id;
        }
        const bool followsFont = design.id == IDC_LABEL1 || design.id == IDC_LBLDETAIL || design.id == IDC_LSTLISTKEY;
        if (!followsFont) {
            EXPECT_EQ(Height(got), at144.height) << "control " << design.id;
            EXPECT_NEAR(Height(got), 1.5 * at96.height, 1.0) << "control " << design.id;
        }
    }
    // The font scales too: lines and labels follow it.
    const int line = UiLineHeight();
    EXPECT_EQ(SendMessageW(Ctl(IDC_LSTLISTKEY), LB_GETITEMHEIGHT, 0, 0), line);
    EXPECT_EQ(Height(RectInParent(Ctl(IDC_LBLDETAIL))), line);
    EXPECT_EQ(Width(RectInParent(Ctl(IDC_LABEL1))), UiTextExtent(TextOfCtl(IDC_LABEL1)).cx);
    CloseAndExpectExit();
}

TEST_F(Dpi, TheBannerIsShownWholeInsideImage1) {
    ComApartment com;
    const Image banner = DecodeBanner();
    ASSERT_EQ(banner.width, 400);
    ASSERT_EQ(banner.height, 80);
    Redirect(L"a.exe", L"x.exe");
    Launch();
    ASSERT_TRUE(BringToForeground(window_));
    HWND image1 = Ctl(IDC_IMAGE1);
    const RECT inside = ClientRectOnScreen(image1);
    ASSERT_GE(Width(inside), banner.width) << "Image1 is too narrow for the picture";
    ASSERT_GE(Height(inside), banner.height) << "Image1 is too low for the picture";
    // The client area of the window holds all of it too.
    const RECT client = ClientRectOnScreen(window_);
    RECT shown{};
    IntersectRect(&shown, &inside, &client);
    EXPECT_GE(Width(shown), banner.width);
    EXPECT_GE(Height(shown), banner.height);

    const RECT picture{inside.left, inside.top, inside.left + banner.width, inside.top + banner.height};
    int differing = 0;
    WaitUntil(
        [&] {
            const Image screen = CaptureRect(picture);
            if (screen.width != banner.width || screen.height != banner.height) return false;
            differing = 0;
            for (int y = 0; y < banner.height; ++y) {
                for (int x = 0; x < banner.width; ++x) differing += ChannelDistance(screen.At(x, y), banner.At(x, y)) > 8;
            }
            return differing == 0;
        },
        2000);
    EXPECT_EQ(differing, 0) << "pixels of the 400x80 banner that do not show as decoded";
    Screenshot(L"banner-at-" + DpiName() + L"-dpi");
    CloseAndExpectExit();
}

TEST_F(Dpi, NoTwoControlsOverlapAndAllStayInTheWindow) {
    Redirect(L"notepad.exe", L"C:\\x\\evil.exe");
    Redirect(L"calc.exe", L"C:\\x\\evil.exe");
    Launch();
    ExpectNoOverlaps("at start");
    ClickLine(1);
    ExpectNoOverlaps("after a selection");
    ASSERT_TRUE(BringToForeground(window_));
    Screenshot(L"window-at-" + DpiName() + L"-dpi");
    if (!Options().out.empty()) {
        SaveWindowScreenshot(window_, JoinPath(Options().out, L"window-only-at-" + DpiName() + L"-dpi.bmp"));
    }
    CloseAndExpectExit();
}

}  // namespace
}  // namespace vornex::e2e
