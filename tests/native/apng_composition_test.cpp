#include "formats/png/ApngCanvas.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

using namespace Quivane;

namespace {

using Pixel = std::array<std::uint8_t, 4>;
const std::uint8_t kPieceByte = 0;

ApngFrameControl Control(std::uint32_t w, std::uint32_t h, std::uint32_t x, std::uint32_t y, std::uint8_t dispose,
                         std::uint8_t blend) {
    ApngFrameControl control;
    control.width = w;
    control.height = h;
    control.x_offset = x;
    control.y_offset = y;
    control.dispose_op = dispose;
    control.blend_op = blend;
    control.pieces.push_back(ByteSpan{&kPieceByte, 1});
    return control;
}

std::vector<std::uint8_t> Fill(std::uint32_t w, std::uint32_t h, Pixel p) {
    std::vector<std::uint8_t> out(static_cast<size_t>(w) * h * 4);
    for (size_t i = 0; i < out.size(); i += 4) std::memcpy(&out[i], p.data(), 4);
    return out;
}

Pixel At(const ApngCanvas& canvas, std::uint32_t x, std::uint32_t y) {
    Pixel p;
    std::memcpy(p.data(), canvas.Pixels() + y * canvas.Stride() + x * 4, 4);
    return p;
}

const Pixel kClear{0, 0, 0, 0};
const Pixel kRed{0, 0, 255, 255};
const Pixel kBlue{255, 0, 0, 255};
const Pixel kWhite{255, 255, 255, 255};

} // namespace

TEST(ApngDelayMs, FollowsTheTable) {
    EXPECT_EQ(ApngDelayMs(1, 10), 100u);
    EXPECT_EQ(ApngDelayMs(0, 7), 10u);
    EXPECT_EQ(ApngDelayMs(1, 0), 10u); // 1/100 s is 10 ms
    EXPECT_EQ(ApngDelayMs(3, 1000), 3u);
    EXPECT_EQ(ApngDelayMs(65535, 1), 65535000u);
    EXPECT_EQ(ApngDelayMs(1, 3), 333u);
}

TEST(ApngRegionFits, OverhangingRegionsAreRefused) {
    EXPECT_TRUE(ApngRegionFits(10, 10, Control(10, 10, 0, 0, 0, 0)));
    EXPECT_TRUE(ApngRegionFits(10, 10, Control(2, 3, 8, 7, 0, 0)));
    EXPECT_FALSE(ApngRegionFits(10, 10, Control(4, 4, 8, 8, 0, 0)));
    EXPECT_FALSE(ApngRegionFits(10, 10, Control(1, 1, 10, 0, 0, 0)));
    EXPECT_FALSE(ApngRegionFits(10, 10, Control(1, 1, 0, 10, 0, 0)));
    EXPECT_FALSE(ApngRegionFits(10, 10, Control(0xFFFFFFFFu, 1, 1, 0, 0, 0))); // no wrap-around
    EXPECT_FALSE(ApngRegionFits(10, 10, Control(1, 1, 0xFFFFFFFFu, 0, 0, 0)));
}

TEST(IsSkippedControl, EmptyRegionsAndMissingDataProduceNoFrame) {
    EXPECT_TRUE(IsSkippedControl(Control(0, 5, 0, 0, 0, 0)));
    EXPECT_TRUE(IsSkippedControl(Control(5, 0, 0, 0, 0, 0)));
    ApngFrameControl noData = Control(5, 5, 0, 0, 0, 0);
    noData.pieces.clear();
    EXPECT_TRUE(IsSkippedControl(noData));
    EXPECT_FALSE(IsSkippedControl(Control(5, 5, 0, 0, 0, 0)));
}

