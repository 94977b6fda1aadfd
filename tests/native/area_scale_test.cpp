#include "imaging/AreaScale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

using Quivane::AreaRowScaler;
using Quivane::ScalePremultipliedBgra;

namespace {

using Pixel = std::array<std::uint8_t, 4>; // B, G, R, A

struct Picture {
    Picture(std::uint32_t w, std::uint32_t h, std::size_t padding = 0)
        : width(w), height(h), stride(static_cast<std::size_t>(w) * 4 + padding), bytes(stride * h, 0xCD) {}
    Pixel At(std::uint32_t x, std::uint32_t y) const {
        Pixel p;
        std::memcpy(p.data(), &bytes[y * stride + x * 4], 4);
        return p;
    }
    void Set(std::uint32_t x, std::uint32_t y, Pixel p) { std::memcpy(&bytes[y * stride + x * 4], p.data(), 4); }
    void Fill(Pixel p) {
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x) Set(x, y, p);
    }
    std::uint32_t width, height;
    std::size_t stride;
    std::vector<std::uint8_t> bytes;
};

// Deterministic premultiplied noise: colour never above alpha.
Picture Noise(std::uint32_t w, std::uint32_t h, std::uint32_t start, std::size_t padding = 0) {
    Picture picture(w, h, padding);
    std::uint32_t state = start * 2654435761u + 1;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<std::uint8_t>(state >> 24);
    };
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint8_t a = next();
            auto channel = [&] { return static_cast<std::uint8_t>(next() % (a + 1u)); };
            const std::uint8_t b = channel(), g = channel(), r = channel();
            picture.Set(x, y, {b, g, r, a});
        }
    }
    return picture;
}

Picture Scale(const Picture& source, std::uint32_t w, std::uint32_t h, std::size_t padding = 0) {
    Picture target(w, h, padding);
    EXPECT_TRUE(ScalePremultipliedBgra(source.bytes.data(), source.width, source.height, source.stride,
                                       target.bytes.data(), w, h, target.stride));
    return target;
}

// How much each source pixel counts towards output pixel i along one axis,
// straight from the definitions, in doubles and without the fixed point.
std::vector<double> ReferenceWeights(std::uint32_t source, std::uint32_t target, std::uint32_t i) {
    std::vector<double> weights(source, 0.0);
    if (source >= target) {
        const double from = double(i) * source / target, to = double(i + 1) * source / target;
        for (std::uint32_t j = 0; j < source; ++j) {
            const double overlap = std::min<double>(j + 1, to) - std::max<double>(j, from);
            if (overlap > 0) weights[j] = overlap / (to - from);
        }
    } else {
        const double centre = std::clamp((i + 0.5) * source / target - 0.5, 0.0, double(source - 1));
        const auto left = static_cast<std::uint32_t>(centre);
        const double fraction = centre - left;
        weights[left] += 1 - fraction;
        if (fraction > 0) weights[left + 1] += fraction;
    }
    return weights;
}

// The source fed to the row scaler one row at a time.
Picture ScaleByRows(const Picture& source, std::uint32_t w, std::uint32_t h) {
    Picture target(w, h);
    AreaRowScaler rows;
    EXPECT_TRUE(rows.Begin(source.width, source.height, target.bytes.data(), w, h, target.stride));
    for (std::uint32_t y = 0; y < source.height; ++y) rows.AddRow(y, 0, source.bytes.data() + y * source.stride, source.width);
    rows.Finish();
    return target;
}

// Every channel within rounding of the ideal value.
void ExpectNearIdeal(const Picture& source, const Picture& result) {
    const std::uint32_t w = result.width, h = result.height;
    double worst = 0;
    for (std::uint32_t ty = 0; ty < h; ++ty) {
        const std::vector<double> wy = ReferenceWeights(source.height, h, ty);
        for (std::uint32_t tx = 0; tx < w; ++tx) {
            const std::vector<double> wx = ReferenceWeights(source.width, w, tx);
            std::array<double, 4> ideal{};
            for (std::uint32_t sy = 0; sy < source.height; ++sy) {
                if (wy[sy] == 0) continue;
                for (std::uint32_t sx = 0; sx < source.width; ++sx) {
                    if (wx[sx] == 0) continue;
                    const Pixel p = source.At(sx, sy);
                    for (int c = 0; c < 4; ++c) ideal[c] += wx[sx] * wy[sy] * p[c];
                }
            }
            const Pixel got = result.At(tx, ty);
            for (int c = 0; c < 4; ++c) worst = std::max(worst, std::abs(got[c] - ideal[c]));
        }
    }
    EXPECT_LT(worst, 0.51); // rounding to nearest, plus 1/512 from the intermediate
}

