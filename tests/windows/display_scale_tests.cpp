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
    presenter.SetRenderer(StoreRendererOver(std::move(frames)));

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
