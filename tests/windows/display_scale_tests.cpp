// The pane on a scaled display. display_scale.sh runs this program in copies
// of the test prefix whose display is set to 144 and 192 DPI, naming the DPI
// in QUIVANE_EXPECTED_DPI; ctest runs it at the prefix's own 96.
#include "PreviewWindowFixture.h"
#include "TestSupport.h"
#include "platform/WindowDpi.h"
#include "presentation/PreviewPresenter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 480; // the bar at 192 DPI stays clear of the frame

UINT ExpectedDpi() {
    const char* value = std::getenv("QUIVANE_EXPECTED_DPI");
    return value != nullptr ? static_cast<UINT>(std::atoi(value)) : kDefaultDpi;
}

bool IsGrey(const std::uint8_t* pixel, int level) {
    return std::abs(pixel[0] - level) <= 3 && std::abs(pixel[1] - level) <= 3 && std::abs(pixel[2] - level) <= 3;
}

bool IsRed(const std::uint8_t* pixel) { return pixel[0] <= 3 && pixel[1] <= 3 && pixel[2] >= 252; }

} // namespace

TEST(DisplayScale, TheFrameKeepsItsPixelsWhileTheBarScalesAndItsThumbDrags) {
    BecomeDpiAwareProcess();
    ThemeOverride theme(1);
    // The bottom left of the display, clear of other test programs' windows.
    TestWindow window(kWidth, kHeight, 0, std::max(0, GetSystemMetrics(SM_CYSCREEN) - kHeight - 40));
    ASSERT_EQ(WindowDpi(window.Handle()), ExpectedDpi());
    const int s = static_cast<int>(ExpectedDpi()) / 48; // twice the scale, in whole numbers
    const auto y = [s](int unscaled) { return kHeight - unscaled * s / 2; };

    PreviewPresenter presenter;
    ASSERT_EQ(presenter.Initialize(window.Handle(), window.ClientRect()), S_OK);
    std::vector<FramePixels> frames;
    for (int i = 0; i < 5; ++i) frames.push_back(SolidPixels(100, 25, 0, 0, 255));
    presenter.SetMedia(StoreMediaOver(std::move(frames)));

    // The window's own target: presented until the screen shows the picture
    // (Wine shows a present a frame or two late, later on a busy machine).
    const auto shows = [&](const Pixels& shot) {
        return shot.width == kWidth && IsRed(shot.At(200, 192)) && IsRed(shot.At(200, 287)) && // 100x25 fitted:
               IsGrey(shot.At(200, 187), 245) && IsGrey(shot.At(200, 292), 245) &&         // (0, 190)-(400, 290)
               IsGrey(shot.At(200, y(20)), 178) && !IsGrey(shot.At(200, y(27)), 178) && // the track
               IsGrey(shot.At(12 * s / 2, y(35)), 56) && !IsGrey(shot.At(12 * s / 2, y(38)), 56); // the stem
    };
    Pixels shot;
    for (const ULONGLONG end = GetTickCount64() + 30000; GetTickCount64() < end && !shows(shot);) {
        presenter.Render();
        window.PumpMessages();
        shot = window.Capture();
    }
    EXPECT_TRUE(shows(shot)) << "at " << ExpectedDpi() << " DPI";

    // A press on the thumb's top, above an unscaled bar, drags it to the end.
    presenter.SeekBarPress(12 * s / 2, y(39));
    presenter.SeekBarDrag(kWidth);
    EXPECT_FALSE(presenter.SeekBarRelease(nullptr));
    EXPECT_EQ(presenter.Bar().FrameIndex(), 4u);
}

TEST(DisplayScale, TheCheckerboardsSquaresAndTheInformationBandGrowWithTheScale) {
    BecomeDpiAwareProcess();
    ThemeOverride theme(1);
    TestWindow window(kWidth, kHeight, 0, std::max(0, GetSystemMetrics(SM_CYSCREEN) - kHeight - 40));
    const int s = static_cast<int>(ExpectedDpi()) / 48;
    PreviewPresenter presenter;
    ASSERT_EQ(presenter.Initialize(window.Handle(), window.ClientRect()), S_OK);
    // A transparent frame that fills the pane, so the squares start at its top left corner.
    FramePixels clear = SolidPixels(kWidth / 4, kHeight / 4, 0, 0, 0);
    std::fill(clear.pixels.begin(), clear.pixels.end(), std::uint8_t{0});
    std::vector<FramePixels> frames{clear, clear}; // two, so the line has frames to count
    presenter.SetMedia(StoreMediaOver(std::move(frames)));
    ViewOptions view;
    view.checkerboard = true;
    view.infoLine = true;
    presenter.SetViewOptions(view);

    Pixels shot;
    ASSERT_EQ(RenderedPicture(presenter, kWidth, kHeight, shot), S_OK);
    // 8 pixels a square at 96 DPI: 4 * s here; the band's first rows hide the top squares.
    const int square = 4 * s;
    const int row = kHeight / 2 + 1;
    const std::uint8_t first = shot.At(1, row)[0];
    const std::uint8_t second = shot.At(square + 1, row)[0];
    EXPECT_TRUE((first == 0xCC && second == 0x99) || (first == 0x99 && second == 0xCC)) << int(first) << " " << int(second);
    EXPECT_EQ(shot.At(square - 1, row)[0], first);
    EXPECT_EQ(shot.At(1, row + square)[0], second);
    // The band over the squares, as tall as a line of the scaled message font with its margins.
    int band = 0;
    while (band < kHeight && shot.At(1, band)[0] != 0xCC && shot.At(1, band)[0] != 0x99) ++band;
    EXPECT_GE(band, 18 * s / 2) << "at " << ExpectedDpi() << " DPI";
    EXPECT_LE(band, 36 * s / 2) << "at " << ExpectedDpi() << " DPI";
}