void ExpectMatchesReference(const Picture& source, std::uint32_t w, std::uint32_t h) {
    SCOPED_TRACE(testing::Message() << source.width << "x" << source.height << " -> " << w << "x" << h);
    ExpectNearIdeal(source, Scale(source, w, h));
    SCOPED_TRACE("fed by rows");
    ExpectNearIdeal(source, ScaleByRows(source, w, h));
}

} // namespace

TEST(AreaScale, RefusesDegenerateArgumentsAndWritesNothing) {
    const Picture source = Noise(8, 8, 1);
    Picture target(4, 4);
    const std::vector<std::uint8_t> untouched = target.bytes;
    const std::uint8_t* s = source.bytes.data();
    std::uint8_t* t = target.bytes.data();
    EXPECT_FALSE(ScalePremultipliedBgra(nullptr, 8, 8, 32, t, 4, 4, 16));
    EXPECT_FALSE(ScalePremultipliedBgra(s, 8, 8, 32, nullptr, 4, 4, 16));
    EXPECT_FALSE(ScalePremultipliedBgra(s, 0, 8, 32, t, 4, 4, 16));
    EXPECT_FALSE(ScalePremultipliedBgra(s, 8, 0, 32, t, 4, 4, 16));
    EXPECT_FALSE(ScalePremultipliedBgra(s, 8, 8, 32, t, 0, 4, 16));
    EXPECT_FALSE(ScalePremultipliedBgra(s, 8, 8, 32, t, 4, 0, 16));
    EXPECT_FALSE(ScalePremultipliedBgra(s, 8, 8, 31, t, 4, 4, 16)); // a row is 32 bytes
    EXPECT_FALSE(ScalePremultipliedBgra(s, 8, 8, 32, t, 4, 4, 15));
    EXPECT_EQ(target.bytes, untouched);

    AreaRowScaler rows;
    EXPECT_FALSE(rows.Begin(8, 8, nullptr, 4, 4, 16));
    EXPECT_FALSE(rows.Begin(0, 8, t, 4, 4, 16));
    EXPECT_FALSE(rows.Begin(8, 8, t, 4, 0, 16));
    EXPECT_FALSE(rows.Begin(8, 8, t, 4, 4, 15));
    EXPECT_FALSE(rows.Begin(0x80000000u, 1, t, 4, 4, 16));
    rows.AddRow(0, 0, s, 8); // not begun: nothing happens
    rows.Finish();
    EXPECT_EQ(target.bytes, untouched);
}

TEST(AreaScale, RowsFedInOrderGiveTheBatchResultAndMissingPartsAreTransparent) {
    // A shape the batch scaler also takes rows first: the same bytes.
    const Picture noise = Noise(600, 300, 21);
    EXPECT_EQ(ScaleByRows(noise, 20, 100).bytes, Scale(noise, 20, 100).bytes);

    // A picture drawn only in part (rows skipped, rows given in part) scales
    // as the whole picture with the rest transparent.
    Picture sparse(90, 70);
    sparse.Fill({0, 0, 0, 0});
    const Picture patch = Noise(30, 20, 22);
    for (std::uint32_t y = 0; y < 20; ++y)
        for (std::uint32_t x = 0; x < 30; ++x) sparse.Set(41 + x, 33 + y, patch.At(x, y));
    for (const auto& size : {std::array<std::uint32_t, 2>{13, 9}, {90, 70}, {200, 140}}) {
        Picture target(size[0], size[1]);
        AreaRowScaler rows;
        ASSERT_TRUE(rows.Begin(90, 70, target.bytes.data(), size[0], size[1], target.stride));
        for (std::uint32_t y = 0; y < 20; ++y) rows.AddRow(33 + y, 41, patch.bytes.data() + y * patch.stride, 30);
        rows.AddRow(60, 89, patch.bytes.data(), 30); // clipped to the row's last pixel
        rows.AddRow(10, 0, patch.bytes.data(), 30);  // out of order: ignored
        rows.Finish();
        sparse.Set(89, 60, patch.At(0, 0));
        EXPECT_EQ(target.bytes, ScaleByRows(sparse, size[0], size[1]).bytes) << size[0] << "x" << size[1];
        ExpectNearIdeal(sparse, target);
        sparse.Set(89, 60, {0, 0, 0, 0});
    }
}

