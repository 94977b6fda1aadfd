// The preview handler showing a video through its COM interfaces, in a real
// window: the command keys, the wheel and the seek bar each start a seek; a
// seek asked for while another runs is dropped; a seek that misses its
// deadline leaves the bar where the still is; Unload and Release during a
// seek. The file is read through a stream whose reads the test can hold, so
// that a seek is running, or stuck, at the moment a case needs.
#include "PreviewWindowFixture.h"
#include "StallingStream.h"
#include "TestSupport.h"
#include "platform/ServerLifetime.h"
#include "preview/PreviewHandlerCom.h"
#include "preview/PreviewStateMessage.h"
#include "presentation/VideoPosition.h"
#include "formats/video/VideoFrame.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr std::uint64_t kSecond = kUnitsPerSecond;
// The fixtures hold 10 frames a second: a seek lands on a frame at or after its target.
constexpr double kOneFrame = static_cast<double>(kSecond) / 10;


class VideoPreview : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK); }
    void TearDown() override {
        if (gate.object != nullptr) gate.Open();
        if (handler) handler->Unload();
    }

    // Black for one second, then two of a bright pattern: 3 s long.
    void Open(const char* fixture = "black_then_bright.mp4") {
        gate = MakeGatedStream(VideoFixture(fixture));
        ComPtr<IInitializeWithStream> init;
        ASSERT_EQ(handler.As(&init), S_OK);
        ASSERT_EQ(init->Initialize(gate.stream.Get(), STGM_READ), S_OK);
        RECT rect = {0, 0, kWidth, kHeight};
        ASSERT_EQ(handler->SetWindow(host.Handle(), &rect), S_OK);
        ASSERT_EQ(handler->DoPreview(), S_OK);
        ASSERT_TRUE(WaitForLoad());
        ASSERT_NE(Ask(kPreviewStateDuration), -1); // a still on a time line
    }

    bool WaitForLoad() {
        return PumpUntil([this] { return Ask(0) == kPreviewStateShowing && Ask(kPreviewStateDecoding) == 0; });
    }
    // Starts a seek whose reads wait at the closed gate.
    void HoldNextSeek() { gate.Close(); }
    bool SeekHeld() {
        return PumpUntil([this] { return gate.Waiting(); });
    }

    HWND Preview() { return PreviewWindowOf(handler.Get()); }
    LRESULT Ask(WPARAM question) { return AskPreviewState(Preview(), question); }
    bool Loading() { return Ask(0) == kPreviewStateLoading; }
    bool Seeking() { return Ask(kPreviewStateSeeking) == 1; }
    void Key(WPARAM key) { SendMessageW(Preview(), WM_KEYDOWN, key, 1); }
    void Wheel(int notches) {
        SendMessageW(Preview(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(notches * WHEEL_DELTA)), 0);
    }
    std::uint64_t Position() { return static_cast<std::uint64_t>(Ask(kPreviewStateVideoPosition)); }
    std::uint64_t Duration() { return static_cast<std::uint64_t>(Ask(kPreviewStateDuration)); }
    // The position the seek bar's thumb stands for.
    std::uint64_t Thumb() { return static_cast<std::uint64_t>(Ask(kPreviewStateThumbPosition)); }
    LRESULT LoadResult() { return Ask(kPreviewStateLoadResult); }

    static TestWindow& SharedHost() {
        static TestWindow* shared = new TestWindow(kWidth, kHeight);
        return *shared;
    }
    TestWindow& host = SharedHost();
    ComPtr<IPreviewHandler> handler;
    GateControl gate;
};

} // namespace

TEST_F(VideoPreview, EndHomeAndRightSeekAndKeysDuringASeekAreDropped) {
    Open();
    EXPECT_GE(Position(), kSecond); // the still comes from the bright part
    EXPECT_NEAR(static_cast<double>(Duration()), 3.0 * kSecond, 2 * kOneFrame);

    Key(VK_END);
    EXPECT_TRUE(Loading()); // the still stays under the indicator
    EXPECT_EQ(Position(), EndSeekPosition(Duration())); // the bar is there at once
    ASSERT_TRUE(WaitForLoad());
    EXPECT_NEAR(static_cast<double>(Position()), static_cast<double>(EndSeekPosition(Duration())), kOneFrame);
    EXPECT_EQ(LoadResult(), S_OK);

    Key(VK_HOME);
    ASSERT_TRUE(WaitForLoad());
    const std::uint64_t start = Position();
    EXPECT_LT(start, kOneFrame);

    // Right three times while the first seek runs: the other two are dropped.
    HoldNextSeek();
    Key(VK_RIGHT);
    ASSERT_TRUE(SeekHeld());
    Key(VK_RIGHT);
    Key(VK_RIGHT);
    EXPECT_EQ(Position(), start + kSecond);
    gate.Open();
    ASSERT_TRUE(WaitForLoad());
    EXPECT_NEAR(static_cast<double>(Position()), static_cast<double>(start + kSecond), kOneFrame);
    EXPECT_NE(Ask(kPreviewStateFrameCount), -1);
}

