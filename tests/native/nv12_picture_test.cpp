#include "formats/video/Nv12Picture.h"
#include "imaging/AreaScale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace Quivane;

namespace {

// A picture of one luma value with one chroma pair, rows padded to `stride`.
std::vector<std::uint8_t> Flat(const Nv12Layout& layout, std::uint8_t y, std::uint8_t u, std::uint8_t v) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(Nv12Bytes(layout)), 0x77);
    for (std::uint32_t row = 0; row < layout.height; ++row) std::fill_n(data.begin() + row * layout.stride, layout.width, y);
    const std::size_t chroma = static_cast<std::size_t>(layout.stride) * layout.height;
    for (std::uint32_t row = 0; row < (layout.height + 1) / 2; ++row) {
        for (std::uint32_t x = 0; x < (layout.width + 1) / 2; ++x) {
            data[chroma + row * layout.stride + 2 * x] = u;
            data[chroma + row * layout.stride + 2 * x + 1] = v;
        }
    }
    return data;
}

std::array<int, 3> Rgb(const DecodedVideoFrame& frame, std::uint32_t x, std::uint32_t y) {
    const std::uint8_t* p = frame.pixels.data() + y * frame.stride + x * 4;
    return {p[2], p[1], p[0]};
}

TEST(Nv12Picture, ConvertsWithTheMatrixAndRangeOfTheVideo) {
    struct Case {
        YuvMatrix matrix;
        bool full;
        std::uint8_t y, u, v;
        std::array<int, 3> rgb;
    };
    const Case cases[] = {
        {YuvMatrix::Bt601, false, 16, 128, 128, {0, 0, 0}},       {YuvMatrix::Bt601, false, 235, 128, 128, {255, 255, 255}},
        {YuvMatrix::Bt601, false, 81, 90, 240, {255, 0, 0}},      {YuvMatrix::Bt709, false, 63, 102, 240, {255, 0, 0}},
        {YuvMatrix::Bt709, false, 173, 42, 26, {0, 255, 0}},      {YuvMatrix::Bt601, true, 128, 128, 128, {128, 128, 128}},
        {YuvMatrix::Bt601, true, 76, 85, 255, {254, 0, 0}},
    };
    for (const Case& c : cases) {
        const Nv12Layout layout{5, 3, 8, c.matrix, c.full}; // odd sizes, padded rows
        const std::vector<std::uint8_t> data = Flat(layout, c.y, c.u, c.v);
        DecodedVideoFrame frame;
        ASSERT_TRUE(ConvertNv12(data.data(), data.size(), layout, frame));
        EXPECT_EQ(frame.width, 5u);
        EXPECT_EQ(frame.stride, 20u);
        for (std::uint32_t x : {0u, 4u}) {
            const std::array<int, 3> rgb = Rgb(frame, x, 2);
            for (int i = 0; i < 3; ++i) EXPECT_NEAR(rgb[i], c.rgb[i], 2) << int(c.y) << " channel " << i;
        }
    }
    // Each chroma pair colours its own two-by-two block.
    const Nv12Layout layout{4, 2, 4, YuvMatrix::Bt601, false};
    std::vector<std::uint8_t> data = Flat(layout, 81, 128, 128);
    data[8 + 2] = 90; // the right block turns red
    data[8 + 3] = 240;
    DecodedVideoFrame frame;
    ASSERT_TRUE(ConvertNv12(data.data(), data.size(), layout, frame));
    EXPECT_EQ(Rgb(frame, 1, 1)[1], Rgb(frame, 0, 0)[1]);
    EXPECT_GT(Rgb(frame, 2, 1)[0], 250);
    EXPECT_LT(Rgb(frame, 3, 0)[1], 5);
    EXPECT_FALSE(ConvertNv12(data.data(), data.size() - 1, layout, frame));
    EXPECT_EQ(Nv12Bytes(Nv12Layout{5, 2, 5, YuvMatrix::Bt601, false}), 0u); // a chroma row needs six bytes
}

