// A video played in the preview pane, through the handler's COM interfaces
// and the window's state message: Space plays from the still and pauses, a
// seek while playing goes on from there, the end loops, the speed choice and
// the remembered choice to play at once; Unload and Release mid-playback
// leave no worker; a file cut short plays what it holds; a stalled platform
// never holds up the window.
#include "PreviewWindowFixture.h"
#include "StallingStream.h"
#include "TestSupport.h"
#include "platform/ServerLifetime.h"
#include "preview/PreviewHandlerCom.h"
#include "preview/PreviewStateMessage.h"
#include "preview/ViewCommands.h"
#include "preview/ViewOptionsSetting.h"
#include "presentation/VideoPosition.h"

#include <gtest/gtest.h>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;
constexpr std::uint64_t kSecond = kUnitsPerSecond;

class VideoPlayback : public testing::Test {
protected:
    void SetUp() override {
        locksBefore = ServerModuleLocks();
        ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
    }
    void TearDown() override {
        if (gate.object != nullptr) gate.Open();
        if (handler) handler->Unload();
    }

    // Black for one second, then two of a bright pattern, 10 frames a second.
    void Open(const std::vector<std::uint8_t>& bytes = VideoFixture("black_then_bright.mp4")) {
        gate = MakeGatedStream(bytes);
        ComPtr<IInitializeWithStream> init;
        ASSERT_EQ(handler.As(&init), S_OK);
        ASSERT_EQ(init->Initialize(gate.stream.Get(), STGM_READ), S_OK);
        RECT rect = {0, 0, kWidth, kHeight};
        ASSERT_EQ(handler->SetWindow(host.Handle(), &rect), S_OK);
        ASSERT_EQ(handler->DoPreview(), S_OK);
        ASSERT_TRUE(PumpUntil([this] { return Ask(0) == kPreviewStateShowing && Ask(kPreviewStateDecoding) == 0; }));
        ASSERT_NE(Ask(kPreviewStateDuration), -1);
    }

    HWND Preview() { return PreviewWindowOf(handler.Get()); }
    LRESULT Ask(WPARAM question) { return AskPreviewState(Preview(), question); }
    void Key(WPARAM key) { SendMessageW(Preview(), WM_KEYDOWN, key, 1); }
    void Command(UINT command) { SendMessageW(Preview(), WM_COMMAND, command, 0); }
    std::uint64_t Position() { return static_cast<std::uint64_t>(Ask(kPreviewStateVideoPosition)); }
    std::uint64_t Thumb() { return static_cast<std::uint64_t>(Ask(kPreviewStateThumbPosition)); }
    bool Playing() { return Ask(kPreviewStatePlaying) == 1; }
    LRESULT Shown() { return Ask(kPreviewStateFramesShown); }
    // Serves the window for a while, for a case that checks nothing moves.
    void Serve(DWORD ms) {
        const ULONGLONG until = GetTickCount64() + ms;
        PumpUntil([until] { return GetTickCount64() >= until; });
    }

    static TestWindow& SharedHost() {
        static TestWindow* shared = new TestWindow(kWidth, kHeight);
        return *shared;
    }
    TestWindow& host = SharedHost();
    PrivateUserRegistry registry{L"video_playback_tests"};
    ComPtr<IPreviewHandler> handler;
    GateControl gate;
    LONG locksBefore = 0;
};

} // namespace

TEST_F(VideoPlayback, SpacePlaysFromTheStillAndSpacePausesWhereItStands) {
    Open();
    const std::uint64_t still = Position();
    EXPECT_FALSE(Playing());
    EXPECT_EQ(Ask(kPreviewStatePaused), 0); // the still as today: no badge

    Key(VK_SPACE);
    EXPECT_TRUE(Playing());
    EXPECT_EQ(Ask(kPreviewStatePaused), 0);
    ASSERT_TRUE(PumpUntil([&] { return Position() > still + kSecond / 2 && Position() < still + kSecond; }));
    EXPECT_GE(Shown(), 2);
    // The thumb follows the picture.
    EXPECT_NEAR(static_cast<double>(Thumb()), static_cast<double>(Position()), kSecond / 10.0);

    Key(VK_SPACE);
    EXPECT_FALSE(Playing());
    EXPECT_EQ(Ask(kPreviewStatePaused), 1);
    const std::uint64_t paused = Position();
    const LRESULT shown = Shown();
    Serve(500);
    EXPECT_EQ(Position(), paused);
    EXPECT_EQ(Shown(), shown);

    // Playing again goes on from where it paused.
    Key(VK_SPACE);
    ASSERT_TRUE(PumpUntil([&] { return Shown() >= 1; }));
    EXPECT_GE(Position(), paused);
    EXPECT_LT(Position(), paused + kSecond);
}

