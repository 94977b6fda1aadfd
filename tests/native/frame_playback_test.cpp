// Playback of a preview's frames with its seek bar, over frames given by
// their delays (and how many are decoded) or over a video's time line.
#include "presentation/FramePlayback.h"
#include "presentation/SeekBar.h"
#include "presentation/VideoPosition.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace Quivane;

namespace {

constexpr std::uint64_t kSecond = kUnitsPerSecond;

// Frames with the given delays, of which the first `decoded` can be shown.
class AnimationFrames : public PlaybackMedia {
public:
    explicit AnimationFrames(std::vector<std::uint32_t> delays) : delays(std::move(delays)) {}
    std::uint64_t FrameCount() const override { return delays.size(); }
    std::uint32_t FrameDelay(std::uint32_t index) const override { return delays.at(index); }
    bool IsFrameReady(std::uint32_t index) const override { return index < decoded && index < delays.size(); }
    bool IsTimeBased() const override { return false; }
    std::uint64_t Duration() const override { return 0; }
    std::uint64_t Position() const override { return 0; }

    std::vector<std::uint32_t> delays;
    std::uint32_t decoded = UINT32_MAX;
};

// A video's still at `position` on a time line of `duration`.
class VideoStill : public PlaybackMedia {
public:
    VideoStill(std::uint64_t duration, std::uint64_t position) : duration(duration), position(position) {}
    std::uint64_t FrameCount() const override { return 1; }
    std::uint32_t FrameDelay(std::uint32_t) const override { return 0; }
    bool IsFrameReady(std::uint32_t index) const override { return index == 0; }
    bool IsTimeBased() const override { return true; }
    std::uint64_t Duration() const override { return duration; }
    std::uint64_t Position() const override { return position; }

private:
    std::uint64_t duration;
    std::uint64_t position;
};

// Playback with a bar across a 1000 x 600 window.
struct Playing {
    explicit Playing(const PlaybackMedia* media) {
        bar.SetSize(1000, 600);
        playback.SetMedia(media);
        playback.Sync();
    }
    SeekBar bar;
    FramePlayback playback{bar};
};

} // namespace

TEST(FramePlayback, TimerTicksPlayZeroDelaysAtAHundredFramesASecond) {
    AnimationFrames frames(std::vector<std::uint32_t>(500, 0));
    Playing p(&frames);
    std::uint64_t lastTick = 0;
    int redraws = 0;
    std::uint64_t now = 5000;
    for (int tick = 0; tick <= 250; ++tick, now += 16) redraws += p.playback.Tick(now, lastTick);
    // 250 ticks of 16 ms after the first: 4 s at 10 ms a frame.
    EXPECT_EQ(p.playback.State().currentIndex, 400u);
    EXPECT_EQ(redraws, 250);
    EXPECT_EQ(p.bar.FrameIndex(), 400u);
}

TEST(FramePlayback, StillsAndVideosNeverAdvance) {
    AnimationFrames still(std::vector<std::uint32_t>{10});
    EXPECT_FALSE(Playing(&still).playback.AdvanceTime(250));
    VideoStill video(10 * kSecond, 0);
    EXPECT_FALSE(Playing(&video).playback.AdvanceTime(250));
    EXPECT_FALSE(Playing(nullptr).playback.AdvanceTime(250));
}

TEST(FramePlayback, PauseKeepsTheRemainderAndDropsTimeWhilePaused) {
    AnimationFrames frames({100, 100, 100});
    Playing p(&frames);
    EXPECT_FALSE(p.playback.AdvanceTime(60));
    EXPECT_TRUE(p.playback.TogglePause());
    EXPECT_FALSE(p.playback.AdvanceTime(250));
    EXPECT_FALSE(p.playback.TogglePause());
    EXPECT_FALSE(p.playback.AdvanceTime(39));
    EXPECT_TRUE(p.playback.AdvanceTime(1)); // 60 before the pause + 40 after
    EXPECT_EQ(p.playback.State().currentIndex, 1u);
}

