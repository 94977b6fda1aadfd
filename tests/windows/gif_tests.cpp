// GIF decoding and composition on the platform's GIF codec, with files built
// byte by byte so each case states its own descriptors and control blocks.
#include "GifBuilder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

enum : std::uint8_t { kBlack, kRed, kGreen, kBlue, kWhite, kSpare };
const std::vector<Rgb> kPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {9, 9, 9}};

using Bgra = std::array<std::uint8_t, 4>;
const Bgra kClear{0, 0, 0, 0};
const Bgra kRedPx{0, 0, 255, 255};
const Bgra kGreenPx{0, 255, 0, 255};
const Bgra kBluePx{255, 0, 0, 255};
const Bgra kWhitePx{255, 255, 255, 255};

using Decoded = SourceFrames;

Decoded Decode(const std::vector<std::uint8_t>& bytes) { return ReadSourceFrames(L".gif", bytes); }

Bgra At(const Pixels& pixels, UINT x, UINT y) {
    Bgra p;
    std::copy_n(pixels.At(x, y), 4, p.begin());
    return p;
}

GifFrameSpec With(GifFrameSpec frame, std::uint8_t disposal, std::uint16_t delay = 10) {
    frame.disposal = disposal;
    frame.delayHundredths = delay;
    return frame;
}

} // namespace

TEST(GifDecode, CanvasIsTheLogicalScreenAndFramesArePlacedOnIt) {
    const auto bytes = GifBuilder(4, 3, kPalette).AddFrame(SolidFrame(1, 1, 2, 1, kRed)).Build();
    const Decoded d = Decode(bytes);
    ASSERT_EQ(d.hr, S_OK);
    ASSERT_EQ(d.frames.size(), 1u);
    EXPECT_EQ(d.frames[0].width, 4u);
    EXPECT_EQ(d.frames[0].height, 3u);
    EXPECT_EQ(At(d.frames[0], 0, 0), kClear);
    EXPECT_EQ(At(d.frames[0], 1, 1), kRedPx);
    EXPECT_EQ(At(d.frames[0], 2, 1), kRedPx);
    EXPECT_EQ(At(d.frames[0], 3, 1), kClear);
}

TEST(GifDecode, ZeroLogicalScreenTakesTheFirstFramesSize) {
    const auto bytes = GifBuilder(0, 0, kPalette).AddFrame(SolidFrame(0, 0, 5, 3, kGreen)).Build();
    const Decoded d = Decode(bytes);
    ASSERT_EQ(d.hr, S_OK);
    ASSERT_EQ(d.frames.size(), 1u);
    EXPECT_EQ(d.frames[0].width, 5u);
    EXPECT_EQ(d.frames[0].height, 3u);
    EXPECT_EQ(At(d.frames[0], 4, 2), kGreenPx);
}

TEST(GifDecode, FramesPartlyOrWhollyOutsideAreClipped) {
    const auto bytes = GifBuilder(4, 4, kPalette)
                           .AddFrame(SolidFrame(2, 3, 4, 4, kRed))
                           .AddFrame(With(SolidFrame(4, 0, 2, 2, kBlue), 0, 7))
                           .AddFrame(With(SolidFrame(60000, 60000, 3, 3, kBlue), 0, 9))
                           .Build();
    const Decoded d = Decode(bytes);
    ASSERT_EQ(d.hr, S_OK);
    ASSERT_EQ(d.frames.size(), 3u);
    EXPECT_EQ(At(d.frames[0], 2, 3), kRedPx);
    EXPECT_EQ(At(d.frames[0], 3, 3), kRedPx);
    EXPECT_EQ(At(d.frames[0], 1, 3), kClear);
    EXPECT_EQ(At(d.frames[0], 3, 2), kClear);
    // Frames off the canvas draw nothing but keep their own snapshot and delay.
    for (int i = 1; i < 3; ++i) EXPECT_EQ(d.frames[i].bytes, d.frames[0].bytes) << "frame " << i;
    EXPECT_EQ(d.delays[1], 70u);
    EXPECT_EQ(d.delays[2], 90u);
}

