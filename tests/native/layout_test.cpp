#include <gtest/gtest.h>

#include "layout.h"

namespace vornex::layout {
namespace {

TEST(Layout, At96DpiControlsLandOnTheDesignPixels) {
    struct Expected {
        ControlId id;
        PixelRect rect;
    };
    // Fractional design pixels (8.5, 111.2, ...) round to the nearest pixel.
    const Expected expected[] = {
        {IDC_LBLCOUNT, {8, 8, 380, 12}},      {IDC_LSTLISTKEY, {9, 24, 385, 196}},
        {IDC_LBLDETAIL, {8, 248, 382, 12}},   {IDC_TXTDETAIL, {8, 272, 385, 57}},
        {IDC_CMDDELETE1, {13, 352, 81, 33}},  {IDC_CMDDELETE, {111, 352, 81, 33}},
        {IDC_CMDFIX, {210, 352, 81, 33}},     {IDC_CMDQUIT, {309, 352, 81, 33}},
        {IDC_IMAGE1, {-1, 400, 404, 84}},     {IDC_LABEL1, {36, 496, 330, 12}},
    };
    for (const auto& e : expected) {
        const PixelRect actual = ToPixels(Find(e.id).twips, 96);
        EXPECT_TRUE(actual == e.rect) << "control " << e.id << ": " << actual.left << ","
                                      << actual.top << " " << actual.width << "x" << actual.height;
    }
    EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 96), 402);
    EXPECT_EQ(TwipsToPixels(kClientHeightTwips, 96), 516);
    EXPECT_EQ(TwipsToPixels(kClientLeftTwips, 96), 319);
    EXPECT_EQ(TwipsToPixels(kClientTopTwips, 96), 173);
}

TEST(Layout, TabOrderIsTheCreationOrder) {
    const ControlId order[] = {IDC_LSTLISTKEY, IDC_CMDFIX,    IDC_CMDDELETE, IDC_CMDQUIT,
                               IDC_LABEL1,     IDC_LBLCOUNT,  IDC_LBLDETAIL, IDC_TXTDETAIL,
                               IDC_CMDDELETE1, IDC_IMAGE1};
    for (std::size_t i = 0; i < kControls.size(); ++i) EXPECT_EQ(kControls[i].id, order[i]);
}

bool Overlap(const PixelRect& a, const PixelRect& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

TEST(Layout, NoTwoControlsOverlapAtAnyCommonDpi) {
    for (int dpi : {96, 120, 144, 192}) {
        for (std::size_t i = 0; i < kControls.size(); ++i) {
            for (std::size_t j = i + 1; j < kControls.size(); ++j) {
                EXPECT_FALSE(Overlap(ToPixels(kControls[i].twips, dpi), ToPixels(kControls[j].twips, dpi)))
                    << kControls[i].id << " and " << kControls[j].id << " at " << dpi << " dpi";
            }
        }
    }
}

TEST(Layout, At144DpiEveryEdgeScalesByOneAndAHalf) {
    const PixelRect list = ToPixels(Find(IDC_LSTLISTKEY).twips, 144);
    EXPECT_TRUE((list == PixelRect{13, 36, 577, 294}));  // 12.8, 36, 590.3-12.8, 330-36
    EXPECT_EQ(TwipsToPixels(-15, 144), -2);                // -1.5 rounds away from zero
    EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 144), 603);
}

}  // namespace
}  // namespace vornex::layout
