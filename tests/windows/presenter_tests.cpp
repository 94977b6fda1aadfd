// The presenter drawing into a real window on the test display, its pixels
// read back from the screen through GDI. Its window target is wrapped so that
// tests can inject a lost device and failing brushes or resizes.
#include "FaultInjectingTarget.h"
#include "GifBuilder.h"
#include "PreviewWindowFixture.h"
#include "TestSupport.h"
#include "platform/ComAdopt.h"
#include "platform/HResult.h"
#include "platform/OwnedHandles.h"
#include "platform/WicImaging.h"
#include "presentation/PreviewPresenter.h"
#include "frames/StoreMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;

// A still inside a video of the given duration.
std::unique_ptr<DecodedMedia> VideoStillAt(std::uint64_t duration, std::uint64_t position) {
    std::vector<FramePixels> still;
    still.push_back(SolidPixels(100, 50, 0, 0, 255));
    return StoreMediaOver(std::move(still), VideoTimeline{duration, position});
}

std::unique_ptr<DecodedMedia> RedFrames(size_t count) {
    std::vector<FramePixels> frames;
    for (size_t i = 0; i < count; ++i) {
        frames.push_back(SolidPixels(100, 50, 0, 0, 255, static_cast<std::uint32_t>(40 * (i + 1))));
    }
    return StoreMediaOver(std::move(frames));
}