TEST(GifDecode, DelaysHaveATenMillisecondFloorAndAHundredMillisecondDefault) {
    GifFrameSpec noControl = SolidFrame(0, 0, 1, 1, kRed);
    noControl.hasControlBlock = false;
    const auto bytes = GifBuilder(1, 1, kPalette)
                           .AddFrame(With(SolidFrame(0, 0, 1, 1, kRed), 0, 0))
                           .AddFrame(With(SolidFrame(0, 0, 1, 1, kRed), 0, 1))
                           .AddFrame(With(SolidFrame(0, 0, 1, 1, kRed), 0, 2))
                           .AddFrame(noControl)
                           .AddFrame(With(SolidFrame(0, 0, 1, 1, kRed), 0, 150))
                           .Build();
    const Decoded d = Decode(bytes);
    ASSERT_EQ(d.hr, S_OK);
    EXPECT_EQ(d.delays, (std::vector<std::uint32_t>{10, 10, 20, 100, 1500}));
}

TEST(GifDecode, DisposeToBackgroundLeavesATransparentHoleWhateverTheBackgroundColour) {
    const auto bytes = GifBuilder(4, 4, kPalette, /*backgroundIndex=*/kRed)
                           .AddFrame(SolidFrame(0, 0, 4, 4, kGreen))
                           .AddFrame(With(SolidFrame(0, 0, 2, 2, kBlue), 2))
                           .AddFrame(SolidFrame(3, 3, 1, 1, kWhite))
                           .Build();
    const Decoded d = Decode(bytes);
    ASSERT_EQ(d.hr, S_OK);
    ASSERT_EQ(d.frames.size(), 3u);
    EXPECT_EQ(At(d.frames[1], 0, 0), kBluePx); // disposal happens after the snapshot
    EXPECT_EQ(At(d.frames[2], 0, 0), kClear);
    EXPECT_EQ(At(d.frames[2], 1, 1), kClear);
    EXPECT_EQ(At(d.frames[2], 2, 2), kGreenPx);
    EXPECT_EQ(At(d.frames[2], 3, 3), kWhitePx);
}

TEST(GifDecode, DisposeToPreviousRestoresTheCanvas) {
    const auto bytes = GifBuilder(3, 3, kPalette)
                           .AddFrame(SolidFrame(0, 0, 3, 3, kRed))
                           .AddFrame(With(SolidFrame(1, 1, 1, 1, kBlue), 3))
                           .AddFrame(SolidFrame(0, 0, 1, 1, kWhite))
                           .Build();
    const Decoded d = Decode(bytes);
    ASSERT_EQ(d.hr, S_OK);
    EXPECT_EQ(At(d.frames[1], 1, 1), kBluePx);
    EXPECT_EQ(At(d.frames[2], 1, 1), kRedPx);
    EXPECT_EQ(At(d.frames[2], 0, 0), kWhitePx);
}

TEST(GifDecode, DisposeToPreviousOnTheFirstFrameReturnsToTransparent) {
    const auto bytes = GifBuilder(2, 2, kPalette)
                           .AddFrame(With(SolidFrame(0, 0, 2, 2, kRed), 3))
                           .AddFrame(SolidFrame(0, 0, 1, 1, kGreen))
                           .Build();
    const Decoded d = Decode(bytes);
    ASSERT_EQ(d.hr, S_OK);
    EXPECT_EQ(At(d.frames[0], 1, 1), kRedPx);
    EXPECT_EQ(At(d.frames[1], 0, 0), kGreenPx);
    EXPECT_EQ(At(d.frames[1], 1, 1), kClear);
}

TEST(GifDecode, TransparentPixelsShowThePreviousCanvas) {
    GifFrameSpec holey = SolidFrame(0, 0, 2, 1, kBlue);
    holey.indices = {kBlue, kSpare};
    holey.transparentIndex = kSpare;
    const auto bytes = GifBuilder(2, 1, kPalette).AddFrame(SolidFrame(0, 0, 2, 1, kRed)).AddFrame(holey).Build();
    const Decoded d = Decode(bytes);
    ASSERT_EQ(d.hr, S_OK);
    EXPECT_EQ(At(d.frames[1], 0, 0), kBluePx);
    EXPECT_EQ(At(d.frames[1], 1, 0), kRedPx);
    EXPECT_EQ(At(d.frames[0], 0, 0), kRedPx); // earlier snapshots are their own copies
}

