#include "formats/gif/GifCanvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

using namespace Quivane;

namespace {

using Pixel = std::array<std::uint8_t, 4>;

std::vector<std::uint8_t> Fill(std::uint32_t w, std::uint32_t h, Pixel p) {
    std::vector<std::uint8_t> out(static_cast<size_t>(w) * h * 4);
    for (size_t i = 0; i < out.size(); i += 4) std::memcpy(&out[i], p.data(), 4);
    return out;
}

Pixel At(const GifCanvas& canvas, std::uint32_t x, std::uint32_t y) {
    Pixel p;
    std::memcpy(p.data(), canvas.Pixels() + y * canvas.Stride() + x * 4, 4);
    return p;
}

GifFrameInfo Frame(std::uint32_t left, std::uint32_t top, std::uint32_t width, std::uint32_t height,
                   std::uint32_t disposal = 0) {
    GifFrameInfo info;
    info.left = left;
    info.top = top;
    info.width = width;
    info.height = height;
    info.disposal = disposal;
    return info;
}

const Pixel kTransparent{0, 0, 0, 0};
const Pixel kRed{0, 0, 255, 255};
const Pixel kBlue{255, 0, 0, 255};

} // namespace

TEST(GifDelayMs, HundredthsBecomeMillisecondsWithATenMillisecondFloor) {
    EXPECT_EQ(GifDelayMs(0), 10u);
    EXPECT_EQ(GifDelayMs(1), 10u);
    EXPECT_EQ(GifDelayMs(2), 20u);
    EXPECT_EQ(GifDelayMs(10), 100u);
    EXPECT_EQ(GifDelayMs(65535), 655350u);
    EXPECT_EQ(GifDelayMs(0xFFFFFFFFu), 0xFFFFFFFFu); // saturates rather than wrapping to a tiny delay
}

TEST(ClipToCanvas, KeepsOnlyWhatLiesOnTheCanvas) {
    auto region = ClipToCanvas(10, 8, Frame(2, 3, 4, 2));
    EXPECT_EQ(region.columns, 4u);
    EXPECT_EQ(region.rows, 2u);

    region = ClipToCanvas(10, 8, Frame(7, 6, 5, 5)); // partly outside right and bottom
    EXPECT_EQ(region.left, 7u);
    EXPECT_EQ(region.top, 6u);
    EXPECT_EQ(region.columns, 3u);
    EXPECT_EQ(region.rows, 2u);

    EXPECT_EQ(ClipToCanvas(10, 8, Frame(10, 0, 5, 5)).columns, 0u); // left == W
    EXPECT_EQ(ClipToCanvas(10, 8, Frame(0, 8, 5, 5)).rows, 0u);     // top == H
    EXPECT_EQ(ClipToCanvas(10, 8, Frame(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu)).rows, 0u);
    EXPECT_EQ(ClipToCanvas(0, 0, Frame(0, 0, 5, 5)).columns, 0u);
}

TEST(BlendOverPremultiplied, MatchesTheIntegerFormulaForEveryAlphaAndByte) {
    // src + (dst * (255 - a) + 127) / 255 for every alpha, over rows long enough
    // to cover whole blocks of pixels as well as the tail of a row.
    constexpr std::uint32_t kColumns = 19;
    for (unsigned a = 0; a <= 255; ++a) {
        for (unsigned dst = 0; dst <= 255; dst += 5) {
            const std::uint8_t c = static_cast<std::uint8_t>(a / 2); // premultiplied: c <= a
            const auto src = Fill(kColumns, 1, Pixel{c, static_cast<std::uint8_t>(a / 3), c, static_cast<std::uint8_t>(a)});
            std::vector<std::uint8_t> canvas(kColumns * 4, static_cast<std::uint8_t>(dst));
            BlendOverPremultiplied(canvas.data(), kColumns * 4, CanvasRegion{0, 0, kColumns, 1}, src.data(), kColumns * 4);
            const unsigned under = (dst * (255 - a) + 127) / 255;
            for (std::uint32_t px = 0; px < kColumns; ++px) {
                ASSERT_EQ(canvas[px * 4 + 0], c + under) << "a=" << a << " dst=" << dst << " px=" << px;
                ASSERT_EQ(canvas[px * 4 + 1], a / 3 + under) << "a=" << a << " dst=" << dst << " px=" << px;
                ASSERT_EQ(canvas[px * 4 + 3], a + under) << "a=" << a << " dst=" << dst << " px=" << px;
            }
        }
    }
}

