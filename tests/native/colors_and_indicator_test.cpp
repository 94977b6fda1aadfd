#include "presentation/ColorRules.h"
#include "presentation/LoadingIndicator.h"

#include <gtest/gtest.h>

using namespace Quivane;

namespace {
constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r | (g << 8) | (b << 16); }
} // namespace

TEST(BackgroundColor, HostColourOnlyWhenItSuitsTheTheme) {
    EXPECT_EQ(BackgroundColorFor(false, true, Rgb(255, 255, 255)), Rgb(15, 15, 15));
    EXPECT_EQ(BackgroundColorFor(true, true, Rgb(255, 255, 255)), Rgb(255, 255, 255));
    EXPECT_EQ(BackgroundColorFor(true, false, 0), Rgb(245, 245, 245));
    EXPECT_EQ(BackgroundColorFor(false, false, 0), Rgb(15, 15, 15));
    EXPECT_EQ(BackgroundColorFor(false, true, Rgb(30, 20, 60)), Rgb(30, 20, 60));
    // Pure green is light by its luma (0.7152), pure blue dark (0.0722).
    EXPECT_EQ(BackgroundColorFor(true, true, Rgb(0, 255, 0)), Rgb(0, 255, 0));
    EXPECT_EQ(BackgroundColorFor(true, true, Rgb(0, 0, 255)), Rgb(245, 245, 245));
}

TEST(Lightness, UsesBt709Weights) {
    EXPECT_NEAR(Lightness(Rgb(255, 0, 0)), 0.2126f, 1e-6);
    EXPECT_NEAR(Lightness(Rgb(255, 255, 255)), 1.0f, 1e-6);
    EXPECT_TRUE(IsLightColor(Rgb(128, 128, 128)));
    EXPECT_FALSE(IsLightColor(Rgb(127, 127, 127)));
}

TEST(IndicatorColors, HostTextColoursTheBlockOnlyWhenItStandsOut) {
    const IndicatorColors black = IndicatorColorsFor(true, true, Rgb(0, 0, 0));
    EXPECT_FLOAT_EQ(black.block.r, 0.0f);
    EXPECT_FLOAT_EQ(black.block.a, 0.95f);
    const IndicatorColors white = IndicatorColorsFor(true, true, Rgb(255, 255, 255));
    EXPECT_FLOAT_EQ(white.block.r, 0.22f);
    const IndicatorColors dark = IndicatorColorsFor(false, false, 0);
    EXPECT_FLOAT_EQ(dark.track.r, 0.16f);
    EXPECT_FLOAT_EQ(dark.block.g, 0.72f);
    EXPECT_FLOAT_EQ(IndicatorColorsFor(false, true, Rgb(255, 255, 255)).block.b, 1.0f);
}

TEST(LoadingIndicatorGeometry, BarIsCentredAndAtMost280Wide) {
    const IndicatorGeometry big = LoadingIndicatorGeometry(1000, 600, 0);
    EXPECT_FLOAT_EQ(big.bar.left, 360);
    EXPECT_FLOAT_EQ(big.bar.top, 293);
    EXPECT_FLOAT_EQ(big.bar.right, 640);
    EXPECT_FLOAT_EQ(big.bar.bottom, 307);
    const IndicatorGeometry small = LoadingIndicatorGeometry(300, 200, 0);
    EXPECT_FLOAT_EQ(small.bar.left, 60);
    EXPECT_FLOAT_EQ(small.bar.top, 93);
    EXPECT_FLOAT_EQ(small.bar.right, 240);
    EXPECT_FLOAT_EQ(small.bar.bottom, 107);
    EXPECT_FLOAT_EQ(small.block.right - small.block.left, 43.2f);
}

TEST(LoadingIndicatorGeometry, BlockCrossesTheBarOnceASecond) {
    const IndicatorGeometry start = LoadingIndicatorGeometry(1000, 600, 0);
    EXPECT_LE(start.block.right, start.bar.left); // wholly left of the bar
    const IndicatorGeometry half = LoadingIndicatorGeometry(1000, 600, 500);
    EXPECT_FLOAT_EQ((half.block.left + half.block.right) / 2, 500);
    EXPECT_FLOAT_EQ(half.block.top, 295);
    EXPECT_FLOAT_EQ(half.block.bottom, 305);
    const IndicatorGeometry again = LoadingIndicatorGeometry(1000, 600, 1500);
    EXPECT_FLOAT_EQ(again.block.left, half.block.left);
}

TEST(LoadingIndicatorGeometry, ScalesWithTheDisplay) {
    const IndicatorGeometry scaled = LoadingIndicatorGeometry(1000, 600, 500, 1.5f);
    EXPECT_FLOAT_EQ(scaled.bar.right - scaled.bar.left, 420);
    EXPECT_FLOAT_EQ(scaled.bar.bottom - scaled.bar.top, 21);
    EXPECT_FLOAT_EQ(scaled.block.top - scaled.bar.top, 3);
    EXPECT_FLOAT_EQ((scaled.block.left + scaled.block.right) / 2, 500);
}

TEST(TextColor, StandsOutAgainstTheBackgroundAndTakesTheHostsWhenItDoes) {
    const ColorF4 onLight = TextColorFor(Rgb(245, 245, 245), false, 0);
    const ColorF4 onDark = TextColorFor(Rgb(15, 15, 15), false, 0);
    EXPECT_LT(onLight.g, 0.2f);
    EXPECT_GT(onDark.g, 0.8f);
    EXPECT_FLOAT_EQ(TextColorFor(Rgb(245, 245, 245), true, Rgb(0, 0, 128)).b, 128.0f / 255.0f);
    // A host text colour that would vanish on the background is passed over.
    EXPECT_LT(TextColorFor(Rgb(245, 245, 245), true, Rgb(255, 255, 255)).r, 0.2f);
    EXPECT_GT(TextColorFor(Rgb(30, 20, 60), true, Rgb(10, 10, 10)).r, 0.8f);
}