::testing::AssertionResult Near(const std::uint8_t* pixel, int b, int g, int r, int tolerance = 3) {
    if (std::abs(pixel[0] - b) <= tolerance && std::abs(pixel[1] - g) <= tolerance &&
        std::abs(pixel[2] - r) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "BGR " << int(pixel[0]) << "," << int(pixel[1]) << "," << int(pixel[2])
                                         << ", expected " << b << "," << g << "," << r;
}

class Presenting : public testing::Test {
protected:
    void SetUp() override { Start(); }

    void Start() {
        presenter = std::make_unique<PreviewPresenter>();
        presenter->SetRenderTargetFactory([this](ID2D1Factory* factory, const D2D1_RENDER_TARGET_PROPERTIES& properties,
                                                 const D2D1_HWND_RENDER_TARGET_PROPERTIES& windowProperties,
                                                 ID2D1HwndRenderTarget** out) {
            return MakeTarget(factory, properties, windowProperties, out);
        });
        ASSERT_EQ(presenter->Initialize(window.Handle(), RECT{0, 0, kWidth, kHeight}), S_OK);
    }

    HRESULT MakeTarget(ID2D1Factory* factory, const D2D1_RENDER_TARGET_PROPERTIES& properties,
                       const D2D1_HWND_RENDER_TARGET_PROPERTIES& windowProperties, ID2D1HwndRenderTarget** out) {
        ComPtr<ID2D1HwndRenderTarget> inner;
        RETURN_IF_FAILED(factory->CreateHwndRenderTarget(properties, windowProperties, &inner));
        ComPtr<FaultInjectingTarget> target;
        AdoptReference(target, new FaultInjectingTarget(inner));
        targets.push_back(target);
        *out = target.Detach();
        return S_OK;
    }

    FaultInjectingTarget& Target() { return *targets.back().Get(); }

    // Wine puts a presented picture on screen a present or two later (more
    // for a new target, and later still when the machine is busy), so the same
    // picture is presented until the screen shows the same thing twice running.
    Pixels Shot() { return Capture(true); }
    // The loading indicator moves with the clock, so its pictures never repeat:
    // the last of a dozen presents is taken, for checks that hold at any moment.
    Pixels MovingShot() { return Capture(false); }

    static bool IsAllBlack(const Pixels& shot) {
        for (std::size_t i = 0; i + 3 < shot.bytes.size(); i += 4) {
            if (shot.bytes[i] != 0 || shot.bytes[i + 1] != 0 || shot.bytes[i + 2] != 0) return false;
        }
        return true;
    }

    // The picture the presenter means to show, drawn off screen the same way.
    Pixels Intended() {
        Pixels pixels;
        static_cast<void>(RenderedPicture(*presenter, kWidth, kHeight, pixels));
        return pixels;
    }

    // Nearly every pixel within a small distance: the screen shows the intended picture.
    static bool Shows(const Pixels& screen, const Pixels& intended) {
        if (screen.bytes.size() != intended.bytes.size() || screen.bytes.empty()) return false;
        std::size_t off = 0;
        for (std::size_t i = 0; i + 3 < screen.bytes.size(); i += 4) {
            for (int c = 0; c < 3; ++c) {
                if (std::abs(screen.bytes[i + c] - intended.bytes[i + c]) > 24) {
                    ++off;
                    break;
                }
            }
        }
        return off * 2000 <= screen.bytes.size() / 4; // edges drawn a shade apart, not an area left behind
    }

    // A settling picture is taken once the screen shows what the presenter
    // intends; a picture the off-screen drawing cannot match (an injected
    // fault on the window's target) once it has stayed the same for a while.
    Pixels Capture(bool settles) {
        Pixels previous;
        int unchanged = 0;
        const ULONGLONG start = GetTickCount64();
        for (int present = 0; settles ? GetTickCount64() < start + 30000 : present < 12; ++present) {
            presenter->Render();
            window.PumpMessages();
            if (present < 2) continue;
            Sleep(present < 4 ? 0 : 20);
            Pixels shot = window.Capture();
            if (settles && !IsAllBlack(shot)) {
                if (Shows(shot, Intended()) && shot.bytes == previous.bytes) return shot;
                unchanged = shot.bytes == previous.bytes ? unchanged + 1 : 0;
                if (unchanged >= 5 && GetTickCount64() > start + 5000) return shot;
            }
            previous = std::move(shot);
        }
        return previous;
    }

    // For pictures an injected fault keeps from matching the off-screen
    // drawing: presents until the screen passes `check` twice running. A busy
    // machine can leave the screen behind, or black, for seconds.
    Pixels ShotShowing(const std::function<bool(const Pixels&)>& check) {
        Pixels shot;
        int passes = 0;
        const ULONGLONG end = GetTickCount64() + 30000;
        while (passes < 2 && GetTickCount64() < end) {
            presenter->Render();
            window.PumpMessages();
            Sleep(20);
            shot = window.Capture();
            passes = check(shot) ? passes + 1 : 0;
        }
        return shot;
    }

    // One window serves every test: creating and destroying windows is slow under Wine.
    // It stands in the far corner from the one where every other test program
    // puts its windows: a window covered by another program's reads back black.
    static TestWindow& SharedWindow() {
        static TestWindow* shared =
            new TestWindow(kWidth, kHeight, std::max(0, GetSystemMetrics(SM_CXSCREEN) - kWidth - 40),
                           std::max(0, GetSystemMetrics(SM_CYSCREEN) - kHeight - 40));
        return *shared;
    }
    TestWindow& window = SharedWindow();
    std::vector<ComPtr<FaultInjectingTarget>> targets;
    std::unique_ptr<PreviewPresenter> presenter;
};

} // namespace

TEST(PresenterWindow, DrawsWithTheRealWindowTarget) {
    TestWindow window(kWidth, kHeight);
    PreviewPresenter presenter;
    ASSERT_EQ(presenter.Initialize(window.Handle(), window.ClientRect()), S_OK);
    presenter.SetMedia(RedFrames(3));
    presenter.Render();
    presenter.Render();
    EXPECT_TRUE(presenter.HasRenderTarget());
    ComPtr<IWICBitmapSource> bitmap;
    std::uint32_t index = 99;
    ASSERT_EQ(presenter.GetCurrentFrame(&bitmap, &index), S_OK);
    EXPECT_EQ(index, 0u);
}