TEST(BlendOverPremultiplied, MixedPixelsInOneRowEachFollowTheirOwnAlpha) {
    // Opaque, transparent and translucent pixels side by side, in and out of whole blocks.
    const Pixel kinds[] = {kRed, kTransparent, Pixel{10, 20, 30, 128}, kBlue};
    for (std::uint32_t columns : {7u, 8u, 9u, 16u, 21u}) {
        for (std::uint32_t pattern = 0; pattern < 4; ++pattern) {
            std::vector<std::uint8_t> src(columns * 4);
            for (std::uint32_t x = 0; x < columns; ++x) {
                const Pixel& p = kinds[(x * (pattern + 1) + pattern) % (pattern == 0 ? 2 : 4)];
                std::memcpy(&src[x * 4], p.data(), 4);
            }
            const Pixel under{40, 50, 60, 200};
            auto canvas = Fill(columns, 1, under);
            BlendOverPremultiplied(canvas.data(), columns * 4, CanvasRegion{0, 0, columns, 1}, src.data(), columns * 4);
            for (std::uint32_t x = 0; x < columns; ++x) {
                const std::uint8_t* s = &src[x * 4];
                for (int i = 0; i < 4; ++i) {
                    const unsigned expected = s[i] + (under[i] * (255u - s[3]) + 127) / 255;
                    ASSERT_EQ(canvas[x * 4 + i], expected) << "columns=" << columns << " x=" << x;
                }
            }
        }
    }
}

TEST(BlendStraightOverPremultiplied, PremultipliesEachColourDownThenBlends) {
    // floor(c * a / 255) for every colour and alpha, then the blend above, in
    // rows of one alpha (whole blocks and a tail) and rows mixing alphas.
    constexpr std::uint32_t kColumns = 19;
    for (unsigned a = 0; a <= 255; ++a) {
        for (unsigned c = 0; c <= 255; ++c) {
            for (const bool mixed : {false, true}) {
                std::vector<std::uint8_t> src(kColumns * 4);
                for (std::uint32_t x = 0; x < kColumns; ++x) {
                    const Pixel p{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(255 - c),
                                  static_cast<std::uint8_t>(c / 2), static_cast<std::uint8_t>(mixed ? a + x * 37 : a)};
                    std::memcpy(&src[x * 4], p.data(), 4);
                }
                const Pixel under{static_cast<std::uint8_t>(a), 90, 200, 230};
                auto canvas = Fill(kColumns, 1, under);
                BlendStraightOverPremultiplied(canvas.data(), kColumns * 4, CanvasRegion{0, 0, kColumns, 1}, src.data(),
                                               kColumns * 4);
                for (std::uint32_t x = 0; x < kColumns; ++x) {
                    const unsigned alpha = src[x * 4 + 3];
                    for (int i = 0; i < 4; ++i) {
                        const unsigned premultiplied = i == 3 ? alpha : src[x * 4 + i] * alpha / 255;
                        const unsigned expected = std::min(255u, premultiplied + (under[i] * (255 - alpha) + 127) / 255);
                        ASSERT_EQ(canvas[x * 4 + i], expected) << "a=" << alpha << " c=" << c << " x=" << x << " i=" << i;
                    }
                }
            }
        }
    }
}

TEST(BlendOverPremultiplied, WritesOnlyInsideTheRegion) {
    auto canvas = Fill(12, 3, kBlue);
    const auto red = Fill(9, 1, kRed);
    BlendOverPremultiplied(canvas.data(), 12 * 4, CanvasRegion{2, 1, 9, 1}, red.data(), 9 * 4);
    for (std::uint32_t y = 0; y < 3; ++y) {
        for (std::uint32_t x = 0; x < 12; ++x) {
            const bool inside = y == 1 && x >= 2 && x < 11;
            Pixel p;
            std::memcpy(p.data(), &canvas[(y * 12 + x) * 4], 4);
            ASSERT_EQ(p, inside ? kRed : kBlue) << x << "," << y;
        }
    }
}

TEST(GifCanvas, StartsTransparentAndPlacesFramesClipped) {
    GifCanvas canvas(4, 3);
    EXPECT_EQ(At(canvas, 0, 0), kTransparent);
    const auto red = Fill(3, 3, kRed);
    canvas.Compose(Frame(2, 1, 3, 3), red.data());
    EXPECT_EQ(At(canvas, 1, 1), kTransparent);
    EXPECT_EQ(At(canvas, 2, 1), kRed);
    EXPECT_EQ(At(canvas, 3, 2), kRed);
    EXPECT_EQ(At(canvas, 2, 0), kTransparent);
}