TEST(FramePlayback, FrameCommandsWrapAndRestartTheDelay) {
    AnimationFrames frames({100, 100, 100});
    Playing p(&frames);
    p.playback.AdvanceTime(90);
    p.playback.PreviousFrame();
    EXPECT_EQ(p.playback.State().currentIndex, 2u);
    EXPECT_EQ(p.playback.Clock(), 0u);
    p.playback.NextFrame();
    EXPECT_EQ(p.playback.State().currentIndex, 0u);
    p.playback.GoToLastFrame();
    EXPECT_EQ(p.bar.FrameIndex(), 2u);
    p.playback.GoToFirstFrame();
    EXPECT_EQ(p.playback.State().currentIndex, 0u);
    p.playback.StepFrameByWheel(-120);
    EXPECT_EQ(p.playback.State().currentIndex, 1u);
    p.playback.StepFrameByWheel(120);
    p.playback.StepFrameByWheel(120);
    EXPECT_EQ(p.playback.State().currentIndex, 2u);
    p.playback.StepFrameByWheel(0);
    EXPECT_EQ(p.playback.State().currentIndex, 2u);
}

TEST(FramePlayback, DraggingHoldsTimeAndReleaseSettlesOnTheThumb) {
    AnimationFrames frames(std::vector<std::uint32_t>(5, 50));
    Playing p(&frames);
    p.playback.AdvanceTime(30);
    p.bar.Press(500, 590); // frame 2
    EXPECT_FALSE(p.playback.AdvanceTime(250));
    EXPECT_EQ(p.playback.SelectFrame(), 2u); // the picture follows the thumb
    p.bar.Drag(378); // still frame 2
    p.bar.Drag(997); // frame 4
    std::uint64_t position = 77;
    EXPECT_FALSE(p.playback.ReleaseBar(&position));
    EXPECT_FALSE(p.bar.IsDragging());
    EXPECT_EQ(position, 77u);
    EXPECT_EQ(p.playback.State().currentIndex, 4u);
    EXPECT_EQ(p.playback.Clock(), 0u);
    EXPECT_FALSE(p.playback.AdvanceTime(49));
    EXPECT_TRUE(p.playback.AdvanceTime(1));
}

TEST(FramePlayback, ClicksAboveTheBarOrOnAStillStartNothing) {
    AnimationFrames frames(std::vector<std::uint32_t>(5, 50));
    Playing p(&frames);
    p.bar.Press(500, 600 - 41);
    EXPECT_FALSE(p.bar.IsDragging());
    AnimationFrames still(std::vector<std::uint32_t>{50});
    Playing s(&still);
    s.bar.Press(500, 599);
    EXPECT_FALSE(s.bar.IsDragging());
}

TEST(FramePlayback, AWantedFrameStillDecodingLeavesTheShownOneUntilItArrives) {
    AnimationFrames frames({100, 100, 100});
    frames.decoded = 1;
    Playing p(&frames);
    EXPECT_EQ(p.playback.FrameToDraw(0), 0u);
    p.playback.FrameDrawn(0);
    p.playback.NextFrame();
    EXPECT_EQ(p.playback.FrameToDraw(1), 0u);
    EXPECT_EQ(p.playback.CurrentFrame(), 0u);
    std::uint64_t lastTick = 0;
    EXPECT_FALSE(p.playback.Tick(1000, lastTick));
    frames.decoded = 3;
    EXPECT_TRUE(p.playback.Tick(1016, lastTick)); // a picture is due as soon as it is there
    EXPECT_EQ(p.playback.CurrentFrame(), 1u);
    EXPECT_EQ(p.playback.FrameToDraw(1), 1u);
}

TEST(FramePlayback, AnAnimationFoundShorterPullsTheFrameAndTheBarBack) {
    AnimationFrames frames({100, 100, 100, 100});
    Playing p(&frames);
    p.playback.GoToLastFrame();
    frames.delays.resize(2); // the decoder found the tail damaged
    std::uint64_t lastTick = 0;
    EXPECT_TRUE(p.playback.Tick(1000, lastTick));
    EXPECT_EQ(p.playback.State().frameCount, 2u);
    EXPECT_EQ(p.playback.State().currentIndex, 1u);
    EXPECT_EQ(p.bar.FrameCount(), 2u);
    EXPECT_EQ(p.bar.FrameIndex(), 1u);
}