TEST_F(Presenting, BackgroundFollowsTheThemeAndSuitableHostColours) {
    struct Case {
        int theme; // -1: value missing
        bool hostSet;
        COLORREF host;
        int b, g, r;
    };
    const Case cases[] = {
        {1, false, 0, 245, 245, 245},
        {0, false, 0, 15, 15, 15},
        {-1, false, 0, 15, 15, 15},
        {1, true, RGB(255, 255, 255), 255, 255, 255},
        {0, true, RGB(255, 255, 255), 15, 15, 15},
        {0, true, RGB(60, 20, 30), 30, 20, 60},
        {1, true, RGB(60, 20, 30), 245, 245, 245},
    };
    for (const Case& c : cases) {
        ThemeOverride theme(c.theme);
        Start();
        if (c.hostSet) presenter->SetBackgroundColor(c.host);
        const Pixels shot = Shot();
        EXPECT_TRUE(Near(shot.At(5, 5), c.b, c.g, c.r, 0)) << "theme " << c.theme << " host " << std::hex << c.host;
    }
}

TEST_F(Presenting, FrameIsFittedAndTheSeekBarFollowsTheFrame) {
    ThemeOverride theme(1);
    Start();
    presenter->SetMedia(RedFrames(5));
    Pixels shot = Shot();
    // 100x50 fitted into 400x300: (0, 50) - (400, 250).
    EXPECT_TRUE(Near(shot.At(200, 45), 245, 245, 245));
    EXPECT_TRUE(Near(shot.At(200, 55), 0, 0, 255));
    EXPECT_TRUE(Near(shot.At(200, 245), 0, 0, 255));
    EXPECT_TRUE(Near(shot.At(200, 255), 245, 245, 245));
    // Bar background over the lowest 40 pixels: 0.97 at alpha 0.92 over 245.
    EXPECT_TRUE(Near(shot.At(200, 265), 247, 247, 247));
    // Track (12, 275) - (388, 285) at 0.70; the thumb at frame 0 stands at x = 12.
    EXPECT_TRUE(Near(shot.At(200, 280), 178, 178, 178));
    EXPECT_TRUE(Near(shot.At(12, 265), 56, 56, 56));
    EXPECT_TRUE(Near(shot.At(200, 265), 247, 247, 247));

    presenter->NextFrame();
    presenter->NextFrame();
    shot = Shot(); // frame 2 of 5: thumb at 12 + 376 * 0.5 = 200
    EXPECT_TRUE(Near(shot.At(200, 265), 56, 56, 56));
    EXPECT_TRUE(Near(shot.At(12, 265), 247, 247, 247));
    ComPtr<IWICBitmapSource> bitmap;
    std::uint32_t index = 99;
    ASSERT_EQ(presenter->GetCurrentFrame(&bitmap, &index), S_OK);
    EXPECT_EQ(index, 2u);
}

TEST_F(Presenting, DarkThemeColoursTheBar) {
    ThemeOverride theme(0);
    Start();
    presenter->SetMedia(RedFrames(2));
    const Pixels shot = Shot();
    // 0.08 at alpha 0.75 over 15; track 0.16; thumb 0.72.
    EXPECT_TRUE(Near(shot.At(200, 265), 19, 19, 19));
    EXPECT_TRUE(Near(shot.At(200, 280), 41, 41, 41));
    EXPECT_TRUE(Near(shot.At(12, 280), 184, 184, 184));
}

TEST_F(Presenting, TimeModeThumbStandsAtThePosition) {
    ThemeOverride theme(1);
    Start();
    presenter->SetMedia(VideoStillAt(40'000'000, 10'000'000));
    ASSERT_TRUE(presenter->HasTimeline());
    const Pixels shot = Shot(); // fraction 0.25: thumb at 12 + 376 * 0.25 = 106
    EXPECT_TRUE(Near(shot.At(106, 266), 56, 56, 56));
    EXPECT_TRUE(Near(shot.At(200, 266), 247, 247, 247));
}

TEST_F(Presenting, SingleFrameShowsNoBar) {
    ThemeOverride theme(1);
    Start();
    presenter->SetMedia(RedFrames(1));
    const Pixels shot = Shot();
    EXPECT_TRUE(Near(shot.At(200, 280), 245, 245, 245, 0));
    EXPECT_TRUE(Near(shot.At(12, 265), 245, 245, 245, 0));
}

