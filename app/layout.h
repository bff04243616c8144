#pragma once
#include <array>

#include "control_ids.h"

namespace vornex::layout {

// Design sizes in twips; pixels follow from the window's DPI.
struct TwipRect {
    int left, top, width, height;
};

struct ControlLayout {
    ControlId id;
    TwipRect twips;
};

struct PixelRect {
    int left, top, width, height;
    bool operator==(const PixelRect& o) const {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};

constexpr int kClientWidthTwips = 6030;
constexpr int kClientHeightTwips = 7740;
constexpr int kClientLeftTwips = 4785;  // stored position of the client area
constexpr int kClientTopTwips = 2595;

// The ten controls in tab order, which is also their creation order.
constexpr std::array<ControlLayout, 10> kControls{{
    {IDC_LSTLISTKEY, {128, 360, 5775, 2940}},
    {IDC_CMDFIX, {3148, 5280, 1215, 495}},
    {IDC_CMDDELETE, {1668, 5280, 1215, 495}},
    {IDC_CMDQUIT, {4628, 5280, 1215, 495}},
    {IDC_LABEL1, {540, 7440, 4950, 180}},
    {IDC_LBLCOUNT, {120, 120, 5700, 180}},
    {IDC_LBLDETAIL, {120, 3720, 5730, 180}},
    {IDC_TXTDETAIL, {120, 4080, 5775, 855}},
    {IDC_CMDDELETE1, {188, 5280, 1215, 495}},
    {IDC_IMAGE1, {-15, 6000, 6060, 1260}},
}};

// Twips to pixels at `dpi`, rounded to the nearest pixel (halves away from 0).
constexpr int TwipsToPixels(int twips, int dpi) {
    const long scaled = static_cast<long>(twips) * dpi;
    return static_cast<int>((scaled >= 0 ? scaled + 720 : scaled - 720) / 1440);
}

constexpr PixelRect ToPixels(const TwipRect& r, int dpi) {
    // Edges are converted, not sizes, so neighbours never gap or overlap.
    const int left = TwipsToPixels(r.left, dpi);
    const int top = TwipsToPixels(r.top, dpi);
    return {left, top, TwipsToPixels(r.left + r.width, dpi) - left,
            TwipsToPixels(r.top + r.height, dpi) - top};
}

constexpr const ControlLayout& Find(ControlId id) {
    for (const auto& control : kControls) {
        if (control.id == id) return control;
    }
    return kControls[0];
}

}  // namespace vornex::layout