TEST_F(VideoPlayback, ASeekWhilePlayingGoesOnFromTheNewPositionAndTheEndLoops) {
    Open();
    Key(VK_SPACE);
    ASSERT_TRUE(PumpUntil([&] { return Shown() >= 2; }));
    Key(VK_HOME);
    EXPECT_TRUE(Playing());
    EXPECT_EQ(Position(), 0u);
    ASSERT_TRUE(PumpUntil([&] { return Position() >= kSecond / 5 && Position() < kSecond; }));
    EXPECT_TRUE(Playing());

    // End: one second before the end of three; playing then starts again from the beginning.
    Key(VK_END);
    ASSERT_TRUE(PumpUntil([&] { return Position() >= 2 * kSecond + kSecond / 2; }));
    ASSERT_TRUE(PumpUntil([&] { return Position() < kSecond / 2; }));
    EXPECT_TRUE(Playing());
    EXPECT_EQ(Ask(kPreviewStateLoadResult), S_OK);
}

TEST_F(VideoPlayback, TheSpeedChoiceAppliesToVideos) {
    Open();
    Key(VK_OEM_4);
    Key(VK_OEM_4); // 25 %
    ASSERT_EQ(Ask(kPreviewStateSpeedPercent), 25);
    Key(VK_HOME);
    ASSERT_TRUE(PumpUntil([&] { return Ask(kPreviewStateDecoding) == 0 && Position() == 0; }));
    const ULONGLONG started = GetTickCount64();
    Key(VK_SPACE);
    // A quarter of a second of the video takes at least a second: the clock
    // never runs faster than the speed, whatever the machine's load.
    ASSERT_TRUE(PumpUntil([&] { return Position() >= kSecond / 4 + kSecond / 10; }));
    EXPECT_GE(GetTickCount64() - started, 1000u);
}

TEST_F(VideoPlayback, TheChoiceToPlayAtOnceIsRememberedAndStartsTheNextVideo) {
    Open();
    EXPECT_EQ(Ask(kPreviewStateAutoPlay), 0); // off by default
    EXPECT_FALSE(Playing());
    Command(IDM_AUTOPLAY_VIDEOS);
    EXPECT_EQ(Ask(kPreviewStateAutoPlay), 1);
    EXPECT_FALSE(Playing()); // the video shown stays as it is
    EXPECT_TRUE(ReadViewOptionsSetting().autoPlayVideos);

    ASSERT_EQ(handler->Unload(), S_OK);
    Open();
    EXPECT_EQ(Ask(kPreviewStateAutoPlay), 1);
    EXPECT_TRUE(Playing());
    ASSERT_TRUE(PumpUntil([&] { return Shown() >= 2; }));

    Command(IDM_AUTOPLAY_VIDEOS);
    EXPECT_FALSE(ReadViewOptionsSetting().autoPlayVideos);
}

TEST_F(VideoPlayback, UnloadAndReleaseMidPlaybackLeaveNoWorker) {
    Open();
    Key(VK_SPACE);
    ASSERT_TRUE(PumpUntil([&] { return Shown() >= 2; }));
    HWND preview = Preview();
    ASSERT_EQ(handler->Unload(), S_OK);
    EXPECT_FALSE(IsWindow(preview));
    EXPECT_TRUE(PumpUntil([&] { return ServerModuleLocks() == locksBefore + 1; })); // the handler's own

    Open();
    Key(VK_SPACE);
    ASSERT_TRUE(PumpUntil([&] { return Shown() >= 2; }));
    handler.Reset();
    EXPECT_TRUE(PumpUntil([&] { return ServerModuleLocks() == locksBefore; }));
}

TEST_F(VideoPlayback, AFileCutShortPlaysWhatItHoldsAndLoops) {
    // The movie box first, then the first half of the samples' data.
    std::vector<std::uint8_t> bytes = VideoFixture("pattern_faststart.mp4");
    bytes.resize(bytes.size() / 2);
    Open(bytes);
    Key(VK_HOME);
    ASSERT_TRUE(PumpUntil([&] { return Ask(kPreviewStateDecoding) == 0 && Position() == 0; }));
    Key(VK_SPACE);
    std::uint64_t furthest = 0;
    // Plays on, then starts again from the beginning once past what the file holds.
    ASSERT_TRUE(PumpUntil([&] {
        const std::uint64_t now = Position();
        const bool wrapped = furthest >= kSecond / 5 && now + kSecond / 5 < furthest;
        furthest = std::max(furthest, now);
        return wrapped;
    }));
    EXPECT_LT(furthest, 2 * kSecond); // never the part cut away
    EXPECT_TRUE(Playing());
    const LRESULT shown = Shown();
    ASSERT_TRUE(PumpUntil([&] { return Shown() > shown + 3; })); // and goes on looping
}

TEST_F(VideoPlayback, AStalledPlatformNeverHoldsUpTheWindow) {
    Open();
    gate.Close(); // the next reader's reads wait
    Key(VK_SPACE);
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting(); }));
    // The window answers and takes keys while the worker is stuck.
    EXPECT_TRUE(Playing());
    Key(VK_RIGHT);
    Key(VK_SPACE);
    EXPECT_FALSE(Playing());
    Key(VK_SPACE); // waits for the stuck worker to end before starting again
    EXPECT_TRUE(Playing());
    HWND preview = Preview();
    ASSERT_EQ(handler->Unload(), S_OK); // lets the stuck worker go
    EXPECT_FALSE(IsWindow(preview));
    gate.Open();
    EXPECT_TRUE(PumpUntil([&] { return ServerModuleLocks() == locksBefore + 1; }));
}