TEST_F(VideoPreview, TheWheelStepsASecondEachWay) {
    Open();
    Key(VK_HOME);
    ASSERT_TRUE(WaitForLoad());
    const std::uint64_t start = Position();
    Wheel(-1); // towards the user: later
    EXPECT_EQ(Position(), start + kSecond);
    ASSERT_TRUE(WaitForLoad());
    const std::uint64_t later = Position();
    EXPECT_NEAR(static_cast<double>(later), static_cast<double>(start + kSecond), kOneFrame);
    Wheel(1); // away: earlier
    const std::uint64_t earlier = later - kSecond;
    EXPECT_EQ(Position(), earlier);
    ASSERT_TRUE(WaitForLoad());
    EXPECT_NEAR(static_cast<double>(Position()), static_cast<double>(earlier), kOneFrame);
}

// A seek's still replaces the shown one: it is the picture at the new
// position (black at the start, the pattern at the end), held for showing.
TEST_F(VideoPreview, ASeekShowsTheStillAtItsPosition) {
    // The mean green level of the window's middle, where the still is drawn.
    const auto centreBrightness = [this] {
        const Pixels picture = PrintedPicture(Preview());
        double sum = 0;
        int count = 0;
        for (UINT y = picture.height / 3; y < picture.height * 2 / 3; ++y) {
            for (UINT x = picture.width / 3; x < picture.width * 2 / 3; ++x, ++count) {
                sum += picture.At(x, y)[1];
            }
        }
        return count == 0 ? 0.0 : sum / count;
    };
    Open();
    Key(VK_HOME);
    ASSERT_TRUE(WaitForLoad());
    EXPECT_LT(Position(), kOneFrame);
    EXPECT_EQ(Ask(kPreviewStateFrameCount), 1);
    const double atStart = centreBrightness();
    Key(VK_END);
    ASSERT_TRUE(WaitForLoad());
    EXPECT_NE(Ask(kPreviewStateDuration), -1);
    EXPECT_EQ(Ask(kPreviewStateFrameCount), 1);
    EXPECT_GT(centreBrightness(), atStart + 32);
}

TEST_F(VideoPreview, ASeekBarDragMovesTheThumbAndTheReleaseSeeks) {
    Open();
    const std::uint64_t before = Position();
    SendMessageW(Preview(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, kHeight - 10));
    ASSERT_TRUE(Seeking());
    SendMessageW(Preview(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(kWidth / 2, kHeight - 10));
    const std::uint64_t target = Thumb();
    EXPECT_NEAR(FractionOfPosition(target, Duration()), 0.5, 0.05);
    EXPECT_FALSE(Loading()); // a drag only moves the thumb
    EXPECT_EQ(Position(), before);
    SendMessageW(Preview(), WM_LBUTTONUP, 0, MAKELPARAM(kWidth / 2, kHeight - 10));
    EXPECT_FALSE(Seeking());
    EXPECT_EQ(Position(), target);
    ASSERT_TRUE(WaitForLoad());
    EXPECT_NEAR(static_cast<double>(Position()), static_cast<double>(target), kOneFrame);
    EXPECT_NEAR(static_cast<double>(Thumb()), static_cast<double>(Position()), 1.0); // the thumb on the still shown
}

TEST_F(VideoPreview, ASeekStuckPastItsDeadlineFailsAndTheBarSnapsBack) {
    Open();
    const std::uint64_t shown = Position();
    HoldNextSeek();
    const ULONGLONG pressed = GetTickCount64();
    Key(VK_END);
    ASSERT_TRUE(SeekHeld());
    EXPECT_EQ(Position(), EndSeekPosition(Duration()));
    // Held until its deadline has passed, then let go: the first frame it reads comes too late.
    ASSERT_TRUE(PumpUntil([pressed] { return GetTickCount64() > pressed + kPositionedLoadBudgetMs; }));
    gate.Open();
    ASSERT_TRUE(WaitForLoad());
    EXPECT_EQ(Position(), shown);
    EXPECT_NEAR(static_cast<double>(Thumb()), static_cast<double>(shown), 1.0);
    EXPECT_NE(Ask(kPreviewStateFrameCount), -1); // the still on screen stays
    EXPECT_EQ(LoadResult(), S_OK);
}

TEST_F(VideoPreview, UnloadOrReleaseDuringASeek) {
    const LONG locksBefore = ServerModuleLocks(); // the fixture's handler holds one
    for (const bool unload : {true, false}) {
        Open();
        HoldNextSeek();
        Key(VK_END);
        ASSERT_TRUE(SeekHeld());
        HWND child = Preview();
        InvalidateRect(child, nullptr, FALSE);
        if (unload) {
            ASSERT_EQ(handler->Unload(), S_OK); // waits a while, then lets the stuck seek go
            EXPECT_FALSE(IsWindow(child)); // the presenter and its window are gone
        }
        handler.Reset();
        EXPECT_FALSE(IsWindow(child));
        gate.Open(); // the seek let go reads on, finds itself superseded and ends
        EXPECT_TRUE(PumpUntil([&] { return ServerModuleLocks() == locksBefore - 1; })); // no handler, no worker
        ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
    }
    Open(); // the next video still previews
    EXPECT_EQ(LoadResult(), S_OK);
}