TEST(AreaScale, SidesPastTheCanvasLimitScaleWithWiderArithmetic) {
    for (const Pixel colour : {Pixel{255, 255, 255, 255}, Pixel{10, 20, 30, 40}, Pixel{1, 0, 1, 1}}) {
        for (const auto& size : {std::array<std::uint32_t, 4>{70000, 3, 5, 1}, {2, 40000, 1, 256}, {3, 2, 1, 20000}}) {
            Picture source(size[0], size[1]);
            source.Fill(colour);
            SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << " -> " << size[2] << "x" << size[3]);
            const Picture result = Scale(source, size[2], size[3]);
            for (std::uint32_t y = 0; y < size[3]; ++y)
                for (std::uint32_t x = 0; x < size[2]; ++x) ASSERT_EQ(result.At(x, y), colour);
        }
    }
    ExpectMatchesReference(Noise(40000, 2, 23), 7, 1);
    ExpectMatchesReference(Noise(3, 20000, 24), 2, 9);
}

TEST(AreaScale, EqualSizeCopiesAndLeavesRowPaddingAlone) {
    const Picture source = Noise(13, 7, 2, 12);
    const Picture result = Scale(source, 13, 7, 8);
    for (std::uint32_t y = 0; y < 7; ++y) {
        for (std::uint32_t x = 0; x < 13; ++x) EXPECT_EQ(result.At(x, y), source.At(x, y));
        for (std::size_t i = 13 * 4; i < result.stride; ++i) EXPECT_EQ(result.bytes[y * result.stride + i], 0xCD);
    }
}

TEST(AreaScale, HalvingAveragesEachTwoByTwoBlockExactly) {
    Picture source(4, 2);
    source.Fill({0, 0, 0, 0});
    source.Set(0, 0, {10, 0, 0, 40});
    source.Set(1, 0, {20, 4, 0, 80});
    source.Set(0, 1, {30, 8, 100, 120});
    source.Set(1, 1, {40, 0, 100, 160});
    source.Set(3, 1, {255, 255, 255, 255});
    const Picture result = Scale(source, 2, 1);
    EXPECT_EQ(result.At(0, 0), (Pixel{25, 3, 50, 100}));
    EXPECT_EQ(result.At(1, 0), (Pixel{64, 64, 64, 64})); // 255 / 4 = 63.75
}

TEST(AreaScale, FinePatternsAverageInsteadOfAliasing) {
    auto checkerboard = [](std::uint32_t w, std::uint32_t h) {
        Picture picture(w, h);
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x)
                picture.Set(x, y, (x + y) % 2 ? Pixel{255, 255, 255, 255} : Pixel{0, 0, 0, 255});
        return picture;
    };
    const Picture grey = Scale(checkerboard(64, 64), 16, 16);
    for (std::uint32_t y = 0; y < 16; ++y)
        for (std::uint32_t x = 0; x < 16; ++x) EXPECT_EQ(grey.At(x, y), (Pixel{128, 128, 128, 255})); // 127.5

    // 5:1 covers 25 pixels, 12 or 13 of them white: 122.4 or 132.6, never 0 or 255.
    const Picture video = Scale(checkerboard(1280, 720), 256, 144);
    for (std::uint32_t y = 0; y < 144; ++y) {
        for (std::uint32_t x = 0; x < 256; ++x) {
            const std::uint8_t expected = (x + y) % 2 ? 133 : 122;
            ASSERT_EQ(video.At(x, y), (Pixel{expected, expected, expected, 255})) << x << "," << y;
        }
    }
}

TEST(AreaScale, SolidColoursStayExactAtUnevenRatios) {
    const std::uint32_t sizes[][4] = {{1000, 7, 3, 2}, {7, 1000, 2, 3}, {3, 2, 1000, 7}, {16384, 1, 3, 1},
                                      {1, 16384, 1, 5}, {5, 3, 1, 17}, {37, 23, 10, 9}};
    for (const Pixel colour : {Pixel{255, 255, 255, 255}, Pixel{10, 20, 30, 40}, Pixel{1, 0, 1, 1}}) {
        for (const auto& size : sizes) {
            Picture source(size[0], size[1]);
            source.Fill(colour);
            SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << " -> " << size[2] << "x" << size[3]);
            const Picture result = Scale(source, size[2], size[3]);
            for (std::uint32_t y = 0; y < size[3]; ++y)
                for (std::uint32_t x = 0; x < size[2]; ++x) ASSERT_EQ(result.At(x, y), colour);
        }
    }
}

