#include "presentation/SeekBar.h"

#include <gtest/gtest.h>

#include <limits>

using namespace Quivane;

namespace {
SeekBar FrameBar(std::uint32_t frames, std::int32_t w = 1000, std::int32_t h = 600) {
    SeekBar bar;
    bar.SetSize(w, h);
    bar.SetFrameMode(frames);
    return bar;
}
} // namespace

TEST(SeekBarMapping, ClicksPickTheNearestFrame) {
    struct Case {
        std::int32_t x;
        std::uint32_t frame;
    };
    // (500 - 12) / 976 * 4 = 2.0; (378 - 12) / 976 * 4 = 1.5, rounded away from zero.
    for (const Case c : {Case{5, 0}, Case{997, 4}, Case{500, 2}, Case{378, 2}, Case{-300, 0}, Case{5000, 4}}) {
        SeekBar bar = FrameBar(5);
        bar.Press(c.x, 590);
        EXPECT_TRUE(bar.IsDragging());
        EXPECT_EQ(bar.FrameIndex(), c.frame) << "x = " << c.x;
    }
}

TEST(SeekBarMapping, TimeModeUsesAFraction) {
    SeekBar bar = FrameBar(0);
    bar.SetTimeFraction(0.3);
    bar.Press(5, 599);
    EXPECT_DOUBLE_EQ(bar.Fraction(), 0.0);
    bar.Drag(997);
    EXPECT_DOUBLE_EQ(bar.Fraction(), 1.0);
    bar.Drag(500);
    EXPECT_NEAR(bar.Fraction(), 0.5, 1e-6);
    EXPECT_EQ(bar.PositionOn(10'000'000), 5'000'000u);
    EXPECT_TRUE(bar.Release());
    EXPECT_FALSE(bar.Release());
    bar.Drag(5); // no drag in progress: ignored
    EXPECT_NEAR(bar.Fraction(), 0.5, 1e-6);
    EXPECT_EQ(bar.PositionOn(0), 0u);
}

TEST(SeekBarPress, OnlyTheLowestFortyPixelsStartADrag) {
    SeekBar above = FrameBar(5);
    above.Press(500, 600 - 41);
    EXPECT_FALSE(above.IsDragging());
    SeekBar on = FrameBar(5);
    on.Press(500, 600 - 40);
    EXPECT_TRUE(on.IsDragging());
}

TEST(SeekBarPress, InvisibleForASingleFrame) {
    SeekBar bar = FrameBar(1);
    EXPECT_FALSE(bar.IsVisible());
    bar.Press(500, 599);
    EXPECT_FALSE(bar.IsDragging());
    EXPECT_TRUE(FrameBar(2).IsVisible());
    SeekBar video = FrameBar(0);
    video.SetTimeFraction(0);
    EXPECT_TRUE(video.IsVisible());
}

TEST(SeekBarGeometry, ElementsSitAtTheBottomAndTheThumbFollowsTheFrame) {
    SeekBar bar = FrameBar(5);
    const RectF background = bar.BackgroundRect();
    EXPECT_FLOAT_EQ(background.top, 560);
    EXPECT_FLOAT_EQ(background.right, 1000);
    const RectF track = bar.TrackRect();
    EXPECT_FLOAT_EQ(track.left, 12);
    EXPECT_FLOAT_EQ(track.top, 575);
    EXPECT_FLOAT_EQ(track.right, 988);
    EXPECT_FLOAT_EQ(track.bottom, 585);
    EXPECT_FLOAT_EQ(bar.ThumbCentreX(), 12);
    bar.SetFrameIndex(2);
    EXPECT_FLOAT_EQ(bar.ThumbCentreX(), 500);
    bar.SetFrameIndex(40);
    EXPECT_EQ(bar.FrameIndex(), 4u);
    EXPECT_FLOAT_EQ(bar.ThumbCentreX(), 988);
    const RectF stem = bar.ThumbStemRect();
    EXPECT_FLOAT_EQ(stem.left, 985);
    EXPECT_FLOAT_EQ(stem.top, 564);
    EXPECT_FLOAT_EQ(stem.bottom, 596);
    EXPECT_FLOAT_EQ(bar.ThumbCentreY(), 580);
}

TEST(SeekBarModes, SwitchingModesKeepsValuesInRange) {
    SeekBar bar = FrameBar(10);
    bar.SetFrameIndex(8);
    bar.SetFrameMode(4);
    EXPECT_EQ(bar.FrameIndex(), 3u);
    bar.SetTimeFraction(7.0);
    EXPECT_DOUBLE_EQ(bar.Fraction(), 1.0);
    bar.SetFrameIndex(2); // ignored in time mode
    EXPECT_EQ(bar.FrameIndex(), 0u);
    bar.SetSize(-5, -7);
    EXPECT_FLOAT_EQ(bar.BackgroundRect().right, 0);
}

TEST(SeekBarTheme, ColoursAreReadAgainAtMostOnceASecond) {
    SeekBar bar;
    EXPECT_TRUE(bar.ThemeCheckDue(5));
    bar.ApplyTheme(true, 5000);
    EXPECT_FLOAT_EQ(bar.Colors().thumb.r, 0.22f);
    EXPECT_FALSE(bar.ThemeCheckDue(5999));
    EXPECT_TRUE(bar.ThemeCheckDue(6000));
    bar.ApplyTheme(false, 6000);
    EXPECT_FLOAT_EQ(bar.Colors().thumb.r, 0.72f);
    EXPECT_FLOAT_EQ(bar.Colors().background.a, 0.75f);
    EXPECT_TRUE(bar.ThemeCheckDue(6000 + 1000));
    bar.ApplyTheme(false, 0xFFFFFF00u);
    EXPECT_TRUE(bar.ThemeCheckDue(0xFFFFFF00u + 1000)); // across the 32-bit tick wrap
}

TEST(SeekBarScale, TheBarItsHitAreaAndTheThumbGrowWithTheDisplayScale) {
    SeekBar bar = FrameBar(5);
    bar.SetScale(2.0f);
    EXPECT_FLOAT_EQ(bar.BackgroundRect().top, 520);
    EXPECT_FLOAT_EQ(bar.TrackRect().left, 24);
    EXPECT_FLOAT_EQ(bar.TrackRect().top, 550);
    EXPECT_FLOAT_EQ(bar.ThumbCentreY(), 560);
    EXPECT_FLOAT_EQ(bar.ThumbRadius(), 16);
    EXPECT_FLOAT_EQ(bar.ThumbStemRect().right - bar.ThumbStemRect().left, 12);
    bar.Press(24, 600 - 80); // outside the bar at 96 DPI, inside it at 192
    EXPECT_TRUE(bar.IsDragging());
    bar.Drag(976);
    EXPECT_EQ(bar.FrameIndex(), 4u);
    SeekBar unscaled = FrameBar(5);
    unscaled.Press(24, 600 - 80);
    EXPECT_FALSE(unscaled.IsDragging());
    // A scale the system cannot mean leaves the bar at its plain size.
    for (const float nonsense : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN()}) {
        bar.SetScale(nonsense);
        EXPECT_FLOAT_EQ(bar.BackgroundRect().top, 560) << nonsense;
    }
}
