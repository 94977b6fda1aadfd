// Playback through the presenter: the frame clock with its renderer, frame
// commands, the seek bar's press, drag and release, and the video position.
#include "TestSupport.h"
#include "presentation/PreviewPresenter.h"

#include <gtest/gtest.h>

#include <memory>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

constexpr std::uint64_t kSecond = 10'000'000;

// Frames with these delays, in the store the preview shows from.
std::unique_ptr<IAnimatedRenderer> FramesWithDelays(const std::vector<std::uint32_t>& delays) {
    std::vector<FramePixels> frames = SolidFrames(delays.size());
    for (size_t i = 0; i < frames.size(); ++i) frames[i].delayMs = delays[i];
    return StoreRendererOver(std::move(frames));
}

// A video's still at `position` on its time line.
std::unique_ptr<IAnimatedRenderer> VideoStillAt(std::uint64_t duration, std::uint64_t position) {
    return StoreRendererOver(SolidFrames(1), VideoTimeline{duration, position});
}

// A presenter without a window: playback needs none.
std::unique_ptr<PreviewPresenter> PresenterWith(std::unique_ptr<IAnimatedRenderer> renderer, int width = 1000,
                                                int height = 600) {
    auto presenter = std::make_unique<PreviewPresenter>();
    presenter->Resize(RECT{0, 0, width, height});
    presenter->SetRenderer(std::move(renderer));
    return presenter;
}

} // namespace

TEST(PresenterPlayback, TimerTicksPlayDelaysUnderTenMsAtAHundredFramesASecond) {
    auto presenter = PresenterWith(FramesWithDelays(std::vector<std::uint32_t>(500, 1)));
    std::uint64_t lastTick = 0;
    int redraws = 0;
    std::uint64_t now = 5000;
    for (int tick = 0; tick <= 250; ++tick, now += 16) redraws += presenter->OnTimerTick(now, lastTick);
    // 250 ticks of 16 ms after the first: 4 s at 10 ms a frame.
    EXPECT_EQ(presenter->Playback().currentIndex, 400u);
    EXPECT_EQ(redraws, 250);
    EXPECT_EQ(presenter->Bar().FrameIndex(), 400u);
}

TEST(PresenterPlayback, StillsAndVideosNeverAdvance) {
    auto still = PresenterWith(FramesWithDelays(std::vector<std::uint32_t>{10}));
    EXPECT_FALSE(still->AdvanceTime(250));
    auto video = PresenterWith(VideoStillAt(10 * kSecond, 0));
    EXPECT_FALSE(video->AdvanceTime(250));
    auto empty = PresenterWith(nullptr);
    EXPECT_FALSE(empty->AdvanceTime(250));
}

TEST(PresenterPlayback, PauseKeepsTheRemainderAndDropsTimeWhilePaused) {
    auto presenter = PresenterWith(FramesWithDelays(std::vector<std::uint32_t>{100, 100, 100}));
    EXPECT_FALSE(presenter->AdvanceTime(60));
    EXPECT_TRUE(presenter->TogglePause());
    EXPECT_FALSE(presenter->AdvanceTime(250));
    EXPECT_FALSE(presenter->TogglePause());
    EXPECT_FALSE(presenter->AdvanceTime(39));
    EXPECT_TRUE(presenter->AdvanceTime(1)); // 60 before the pause + 40 after
    EXPECT_EQ(presenter->Playback().currentIndex, 1u);
}

TEST(PresenterPlayback, FrameCommandsWrapAndRestartTheDelay) {
    auto presenter = PresenterWith(FramesWithDelays(std::vector<std::uint32_t>{100, 100, 100}));
    presenter->AdvanceTime(90);
    presenter->PreviousFrame();
    EXPECT_EQ(presenter->Playback().currentIndex, 2u);
    EXPECT_EQ(presenter->FrameClock(), 0u);
    presenter->NextFrame();
    EXPECT_EQ(presenter->Playback().currentIndex, 0u);
    presenter->GoToLastFrame();
    EXPECT_EQ(presenter->Bar().FrameIndex(), 2u);
    presenter->GoToFirstFrame();
    EXPECT_EQ(presenter->Playback().currentIndex, 0u);
    presenter->StepFrameByWheel(-120);
    EXPECT_EQ(presenter->Playback().currentIndex, 1u);
    presenter->StepFrameByWheel(120);
    presenter->StepFrameByWheel(120);
    EXPECT_EQ(presenter->Playback().currentIndex, 2u);
    presenter->StepFrameByWheel(0);
    EXPECT_EQ(presenter->Playback().currentIndex, 2u);
}

TEST(PresenterPlayback, DraggingHoldsTimeAndReleaseSettlesOnTheThumb) {
    auto presenter = PresenterWith(FramesWithDelays(std::vector<std::uint32_t>(5, 50)));
    presenter->AdvanceTime(30);
    presenter->SeekBarPress(500, 590); // frame 2
    EXPECT_TRUE(presenter->IsSeeking());
    EXPECT_FALSE(presenter->AdvanceTime(250));
    presenter->SeekBarDrag(378); // still frame 2
    presenter->SeekBarDrag(997); // frame 4
    std::uint64_t position = 77;
    EXPECT_FALSE(presenter->SeekBarRelease(&position));
    EXPECT_EQ(position, 77u);
    EXPECT_EQ(presenter->Playback().currentIndex, 4u);
    EXPECT_EQ(presenter->FrameClock(), 0u);
    EXPECT_FALSE(presenter->AdvanceTime(49));
    EXPECT_TRUE(presenter->AdvanceTime(1));
}

