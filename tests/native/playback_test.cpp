#include "presentation/FrameClock.h"
#include "presentation/PlaybackState.h"
#include "presentation/VideoPosition.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Quivane;

TEST(PlaybackState, StepsWrapAroundBothEnds) {
    PlaybackState state;
    state.Reset(3);
    state.Previous();
    EXPECT_EQ(state.currentIndex, 2u); // Left on frame 0 shows the last frame
    state.Next();
    EXPECT_EQ(state.currentIndex, 0u); // Right on the last frame shows frame 0
    state.Last();
    EXPECT_EQ(state.currentIndex, 2u);
    state.First();
    EXPECT_EQ(state.currentIndex, 0u);
    state.SetIndexClamped(99);
    EXPECT_EQ(state.currentIndex, 2u);

    PlaybackState empty;
    empty.Next();
    empty.Previous();
    empty.Last();
    empty.SetIndexClamped(4);
    EXPECT_EQ(empty.currentIndex, 0u);
}

TEST(PlaybackState, ResetUnpausesAndReturnsToTheFirstFrame) {
    PlaybackState state;
    state.Reset(5);
    state.SetIndexClamped(3);
    EXPECT_TRUE(state.Toggle());
    state.Reset(4);
    EXPECT_FALSE(state.paused);
    EXPECT_EQ(state.currentIndex, 0u);
    EXPECT_EQ(state.frameCount, 4u);
}

TEST(TickElapsed, FirstTickIsZeroAndLongGapsAreCapped) {
    EXPECT_EQ(TickElapsed(0, 123456), 0u);
    EXPECT_EQ(TickElapsed(1000, 1016), 16u);
    EXPECT_EQ(TickElapsed(1000, 1250), 250u);
    EXPECT_EQ(TickElapsed(1000, 9000), 250u);
    EXPECT_EQ(TickElapsed(5000, 4000), 0u); // a clock that went backwards adds nothing
}

TEST(AdvanceFrameClock, ZeroDelaysPlayAHundredFramesASecond) {
    PlaybackState state;
    state.Reset(1000);
    std::uint32_t clock = 0;
    const auto zero = [](std::uint32_t) { return 0u; };
    std::uint32_t changedTicks = 0;
    for (int tick = 0; tick < 625; ++tick) { // 625 ticks of 16 ms = 10 s
        const std::uint32_t before = state.currentIndex;
        if (AdvanceFrameClock(state, clock, 16, zero)) ++changedTicks;
        const std::uint32_t moved = (state.currentIndex + 1000 - before) % 1000;
        ASSERT_TRUE(moved == 1 || moved == 2) << "tick " << tick;
    }
    EXPECT_EQ(changedTicks, 625u);
    EXPECT_EQ(state.currentIndex, 1000u % 1000u); // 10 s at 100 frames/s
    EXPECT_EQ(clock, 0u);
}

TEST(AdvanceFrameClock, EachFrameKeepsItsOwnDelayAndTheRemainder) {
    const std::vector<std::uint32_t> delays = {100, 30, 5, 200};
    const auto delayOf = [&](std::uint32_t i) { return delays[i]; };
    PlaybackState state;
    state.Reset(4);
    std::uint32_t clock = 0;
    EXPECT_FALSE(AdvanceFrameClock(state, clock, 99, delayOf));
    EXPECT_TRUE(AdvanceFrameClock(state, clock, 1, delayOf));
    EXPECT_EQ(state.currentIndex, 1u);
    // 200 ms passes over frame 1 (30) and frame 2 (5 runs as 10), then waits on frame 3.
    EXPECT_TRUE(AdvanceFrameClock(state, clock, 200, delayOf));
    EXPECT_EQ(state.currentIndex, 3u);
    EXPECT_EQ(clock, 160u);
    // 50 more complete frame 3 (200) and wrap to frame 0 with 10 ms already spent on it.
    EXPECT_TRUE(AdvanceFrameClock(state, clock, 50, delayOf));
    EXPECT_EQ(state.currentIndex, 0u);
    EXPECT_EQ(clock, 10u);
    EXPECT_FALSE(AdvanceFrameClock(state, clock, 0, delayOf));
}