TEST(AreaScale, TransparencyStaysZeroAndAlphaBoundsEveryChannel) {
    Picture clear(300, 200);
    clear.Fill({0, 0, 0, 0});
    for (const auto& size : {std::array<std::uint32_t, 2>{37, 23}, {256, 171}, {301, 999}}) {
        const Picture result = Scale(clear, size[0], size[1]);
        for (std::uint32_t y = 0; y < size[1]; ++y)
            for (std::uint32_t x = 0; x < size[0]; ++x) ASSERT_EQ(result.At(x, y), (Pixel{0, 0, 0, 0}));
    }
    const Picture noise = Noise(61, 47, 3);
    for (const auto& size : {std::array<std::uint32_t, 2>{7, 5}, {200, 150}, {9, 100}, {100, 9}}) {
        const Picture result = Scale(noise, size[0], size[1]);
        for (std::uint32_t y = 0; y < size[1]; ++y) {
            for (std::uint32_t x = 0; x < size[0]; ++x) {
                const Pixel p = result.At(x, y);
                ASSERT_LE(std::max({p[0], p[1], p[2]}), p[3]) << x << "," << y;
            }
        }
    }
}

TEST(AreaScale, GrowingInterpolatesBetweenPixelCentresAndKeepsCorners) {
    Picture source(2, 2);
    source.Set(0, 0, {0, 0, 0, 255});
    source.Set(1, 0, {160, 0, 0, 255});
    source.Set(0, 1, {32, 0, 0, 255});
    source.Set(1, 1, {224, 0, 0, 255});
    const Picture result = Scale(source, 4, 4);
    // Output centres fall at -0.25 (held at 0), 0.25, 0.75 and 1.25 (held at 1).
    const std::uint8_t expected[4][4] = {{0, 40, 120, 160}, {8, 50, 134, 176}, {24, 70, 162, 208}, {32, 80, 176, 224}};
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 4; ++x)
            EXPECT_EQ(result.At(x, y), (Pixel{expected[y][x], 0, 0, 255})) << x << "," << y;

    // A 16-pixel ramp in steps of 16 shown 96 wide climbs smoothly, not in 16-level stairs.
    Picture ramp(16, 16);
    for (std::uint32_t y = 0; y < 16; ++y)
        for (std::uint32_t x = 0; x < 16; ++x) ramp.Set(x, y, {static_cast<std::uint8_t>(x * 16), 0, 0, 255});
    const Picture smooth = Scale(ramp, 96, 96);
    for (std::uint32_t x = 1; x < 96; ++x) {
        const int step = smooth.At(x, 50)[0] - smooth.At(x - 1, 50)[0];
        EXPECT_GE(step, 0) << x;
        EXPECT_LE(step, 3) << x;
    }
    EXPECT_EQ(smooth.At(0, 0)[0], 0);
    EXPECT_EQ(smooth.At(95, 95)[0], 240);
}

TEST(AreaScale, MatchesTheIdealAverageOrInterpolationAtAnyRatio) {
    // Shapes that take both orders of the axes, shrinking, growing and mixed.
    ExpectMatchesReference(Noise(1, 1000, 4), 1, 256);
    ExpectMatchesReference(Noise(1000, 1, 5), 256, 1);
    ExpectMatchesReference(Noise(1, 3, 6), 1, 256);
    ExpectMatchesReference(Noise(37, 23, 7), 10, 9);
    ExpectMatchesReference(Noise(60, 20, 8), 5, 10);
    ExpectMatchesReference(Noise(20, 60, 9), 10, 5);
    ExpectMatchesReference(Noise(5, 3, 10), 17, 11);
    ExpectMatchesReference(Noise(40, 3, 11), 7, 20);
    ExpectMatchesReference(Noise(3, 40, 12), 20, 7);
    ExpectMatchesReference(Noise(320, 180, 13), 256, 144);
}
