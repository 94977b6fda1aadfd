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