TEST(GifCanvas, FrameEntirelyOutsideChangesNothing) {
    GifCanvas canvas(4, 3);
    const auto red = Fill(2, 2, kRed);
    canvas.Compose(Frame(4, 0, 2, 2), red.data());
    canvas.Compose(Frame(0, 3, 2, 2), red.data());
    for (size_t i = 0; i < canvas.ByteSize(); ++i) ASSERT_EQ(canvas.Pixels()[i], 0);
}

TEST(GifCanvas, TransparentPixelsShowThePreviousCanvas) {
    GifCanvas canvas(2, 1);
    const auto red = Fill(2, 1, kRed);
    canvas.Compose(Frame(0, 0, 2, 1), red.data());
    std::vector<std::uint8_t> holey{255, 0, 0, 255, 0, 0, 0, 0}; // blue, then transparent
    canvas.Compose(Frame(0, 0, 2, 1), holey.data());
    EXPECT_EQ(At(canvas, 0, 0), kBlue);
    EXPECT_EQ(At(canvas, 1, 0), kRed);
}

TEST(GifCanvas, DisposeToTransparentClearsOnlyTheClippedRectangle) {
    GifCanvas canvas(4, 4);
    const auto red = Fill(4, 4, kRed);
    canvas.Compose(Frame(0, 0, 4, 4), red.data());
    const auto blue = Fill(3, 3, kBlue);
    const GifFrameInfo hole = Frame(2, 2, 3, 3, kGifDisposeToTransparent);
    canvas.Compose(hole, blue.data());
    EXPECT_EQ(At(canvas, 3, 3), kBlue);
    canvas.Dispose(hole);
    EXPECT_EQ(At(canvas, 2, 2), kTransparent);
    EXPECT_EQ(At(canvas, 3, 3), kTransparent);
    EXPECT_EQ(At(canvas, 1, 1), kRed);
    EXPECT_EQ(At(canvas, 3, 1), kRed);
}

TEST(GifCanvas, DisposeToPreviousRestoresThePictureBeforeTheFrame) {
    GifCanvas canvas(2, 2);
    const auto red = Fill(2, 2, kRed);
    canvas.Compose(Frame(0, 0, 2, 2), red.data());
    const auto blue = Fill(1, 1, kBlue);
    const GifFrameInfo temporary = Frame(1, 1, 1, 1, kGifDisposeToPrevious);
    canvas.Compose(temporary, blue.data());
    EXPECT_EQ(At(canvas, 1, 1), kBlue);
    canvas.Dispose(temporary);
    EXPECT_EQ(At(canvas, 1, 1), kRed);
}

TEST(GifCanvas, DisposeToPreviousOnTheFirstFrameReturnsToTransparent) {
    GifCanvas canvas(2, 2);
    const auto red = Fill(2, 2, kRed);
    const GifFrameInfo first = Frame(0, 0, 2, 2, kGifDisposeToPrevious);
    canvas.Compose(first, red.data());
    canvas.Dispose(first);
    for (size_t i = 0; i < canvas.ByteSize(); ++i) ASSERT_EQ(canvas.Pixels()[i], 0);
}

TEST(GifCanvas, OtherDisposalValuesKeepTheCanvas) {
    for (std::uint32_t disposal : {0u, 1u, 4u, 5u, 6u, 7u, 99u}) {
        GifCanvas canvas(1, 1);
        const auto red = Fill(1, 1, kRed);
        const GifFrameInfo info = Frame(0, 0, 1, 1, disposal);
        canvas.Compose(info, red.data());
        canvas.Dispose(info);
        EXPECT_EQ(At(canvas, 0, 0), kRed) << "disposal " << disposal;
    }
}

TEST(GifCanvas, EmptyCanvasAcceptsFramesWithoutTouchingMemory) {
    GifCanvas canvas(0, 0);
    const auto red = Fill(2, 2, kRed);
    for (std::uint32_t disposal : {0u, 2u, 3u}) {
        const GifFrameInfo info = Frame(0, 0, 2, 2, disposal);
        canvas.Compose(info, red.data());
        canvas.Dispose(info);
    }
    EXPECT_EQ(canvas.ByteSize(), 0u);
}