TEST(AdvanceFrameClock, AFrameNotDecodedYetIsShownLateNeverSkipped) {
    PlaybackState state;
    state.Reset(4);
    std::uint32_t clock = 0;
    std::uint32_t decoded = 2; // frames 0 and 1 so far
    const auto delayOf = [](std::uint32_t) { return 100u; };
    const auto isReady = [&](std::uint32_t i) { return i < decoded; };
    EXPECT_TRUE(AdvanceFrameClock(state, clock, 150, delayOf, isReady));
    EXPECT_EQ(state.currentIndex, 1u);
    EXPECT_FALSE(AdvanceFrameClock(state, clock, 500, delayOf, isReady)); // frame 2 is late: frame 1 stays
    EXPECT_EQ(state.currentIndex, 1u);
    EXPECT_EQ(clock, 100u);
    decoded = 4;
    EXPECT_TRUE(AdvanceFrameClock(state, clock, 16, delayOf, isReady)); // shown on the next tick, in order
    EXPECT_EQ(state.currentIndex, 2u);
    EXPECT_EQ(clock, 16u);
    state.SetIndexClamped(3);
    decoded = 3; // stepped onto a frame still decoding: its delay has not started
    EXPECT_FALSE(AdvanceFrameClock(state, clock, 250, delayOf, isReady));
    EXPECT_EQ(clock, 0u);
}

TEST(AdvanceFrameClock, CappedTickPassesAtMostTwentyFiveShortFrames) {
    PlaybackState state;
    state.Reset(100);
    std::uint32_t clock = 0;
    AdvanceFrameClock(state, clock, TickElapsed(1, 100000), [](std::uint32_t) { return 1u; });
    EXPECT_EQ(state.currentIndex, 25u);
}

TEST(VideoPosition, StepsStayOnTheTimeLine) {
    const std::uint64_t second = kUnitsPerSecond;
    EXPECT_EQ(StepPosition(second * 95 / 10, 10 * second, +1), 10 * second - 1); // 9.5 s, Right: duration - 1
    EXPECT_EQ(StepPosition(second * 4 / 10, 10 * second, -1), 0u);              // 0.4 s, Left: 0
    EXPECT_EQ(StepPosition(3 * second, 10 * second, -1), 2 * second);
    EXPECT_EQ(StepPosition(second, 10 * second, -1), 0u);
    EXPECT_EQ(StepPosition(UINT64_MAX - 5, UINT64_MAX, +1), UINT64_MAX - 1);
    EXPECT_EQ(StepPosition(0, 0, +1), 0u);
}

TEST(VideoPosition, EndSeekIsOneSecondBeforeTheEnd) {
    EXPECT_EQ(EndSeekPosition(kUnitsPerSecond / 2), 0u); // 0.5 s clip: End seeks to 0
    EXPECT_EQ(EndSeekPosition(kUnitsPerSecond), 0u);
    EXPECT_EQ(EndSeekPosition(30 * kUnitsPerSecond), 29 * kUnitsPerSecond);
}

TEST(VideoPosition, FractionsAndPositions) {
    const std::uint64_t duration = 10 * kUnitsPerSecond;
    EXPECT_EQ(PositionAtFraction(1.0, duration), duration - 1); // released at the right end
    EXPECT_EQ(PositionAtFraction(0.5, duration), duration / 2);
    EXPECT_EQ(PositionAtFraction(0.0, duration), 0u);
    EXPECT_EQ(PositionAtFraction(0.7, 0), 0u);
    EXPECT_EQ(PositionAtFraction(1.0, UINT64_MAX), UINT64_MAX - 1);
    EXPECT_DOUBLE_EQ(FractionOfPosition(duration / 4, duration), 0.25);
    EXPECT_DOUBLE_EQ(FractionOfPosition(5, 0), 0.0);
    EXPECT_EQ(ClampToDuration(duration + 7, duration), duration - 1);
}