TEST(Nv12Picture, DarknessThresholdsAreThoseOfConvertedFramesOnLimitedRangeLuma) {
    const Nv12Layout layout{64, 48, 64, YuvMatrix::Bt601, false};
    const auto bright = [&](std::uint8_t everywhere, std::uint8_t atCorner, bool full = false) {
        Nv12Layout l = layout;
        l.fullRange = full;
        std::vector<std::uint8_t> data = Flat(l, everywhere, 128, 128);
        data[0] = atCorner; // a sampled position
        return PassesNv12DarknessTest(data.data(), data.size(), l);
    };
    EXPECT_FALSE(bright(24, 24)); // (24 - 16) * 255 / 219 = 9.3: under a mean of 10
    EXPECT_TRUE(bright(25, 25));  // 10.5
    EXPECT_FALSE(bright(16, 36)); // 23.3: no sample reaches 24
    EXPECT_TRUE(bright(16, 37));  // 24.5
    EXPECT_TRUE(bright(10, 10, true));
    EXPECT_FALSE(bright(9, 23, true));
    const std::vector<std::uint8_t> data = Flat(layout, 200, 128, 128);
    EXPECT_FALSE(PassesNv12DarknessTest(data.data(), data.size() - 1, layout));
}

} // namespace

TEST(Nv12Picture, FittedConversionIsTheWholeConversionCroppedAndScaled) {
    Nv12Layout layout;
    layout.width = 37;
    layout.height = 22;
    layout.stride = 40;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(Nv12Bytes(layout)));
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>((i * 7919) >> 3);
    struct Case {
        const char* name;
        std::optional<VisibleArea> area;
        std::uint32_t maxWidth, maxHeight, width, height;
    };
    const Case cases[] = {
        {"whole, smaller than the box", std::nullopt, 100, 100, 37, 22},
        {"whole, fitted by width", std::nullopt, 20, 100, 20, 12},
        {"whole, fitted by height", std::nullopt, 100, 11, 19, 11},
        {"an area, fitted", VisibleArea{3, 2, 30, 18}, 15, 15, 15, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedVideoFrame whole;
        ASSERT_TRUE(ConvertNv12(data.data(), data.size(), layout, whole));
        const VisibleArea area = c.area ? *c.area : VisibleArea{0, 0, layout.width, layout.height};
        std::vector<std::uint8_t> cropped;
        for (std::uint32_t y = 0; y < area.height; ++y) {
            const auto* row = whole.pixels.data() + (area.y + y) * whole.stride + area.x * 4;
            cropped.insert(cropped.end(), row, row + area.width * 4);
        }
        std::vector<std::uint8_t> expected(c.width * c.height * 4);
        ASSERT_TRUE(ScalePremultipliedBgra(cropped.data(), area.width, area.height, area.width * 4, expected.data(),
                                           c.width, c.height, c.width * 4));
        FramePixels fitted;
        ASSERT_TRUE(ConvertNv12Fitted(data.data(), data.size(), layout, c.area, c.maxWidth, c.maxHeight, fitted));
        EXPECT_EQ(fitted.width, c.width);
        EXPECT_EQ(fitted.height, c.height);
        ASSERT_EQ(fitted.pixels.size(), expected.size());
        int largest = 0; // the streaming scaler rounds its sums apart from the whole-picture one
        for (std::size_t i = 0; i < expected.size(); ++i) largest = std::max(largest, std::abs(fitted.pixels[i] - expected[i]));
        EXPECT_LE(largest, 1);
    }
    FramePixels none;
    EXPECT_FALSE(ConvertNv12Fitted(data.data(), data.size() - 1, layout, std::nullopt, 10, 10, none));
    EXPECT_FALSE(ConvertNv12Fitted(data.data(), data.size(), layout, VisibleArea{30, 0, 10, 5}, 10, 10, none));
}