TEST(ApngCanvas, SourceReplacesAndOverBlends) {
    ApngCanvas canvas(4, 4);
    canvas.Draw(Control(4, 4, 0, 0, 0, 0), Fill(4, 4, kWhite).data());
    const auto translucent = Fill(2, 2, Pixel{64, 64, 64, 128});
    canvas.Draw(Control(2, 2, 0, 0, 0, 1), translucent.data());
    // 64 + (255 * 127 + 127) / 255 = 191, alpha 128 + 127 = 255.
    EXPECT_EQ(At(canvas, 1, 1), (Pixel{191, 191, 191, 255}));
    canvas.Draw(Control(2, 2, 2, 2, 0, 0), Fill(2, 2, kClear).data()); // SOURCE copies alpha too
    EXPECT_EQ(At(canvas, 3, 3), kClear);
    canvas.Draw(Control(2, 2, 2, 0, 0, 1), Fill(2, 2, kClear).data()); // OVER with nothing leaves the canvas
    EXPECT_EQ(At(canvas, 3, 0), kWhite);
}

TEST(ApngCanvas, DisposeBackgroundClearsTheRegionForTheNextFrame) {
    ApngCanvas canvas(4, 4);
    canvas.Draw(Control(4, 4, 0, 0, 0, 0), Fill(4, 4, kRed).data());
    const ApngFrameControl hole = Control(2, 2, 1, 1, kApngDisposeBackground, 0);
    canvas.Draw(hole, Fill(2, 2, kBlue).data());
    EXPECT_EQ(At(canvas, 1, 1), kBlue);
    canvas.Dispose(hole);
    EXPECT_EQ(At(canvas, 1, 1), kClear);
    EXPECT_EQ(At(canvas, 2, 2), kClear);
    EXPECT_EQ(At(canvas, 3, 3), kRed);
}

TEST(ApngCanvas, DisposePreviousRestoresTheCanvasBeforeTheFrame) {
    ApngCanvas canvas(3, 3);
    canvas.Draw(Control(3, 3, 0, 0, 0, 0), Fill(3, 3, kRed).data());
    const ApngFrameControl temporary = Control(1, 1, 2, 2, kApngDisposePrevious, 1);
    canvas.Draw(temporary, Fill(1, 1, kBlue).data());
    canvas.Dispose(temporary);
    EXPECT_EQ(At(canvas, 2, 2), kRed);

    ApngCanvas first(2, 2); // on the first frame the saved canvas is all clear
    const ApngFrameControl firstFrame = Control(2, 2, 0, 0, kApngDisposePrevious, 0);
    first.Draw(firstFrame, Fill(2, 2, kRed).data());
    first.Dispose(firstFrame);
    EXPECT_EQ(At(first, 1, 1), kClear);
}

TEST(ApngCanvas, OtherDisposeValuesActAsNone) {
    for (std::uint8_t dispose : {0, 3, 200}) {
        ApngCanvas canvas(1, 1);
        const ApngFrameControl control = Control(1, 1, 0, 0, dispose, 0);
        canvas.Draw(control, Fill(1, 1, kRed).data());
        canvas.Dispose(control);
        EXPECT_EQ(At(canvas, 0, 0), kRed) << int(dispose);
    }
}

TEST(ApngCanvas, SpacedRunsLandOnTheirColumnsCopiedOrBlended) {
    ApngCanvas canvas(5, 2);
    canvas.Draw(Control(5, 2, 0, 0, 0, 0), Fill(5, 2, kRed).data());
    const std::vector<std::uint8_t> run = Fill(2, 1, kClear);
    canvas.DrawRun(Control(4, 1, 1, 1, 0, 0), 0, 1, 2, run.data(), 2); // SOURCE: columns 2 and 4 of row 1
    canvas.DrawRun(Control(4, 1, 1, 0, 0, 1), 0, 0, 3, run.data(), 2); // OVER: nothing changes
    EXPECT_EQ(At(canvas, 2, 1), kClear);
    EXPECT_EQ(At(canvas, 4, 1), kClear);
    EXPECT_EQ(At(canvas, 3, 1), kRed);
    EXPECT_EQ(At(canvas, 1, 1), kRed);
    EXPECT_EQ(At(canvas, 1, 0), kRed);
}