TEST(PresenterPlayback, CurrentFrameFollowsTheDraggedThumb) {
    auto presenter = PresenterWith(FramesWithDelays(std::vector<std::uint32_t>(5, 50)));
    presenter->SeekBarPress(997, 599);
    ComPtr<IWICBitmapSource> bitmap;
    std::uint32_t index = 99;
    ASSERT_EQ(presenter->GetCurrentFrame(&bitmap, &index), S_OK);
    EXPECT_EQ(index, 4u);
    presenter->Render(); // no window: draws nothing, and the renderer is not told
    EXPECT_EQ(presenter->Renderer()->GetCurrentFrameIndex(), 0u);
}

TEST(PresenterPlayback, ClicksAboveTheBarOrOnAStillStartNothing) {
    auto presenter = PresenterWith(FramesWithDelays(std::vector<std::uint32_t>(5, 50)));
    presenter->SeekBarPress(500, 600 - 41);
    EXPECT_FALSE(presenter->IsSeeking());
    auto still = PresenterWith(FramesWithDelays(std::vector<std::uint32_t>{50}));
    still->SeekBarPress(500, 599);
    EXPECT_FALSE(still->IsSeeking());
}

TEST(PresenterVideo, KeysComputeTargetsOnTheTimeLine) {
    auto presenter = PresenterWith(VideoStillAt(10 * kSecond, 95 * kSecond / 10));
    ASSERT_TRUE(presenter->HasTimeline());
    EXPECT_EQ(presenter->VideoPosition(), 95 * kSecond / 10);
    EXPECT_EQ(presenter->StepVideoPosition(+1), 10 * kSecond - 1);
    EXPECT_EQ(presenter->GetEndSeekPosition(), 9 * kSecond);
    presenter->SetVideoPosition(4 * kSecond / 10);
    EXPECT_EQ(presenter->StepVideoPosition(-1), 0u);
    EXPECT_DOUBLE_EQ(presenter->Bar().Fraction(), 0.04);
    presenter->SetVideoPosition(50 * kSecond);
    EXPECT_EQ(presenter->VideoPosition(), 10 * kSecond - 1);

    auto shortClip = PresenterWith(VideoStillAt(kSecond / 2, 0));
    EXPECT_EQ(shortClip->GetEndSeekPosition(), 0u);
}

TEST(PresenterVideo, FrameCommandsDoNothing) {
    auto presenter = PresenterWith(VideoStillAt(10 * kSecond, 0));
    presenter->NextFrame();
    presenter->GoToLastFrame();
    presenter->StepFrameByWheel(-120);
    EXPECT_FALSE(presenter->TogglePause());
    EXPECT_EQ(presenter->Playback().currentIndex, 0u);
    EXPECT_FALSE(presenter->Playback().paused);
}

TEST(PresenterVideo, ReleaseRequestsAPositionOnlyAfterADrag) {
    auto presenter = PresenterWith(VideoStillAt(10 * kSecond, 0));
    std::uint64_t position = 0;
    presenter->SeekBarPress(500, 500); // above the bar
    EXPECT_FALSE(presenter->SeekBarRelease(&position));
    presenter->SeekBarPress(20, 590);
    presenter->SeekBarDrag(5000);
    ASSERT_TRUE(presenter->SeekBarRelease(&position));
    EXPECT_EQ(position, 10 * kSecond - 1);
    // The release only asks; the position moves when the new still arrives.
    EXPECT_EQ(presenter->VideoPosition(), 0u);
}

TEST(PresenterVideo, CurrentFrameIsAlwaysTheStill) {
    auto presenter = PresenterWith(VideoStillAt(10 * kSecond, 3 * kSecond));
    presenter->SetLoading(true, true); // a seek keeps the old still on screen
    ComPtr<IWICBitmapSource> bitmap;
    std::uint32_t index = 7;
    EXPECT_EQ(presenter->GetCurrentFrame(&bitmap, &index), S_OK);
    EXPECT_EQ(index, 0u);
    presenter->SetLoading(true, false); // a first load has nothing to offer
    EXPECT_EQ(presenter->GetCurrentFrame(&bitmap, &index), E_FAIL);
    EXPECT_EQ(presenter->GetCurrentFrame(nullptr, &index), E_POINTER);
    auto empty = PresenterWith(nullptr);
    EXPECT_EQ(empty->GetCurrentFrame(&bitmap, nullptr), E_FAIL);
}

TEST(PresenterTimer, LoadingOnlyRedrawsAndLeavesTheClockAlone) {
    auto presenter = PresenterWith(FramesWithDelays(std::vector<std::uint32_t>{40, 40}));
    presenter->SetLoading(true, false);
    std::uint64_t lastTick = 1234;
    EXPECT_TRUE(presenter->OnTimerTick(9999, lastTick));
    EXPECT_EQ(lastTick, 1234u);
    EXPECT_EQ(presenter->Playback().currentIndex, 0u);
    presenter->SetLoading(false, false);
    lastTick = 10000;
    EXPECT_FALSE(presenter->OnTimerTick(10016, lastTick));
    EXPECT_EQ(lastTick, 10016u);
}