TEST(GifDecode, WideCanvasesComposeAcrossWholeRows) {
    // Widths around the compositor's block size, with a transparent column mixed in.
    for (std::uint16_t width : {7, 8, 9, 17, 33}) {
        GifFrameSpec stripes = SolidFrame(0, 0, width, 2, kBlue);
        for (std::uint16_t x = 0; x < width; x += 3) stripes.indices[x] = stripes.indices[width + x] = kSpare;
        stripes.transparentIndex = kSpare;
        const auto bytes =
            GifBuilder(width, 2, kPalette).AddFrame(SolidFrame(0, 0, width, 2, kRed)).AddFrame(stripes).Build();
        const Decoded d = Decode(bytes);
        ASSERT_EQ(d.hr, S_OK);
        for (UINT y = 0; y < 2; ++y) {
            for (UINT x = 0; x < width; ++x) {
                ASSERT_EQ(At(d.frames[1], x, y), x % 3 == 0 ? kRedPx : kBluePx) << "width " << width << " x " << x;
            }
        }
    }
}

TEST(GifDecode, ControlBlockSeparatedFromItsImageStillApplies) {
    // ImageMagick writes an application block between each control block and its
    // image; the disposal and delay must reach the right frame all the same.
    GifFrameSpec hole = With(SolidFrame(0, 0, 1, 1, kBlue), 2, 30);
    hole.applicationBlockAfterControl = true;
    GifFrameSpec last = With(SolidFrame(1, 1, 1, 1, kWhite), 0, 40);
    last.applicationBlockAfterControl = true;
    GifFrameSpec first = With(SolidFrame(0, 0, 2, 2, kRed), 0, 20);
    first.applicationBlockAfterControl = true;
    const Decoded d = Decode(GifBuilder(2, 2, kPalette).AddFrame(first).AddFrame(hole).AddFrame(last).Build());
    ASSERT_EQ(d.hr, S_OK);
    EXPECT_EQ(d.delays, (std::vector<std::uint32_t>{200, 300, 400}));
    EXPECT_EQ(At(d.frames[1], 0, 0), kBluePx);
    EXPECT_EQ(At(d.frames[2], 0, 0), kClear);
    EXPECT_EQ(At(d.frames[2], 1, 0), kRedPx);
}

TEST(GifDecode, OneFrameGifYieldsOneFrame) {
    const Decoded d = Decode(GifBuilder(2, 2, kPalette).AddFrame(SolidFrame(0, 0, 2, 2, kRed)).Build());
    ASSERT_EQ(d.hr, S_OK);
    EXPECT_EQ(d.frames.size(), 1u);
}

TEST(GifDecode, HugeLogicalScreenIsRefusedWithoutAllocatingIt) {
    // Whole frames of 17 GB: past what a canvas may be on any machine.
    const auto bytes = GifBuilder(65535, 65535, kPalette).AddFrame(SolidFrame(0, 0, 1, 1, kRed)).Build();
    const Decoded huge = Decode(bytes);
    EXPECT_EQ(huge.hr, E_OUTOFMEMORY);
    EXPECT_EQ(huge.frames.size(), 0u);

    // Longer than a drawn bitmap but small: a side alone refuses nothing.
    const auto wide = GifBuilder(16385, 1, kPalette).AddFrame(SolidFrame(0, 0, 1, 1, kRed)).Build();
    EXPECT_EQ(Decode(wide).hr, S_OK);

    const auto largest = GifBuilder(16384, 2, kPalette).AddFrame(SolidFrame(0, 0, 1, 1, kRed)).Build();
    const Decoded read = Decode(largest);
    EXPECT_EQ(read.hr, S_OK);
    EXPECT_EQ(read.frames.size(), 1u);
}

TEST(GifDecode, NotAGifFails) {
    for (const auto& bytes : {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{'G', 'I', 'F', '8', '9', 'a'},
                              std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5}}) {
        const Decoded read = Decode(bytes);
        EXPECT_TRUE(FAILED(read.hr));
        EXPECT_EQ(read.frames.size(), 0u);
    }
}