TEST_F(Presenting, LoadingShowsTheIndicatorClippedToItsBar) {
    ThemeOverride theme(1);
    Start();
    presenter->SetMedia(RedFrames(3));
    presenter->SetLoading(true, false);
    for (int picture = 0; picture < 6; ++picture) {
        const Pixels shot = MovingShot();
        EXPECT_TRUE(Near(shot.At(200, 100), 245, 245, 245, 0)) << "frame hidden while loading";
        EXPECT_TRUE(Near(shot.At(200, 280), 245, 245, 245, 0)) << "no seek bar while loading";
        // Bar (80, 143) - (320, 157). Inside: track or block; outside: background only.
        for (UINT x = 84; x <= 316; x += 4) {
            // Track (0.70 at alpha 0.95) or block (0.22 over it), or a blend at the block's edges.
            const std::uint8_t* p = shot.At(x, 150);
            EXPECT_TRUE(p[0] >= 56 && p[0] <= 186 && std::abs(p[0] - p[2]) <= 2) << "x " << x << ": " << int(p[0]);
        }
        for (UINT x : {40u, 75u, 325u, 360u}) EXPECT_TRUE(Near(shot.At(x, 150), 245, 245, 245, 0)) << "x " << x;
        EXPECT_TRUE(Near(shot.At(200, 139), 245, 245, 245, 0));
        Sleep(150);
    }
}

TEST_F(Presenting, KeptFrameStaysUnderTheIndicator) {
    ThemeOverride theme(1);
    Start();
    presenter->SetMedia(RedFrames(3));
    presenter->SetLoading(true, true);
    const Pixels shot = MovingShot();
    EXPECT_TRUE(Near(shot.At(200, 100), 0, 0, 255));
    EXPECT_TRUE(Near(shot.At(40, 150), 0, 0, 255)); // left of the indicator bar
    EXPECT_FALSE(Near(shot.At(200, 150), 0, 0, 255));
    presenter->SetLoading(false, true);
    EXPECT_TRUE(Near(Shot().At(200, 150), 0, 0, 255));
}

TEST_F(Presenting, HostTextColourColoursTheBlock) {
    ThemeOverride theme(1);
    Start();
    presenter->SetTextColor(RGB(0, 0, 255)); // a dark text colour stands out in the light theme
    presenter->SetLoading(true, false);
    bool sawBlock = false;
    for (int attempt = 0; attempt < 20 && !sawBlock; ++attempt) {
        const Pixels shot = MovingShot();
        for (UINT x = 84; x <= 316; ++x) sawBlock |= Near(shot.At(x, 150), 255 * 95 / 100 + 12, 12, 12, 8);
        Sleep(50);
    }
    EXPECT_TRUE(sawBlock);
}

TEST_F(Presenting, LostDeviceIsRebuiltAndTheSamePictureDrawnAgain) {
    ThemeOverride theme(1);
    Start();
    presenter->SetMedia(RedFrames(4));
    presenter->NextFrame();
    const Pixels before = Shot();
    const size_t made = targets.size();

    Target().failEndDraws = 1;
    presenter->Render();
    EXPECT_FALSE(presenter->HasRenderTarget());

    const Pixels after = Shot();
    ASSERT_EQ(targets.size(), made + 1);
    EXPECT_TRUE(presenter->HasRenderTarget());
    EXPECT_EQ(after.bytes, before.bytes);
}

