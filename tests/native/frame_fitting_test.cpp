#include "presentation/FrameFitting.h"

#include <gtest/gtest.h>

using Quivane::FitCentered;

TEST(FitCentered, WideFrameTouchesLeftAndRightAndIsCentredVertically) {
    const auto fit = FitCentered(400, 400, 100, 50);
    EXPECT_FLOAT_EQ(fit.left, 0);
    EXPECT_FLOAT_EQ(fit.top, 100);
    EXPECT_FLOAT_EQ(fit.right, 400);
    EXPECT_FLOAT_EQ(fit.bottom, 300);
}

TEST(FitCentered, TallFrameIsCentredHorizontallyAndScaledDown) {
    const auto fit = FitCentered(300, 100, 100, 200);
    EXPECT_FLOAT_EQ(fit.left, 125);
    EXPECT_FLOAT_EQ(fit.top, 0);
    EXPECT_FLOAT_EQ(fit.right, 175);
    EXPECT_FLOAT_EQ(fit.bottom, 100);
}

TEST(FitCentered, EmptyBitmapScalesAsOnePixel) {
    const auto fit = FitCentered(200, 100, 0, 0);
    // scale = min(200 / 1, 100 / 1) = 100, and a 0x0 picture has no extent: a point in the centre.
    EXPECT_FLOAT_EQ(fit.left, 100);
    EXPECT_FLOAT_EQ(fit.right, 100);
    EXPECT_FLOAT_EQ(fit.top, 50);
    EXPECT_FLOAT_EQ(fit.bottom, 50);
}

TEST(PlaceFrame, PixelExactScalesByTheWholeMultipleBelowTheFitAndCentresOnWholePixels) {
    // 8 x 8 in 200 x 150 fits at 18.75: 18x, 144 x 144, from (28, 3).
    const auto place = Quivane::PlaceFrame(200, 150, 8, 8, true);
    EXPECT_TRUE(place.nearestNeighbour);
    EXPECT_FLOAT_EQ(place.rect.left, 28);
    EXPECT_FLOAT_EQ(place.rect.top, 3);
    EXPECT_FLOAT_EQ(place.rect.right, 172);
    EXPECT_FLOAT_EQ(place.rect.bottom, 147);
    // An odd margin rounds down to a whole pixel: 3 x 5 at 3x in 20 x 16 is 9 x 15 from (5, 0).
    const auto odd = Quivane::PlaceFrame(20, 16, 3, 5, true);
    EXPECT_TRUE(odd.nearestNeighbour);
    EXPECT_FLOAT_EQ(odd.rect.left, 5);
    EXPECT_FLOAT_EQ(odd.rect.top, 0);
    EXPECT_FLOAT_EQ(odd.rect.right, 14);
    EXPECT_FLOAT_EQ(odd.rect.bottom, 15);
}

TEST(PlaceFrame, BelowTwiceItsSizeOrByDefaultAFrameFitsSmoothly) {
    const auto small = Quivane::PlaceFrame(199, 300, 100, 100, true); // fits at 1.99
    EXPECT_FALSE(small.nearestNeighbour);
    EXPECT_FLOAT_EQ(small.rect.right - small.rect.left, 199);
    const auto linear = Quivane::PlaceFrame(200, 150, 8, 8, false);
    EXPECT_FALSE(linear.nearestNeighbour);
    EXPECT_FLOAT_EQ(linear.rect.bottom - linear.rect.top, 150);
    EXPECT_FALSE(Quivane::PlaceFrame(0, 0, 8, 8, true).nearestNeighbour); // an empty pane
}
