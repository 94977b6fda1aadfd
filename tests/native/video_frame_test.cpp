#include "formats/video/VideoFrame.h"

#include <gtest/gtest.h>

using namespace Quivane;

namespace {

DecodedVideoFrame Solid(std::uint32_t width, std::uint32_t height, std::uint8_t grey) {
    DecodedVideoFrame frame;
    frame.width = width;
    frame.height = height;
    frame.stride = width * 4;
    frame.pixels.assign(static_cast<size_t>(frame.stride) * height, grey);
    return frame;
}

void SetPixel(DecodedVideoFrame& frame, std::uint32_t x, std::uint32_t y, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    std::uint8_t* p = frame.pixels.data() + static_cast<size_t>(y) * frame.stride + x * 4;
    p[0] = b;
    p[1] = g;
    p[2] = r;
}

} // namespace

TEST(DarknessTest, MeanOrBrightestPixelDecides) {
    EXPECT_FALSE(PassesDarknessTest(Solid(64, 48, 0)));
    EXPECT_FALSE(PassesDarknessTest(Solid(64, 48, 9)));  // luma of grey 9 is 9
    EXPECT_TRUE(PassesDarknessTest(Solid(64, 48, 10)));  // mean 10
    DecodedVideoFrame spot = Solid(64, 48, 0);
    SetPixel(spot, 2, 2, 24, 24, 24); // on the sampling grid (steps of 2)
    EXPECT_TRUE(PassesDarknessTest(spot));
    DecodedVideoFrame offGrid = Solid(64, 48, 0);
    SetPixel(offGrid, 3, 3, 255, 255, 255); // between sampled columns and rows
    EXPECT_FALSE(PassesDarknessTest(offGrid));
    DecodedVideoFrame dimRed = Solid(64, 48, 0);
    SetPixel(dimRed, 0, 0, 0, 0, 113); // (54 * 113) >> 8 = 23
    EXPECT_FALSE(PassesDarknessTest(dimRed));
    SetPixel(dimRed, 0, 0, 0, 0, 114); // 24
    EXPECT_TRUE(PassesDarknessTest(dimRed));
}

TEST(DarknessTest, MalformedFramesNeverPass) {
    DecodedVideoFrame narrowStride = Solid(8, 8, 200);
    narrowStride.stride = 28;
    EXPECT_FALSE(PassesDarknessTest(narrowStride));
    DecodedVideoFrame shortBuffer = Solid(8, 8, 200);
    shortBuffer.pixels.resize(100);
    EXPECT_FALSE(PassesDarknessTest(shortBuffer));
    EXPECT_FALSE(PassesDarknessTest(DecodedVideoFrame{}));
    DecodedVideoFrame padded = Solid(8, 8, 200);
    padded.stride = 40; // padded rows are fine
    padded.pixels.assign(40 * 8, 200);
    EXPECT_TRUE(PassesDarknessTest(padded));
}

TEST(ChooseVisibleArea, ApertureInsideTheCodedFrame) {
    const auto area = ChooseVisibleArea(1920, 1088, 0, 0, 1920, 1080);
    ASSERT_TRUE(area.has_value());
    EXPECT_EQ(area->width, 1920u);
    EXPECT_EQ(area->height, 1080u);
    const auto offset = ChooseVisibleArea(100, 80, 10, 4, 200, 200); // clipped to the frame
    ASSERT_TRUE(offset.has_value());
    EXPECT_EQ(offset->x, 10u);
    EXPECT_EQ(offset->y, 4u);
    EXPECT_EQ(offset->width, 90u);
    EXPECT_EQ(offset->height, 76u);
    const auto negative = ChooseVisibleArea(100, 80, -5, -5, 50, 50); // negative offsets count as 0
    ASSERT_TRUE(negative.has_value());
    EXPECT_EQ(negative->x, 0u);
    EXPECT_EQ(negative->width, 50u);
}

TEST(ChooseVisibleArea, EmptyOutsideOrWholeFrameAreasAreIgnored) {
    EXPECT_FALSE(ChooseVisibleArea(100, 80, 0, 0, 100, 80).has_value());
    EXPECT_FALSE(ChooseVisibleArea(100, 80, 0, 0, 500, 500).has_value()); // clips to the whole frame
    EXPECT_FALSE(ChooseVisibleArea(100, 80, 100, 0, 10, 10).has_value());
    EXPECT_FALSE(ChooseVisibleArea(100, 80, 0, 80, 10, 10).has_value());
    EXPECT_FALSE(ChooseVisibleArea(100, 80, 0, 0, 0, 10).has_value());
}

TEST(CopyRowsUpright, BottomUpSourcesComeOutUpright) {
    const std::uint8_t source[] = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3}; // three 1-pixel rows in memory order
    std::uint8_t target[12] = {};
    CopyRowsUpright(source, -4, 4, 3, target);
    EXPECT_EQ(target[0], 3);
    EXPECT_EQ(target[8], 1);
    CopyRowsUpright(source, 4, 4, 3, target);
    EXPECT_EQ(target[0], 1);
    EXPECT_EQ(target[8], 3);
}

TEST(StillPosition, TargetsAndTimestampsStayOnTheTimeLine) {
    EXPECT_EQ(LastShowablePosition(50, 100), 50u);
    EXPECT_EQ(LastShowablePosition(100, 100), 99u);
    EXPECT_EQ(LastShowablePosition(500, 0), 500u); // no duration: nothing to clamp to
    EXPECT_EQ(StillPosition(true, 40, 77, 100), 40u);
    EXPECT_EQ(StillPosition(false, 40, 77, 100), 77u);
    EXPECT_EQ(StillPosition(false, 40, -3, 100), 0u);
    EXPECT_EQ(StillPosition(false, 0, 150, 100), 99u);
}