TEST_F(Presenting, TheFirstTargetIsMadeOnAWorkerAndDrawsOnceTaken) {
    ThemeOverride theme(1);
    std::atomic<DWORD> maker{0};
    std::atomic<int> calls{0};
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const auto start = [&](PreviewPresenter& made, bool fail) {
        made.SetRenderTargetFactory([&, fail](ID2D1Factory* factory, const D2D1_RENDER_TARGET_PROPERTIES& properties,
                                              const D2D1_HWND_RENDER_TARGET_PROPERTIES& windowProperties,
                                              ID2D1HwndRenderTarget** out) {
            maker = GetCurrentThreadId();
            WaitForSingleObject(release.Get(), INFINITE);
            return ++calls == 1 && fail ? E_FAIL : MakeTarget(factory, properties, windowProperties, out);
        });
        ASSERT_EQ(made.Initialize(window.Handle(), RECT{0, 0, kWidth, kHeight}, true), S_OK);
        EXPECT_TRUE(made.AwaitingTarget());
        made.SetMedia(RedFrames(3));
        made.Render(); // starts the worker, held until released
        std::uint64_t lastTick = 1000;
        EXPECT_TRUE(made.OnTimerTick(1030, lastTick));
        EXPECT_EQ(lastTick, 1030u); // the clock waits for a picture on screen
        EXPECT_EQ(made.FrameClock(), 0u);
        SetEvent(release.Get());
        const ULONGLONG end = GetTickCount64() + 120000;
        while (made.AwaitingTarget() && GetTickCount64() < end) {
            window.PumpMessages();
            Sleep(10);
            made.TakeMadeTarget();
        }
        EXPECT_FALSE(made.AwaitingTarget());
        EXPECT_NE(maker.load(), GetCurrentThreadId());
    };
    presenter = std::make_unique<PreviewPresenter>();
    start(*presenter, false);
    EXPECT_TRUE(presenter->HasRenderTarget());
    EXPECT_TRUE(Shows(Shot(), Intended()));

    // A target the worker could not make is made on this thread at the next picture.
    calls = 0;
    presenter = std::make_unique<PreviewPresenter>();
    start(*presenter, true);
    EXPECT_FALSE(presenter->HasRenderTarget());
    presenter->Render();
    EXPECT_TRUE(presenter->HasRenderTarget());
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(maker.load(), GetCurrentThreadId());
}

TEST_F(Presenting, APresenterGoingWhileItsTargetIsMadeServesWhatTheWorkerSendsThisThread) {
    std::atomic<bool> served{false};
    auto going = std::make_unique<PreviewPresenter>();
    going->SetRenderTargetFactory([&](ID2D1Factory*, const D2D1_RENDER_TARGET_PROPERTIES&,
                                      const D2D1_HWND_RENDER_TARGET_PROPERTIES& windowProperties, ID2D1HwndRenderTarget**) {
        // Answered only while this window's thread serves sent messages.
        served = SendMessageW(windowProperties.hwnd, WM_NULL, 0, 0) == 0;
        return E_FAIL;
    });
    ASSERT_EQ(going->Initialize(window.Handle(), RECT{0, 0, kWidth, kHeight}, true), S_OK);
    going->Render();
    going.reset();
    EXPECT_TRUE(served);
}

TEST_F(Presenting, FailedResizeReleasesTheTargetAndANewOneFitsTheWindow) {
    ThemeOverride theme(1);
    Start();
    presenter->SetMedia(RedFrames(2));
    Shot();
    const size_t made = targets.size();
    Target().resizeResult = D2DERR_RECREATE_TARGET;
    presenter->Resize(RECT{0, 0, 200, 100});
    EXPECT_FALSE(presenter->HasRenderTarget());
    const auto allFrame = [](const Pixels& shot) { return Near(shot.At(100, 30), 0, 0, 255); };
    const Pixels shot = ShotShowing(allFrame);
    ASSERT_EQ(targets.size(), made + 1);
    const D2D1_SIZE_U size = Target().GetPixelSize();
    EXPECT_EQ(size.width, 200u);
    EXPECT_EQ(size.height, 100u);
    EXPECT_TRUE(allFrame(shot)); // (0, 0) - (200, 100) is all frame
    presenter->Resize(RECT{0, 0, kWidth, kHeight});
}