TEST(FramePlaybackVideo, KeysComputeTargetsOnTheTimeLine) {
    VideoStill video(10 * kSecond, 95 * kSecond / 10);
    Playing p(&video);
    ASSERT_TRUE(p.playback.HasTimeline());
    EXPECT_EQ(p.playback.VideoPosition(), 95 * kSecond / 10);
    EXPECT_EQ(p.playback.StepVideoPosition(+1), 10 * kSecond - 1);
    EXPECT_EQ(p.playback.EndSeekPosition(), 9 * kSecond);
    p.playback.SetVideoPosition(4 * kSecond / 10);
    EXPECT_EQ(p.playback.StepVideoPosition(-1), 0u);
    EXPECT_DOUBLE_EQ(p.bar.Fraction(), 0.04);
    p.playback.SetVideoPosition(50 * kSecond);
    EXPECT_EQ(p.playback.VideoPosition(), 10 * kSecond - 1);

    VideoStill shortClip(kSecond / 2, 0);
    EXPECT_EQ(Playing(&shortClip).playback.EndSeekPosition(), 0u);
}

TEST(FramePlaybackVideo, FrameCommandsDoNothing) {
    VideoStill video(10 * kSecond, 0);
    Playing p(&video);
    p.playback.NextFrame();
    p.playback.GoToLastFrame();
    p.playback.StepFrameByWheel(-120);
    EXPECT_FALSE(p.playback.TogglePause());
    EXPECT_EQ(p.playback.State().currentIndex, 0u);
    EXPECT_FALSE(p.playback.State().paused);
}

TEST(FramePlaybackVideo, ReleaseRequestsAPositionOnlyAfterADrag) {
    VideoStill video(10 * kSecond, 0);
    Playing p(&video);
    std::uint64_t position = 0;
    p.bar.Press(500, 500); // above the bar
    EXPECT_FALSE(p.playback.ReleaseBar(&position));
    p.bar.Press(20, 590);
    p.bar.Drag(5000);
    ASSERT_TRUE(p.playback.ReleaseBar(&position));
    EXPECT_EQ(position, 10 * kSecond - 1);
    // The release only asks; the position moves when the new still arrives.
    EXPECT_EQ(p.playback.VideoPosition(), 0u);
}

namespace {

// Plays `frames` from the first frame at `speedPercent`, 1 ms at a time, until
// the last frame shows; returns the clock time that took.
std::uint32_t TimeToLastFrame(AnimationFrames& frames, std::uint32_t speedPercent) {
    Playing p(&frames);
    p.playback.SetSpeedPercent(speedPercent);
    std::uint32_t elapsed = 0;
    while (p.playback.State().currentIndex + 1 < frames.delays.size() && elapsed < 100000) {
        p.playback.AdvanceTime(1);
        ++elapsed;
    }
    return elapsed;
}

} // namespace

TEST(FramePlayback, DoubleSpeedShowsTheFramesInHalfTheTimeAndQuarterSpeedInFourTimes) {
    AnimationFrames frames({100, 60, 200, 40});
    EXPECT_EQ(TimeToLastFrame(frames, 100), 360u);
    EXPECT_EQ(TimeToLastFrame(frames, 200), 180u);
    EXPECT_EQ(TimeToLastFrame(frames, 25), 1440u);
}

TEST(FramePlayback, TheDelayFloorAppliesToTheDividedDelay) {
    // 30 ms at 4x would be 7.5 ms: each frame still shows for 10 ms; 0 ms frames stay at 10 ms.
    AnimationFrames thirty(std::vector<std::uint32_t>(11, 30));
    EXPECT_EQ(TimeToLastFrame(thirty, 400), 100u);
    AnimationFrames zero(std::vector<std::uint32_t>(11, 0));
    EXPECT_EQ(TimeToLastFrame(zero, 200), 100u);
    // 100 ms at 4x is 25 ms, above the floor.
    AnimationFrames hundred(std::vector<std::uint32_t>(11, 100));
    EXPECT_EQ(TimeToLastFrame(hundred, 400), 250u);
}