TEST_F(Presenting, FailingBrushOmitsOnlyTheBarOrTheIndicator) {
    ThemeOverride theme(1);
    Start();
    presenter->SetMedia(RedFrames(3));
    Shot();
    constexpr int kEveryBrush = 1'000'000;
    Target().failBrushes = kEveryBrush; // every present of the next shot
    const auto frameWithoutBar = [](const Pixels& shot) {
        return Near(shot.At(200, 100), 0, 0, 255) && Near(shot.At(200, 280), 245, 245, 245, 0);
    };
    EXPECT_TRUE(frameWithoutBar(ShotShowing(frameWithoutBar)));
    Target().failBrushes = 0;
    const auto barBack = [](const Pixels& shot) { return Near(shot.At(200, 280), 178, 178, 178); };
    EXPECT_TRUE(barBack(ShotShowing(barBack))); // back on the next picture

    presenter->SetLoading(true, false);
    Target().failBrushes = kEveryBrush;
    const auto noIndicator = [](const Pixels& shot) { return Near(shot.At(200, 150), 245, 245, 245, 0); };
    EXPECT_TRUE(noIndicator(ShotShowing(noIndicator)));
    Target().failBrushes = 0;
}


TEST_F(Presenting, AFrameStillDecodingLeavesTheLastOneOnScreenUntilItArrives) {
    const auto solid = [](std::uint8_t b, std::uint8_t g, std::uint8_t r) {
        FramePixels frame;
        frame.width = 100;
        frame.height = 50;
        for (int i = 0; i < 100 * 50; ++i) frame.pixels.insert(frame.pixels.end(), {b, g, r, 255});
        return frame;
    };
    auto store = std::make_shared<FrameStore>(3);
    store->Put(0, solid(0, 0, 255));
    presenter->SetMedia(std::make_unique<StoreMedia>(store));
    presenter->TogglePause();
    EXPECT_TRUE(Near(Intended().At(200, 150), 0, 0, 255));

    presenter->NextFrame(); // frame 1 is not decoded yet: frame 0 stays
    EXPECT_TRUE(Near(Intended().At(200, 150), 0, 0, 255));
    EXPECT_EQ(presenter->ShownFrame(), 0u);
    std::uint64_t lastTick = 0;
    EXPECT_FALSE(presenter->OnTimerTick(1000, lastTick));

    store->Put(1, solid(255, 0, 0));
    EXPECT_TRUE(presenter->OnTimerTick(1016, lastTick)); // shown as soon as it is there
    EXPECT_TRUE(Near(Intended().At(200, 150), 255, 0, 0));
    EXPECT_EQ(presenter->ShownFrame(), 1u);
}

// Pixels of `shot` within `tolerance` of the colour, in x [left, right) and y [top, bottom).
int CountNear(const Pixels& shot, UINT left, UINT top, UINT right, UINT bottom, int b, int g, int r, int tolerance) {
    int count = 0;
    for (UINT y = top; y < bottom; ++y) {
        for (UINT x = left; x < right; ++x) count += Near(shot.At(x, y), b, g, r, tolerance) ? 1 : 0;
    }
    return count;
}

TEST_F(Presenting, AFailureMessageIsWrittenInTheTextColourUntilAFrameShows) {
    ThemeOverride theme(1);
    Start();
    presenter->SetFailureText(L"Cannot preview this file", L"The file could not be read.");
    // Dark text in the middle of the light pane, nothing near its top and bottom edges;
    // on the window's target and on a bitmap's alike.
    const auto written = [](int b, int g, int r) {
        return [b, g, r](const Pixels& shot) { return CountNear(shot, 0, 110, kWidth, 190, b, g, r, 24) > 100; };
    };
    for (const Pixels& shot : {ShotShowing(written(28, 28, 28)), Intended()}) {
        EXPECT_TRUE(written(28, 28, 28)(shot));
        EXPECT_EQ(CountNear(shot, 0, 0, kWidth, 100, 245, 245, 245, 0), kWidth * 100);
        EXPECT_EQ(CountNear(shot, 0, 200, kWidth, kHeight, 245, 245, 245, 0), kWidth * 100);
    }
    presenter->SetTextColor(RGB(0, 0, 200)); // the host's, which stands out on the light pane
    EXPECT_TRUE(written(200, 0, 0)(Intended()));

    presenter->SetMedia(RedFrames(1));
    const Pixels framed = Intended();
    EXPECT_EQ(CountNear(framed, 0, 50, kWidth, 250, 0, 0, 255, 3), kWidth * 200) << "the frame, with no text over it";
}
