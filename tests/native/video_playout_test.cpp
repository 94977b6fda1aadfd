#include "frames/VideoFrameRing.h"
#include "frames/VideoPlayout.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace Quivane;

namespace {

constexpr std::uint64_t kMs = 10'000; // 100-ns units in a millisecond
constexpr std::uint64_t kFrame = 40 * kMs; // 25 frames a second

PlayedFrame Frame(std::uint64_t playTime, std::uint64_t duration = kFrame) {
    PlayedFrame frame;
    frame.playTime = playTime;
    frame.position = playTime;
    frame.duration = duration;
    frame.picture.width = 1;
    frame.picture.height = 1;
    frame.picture.pixels.assign(4, 0);
    return frame;
}

} // namespace

TEST(ChooseDueFrame, ShowsTheLastDueFrameAndDropsTheLateOnesBeforeIt) {
    struct Case {
        const char* name;
        std::vector<std::uint64_t> times;
        std::uint64_t now;
        bool show;
        std::size_t dropped;
    };
    const Case cases[] = {
        {"nothing waiting", {}, 100, false, 0},
        {"first not due yet", {40, 80}, 39, false, 0},
        {"first due exactly", {40, 80}, 40, true, 0},
        {"first due, second not", {40, 80}, 79, true, 0},
        {"two due: the first is late", {40, 80, 120}, 80, true, 1},
        {"all due: all but the last dropped", {40, 80, 120, 160}, 500, true, 3},
        {"a frame at time zero", {0}, 0, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DueChoice choice = ChooseDueFrame(c.times.data(), c.times.size(), c.now);
        EXPECT_EQ(choice.show, c.show);
        EXPECT_EQ(choice.dropped, c.dropped);
    }
}

TEST(VideoPlayout, ShowsEachFrameWhenDueInOrderAndDropsFramesASlowTickPassedOver) {
    VideoFrameRing ring;
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(ring.Push(Frame(i * kFrame), StopToken()));
    VideoPlayout playout;
    playout.Start(0, 1000, 100);
    // Ticks in milliseconds, and the play time of the frame each shows (-1: none).
    struct Step {
        std::uint64_t tickMs;
        std::int64_t shownMs;
    };
    const Step steps[] = {{1000, 0}, {1010, -1}, {1040, 40}, {1050, -1}, {1205, 200}, {1239, -1}, {1240, 240}};
    std::uint64_t last = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.tickMs);
        const auto shown = playout.Tick(ring, step.tickMs);
        ASSERT_EQ(shown.has_value(), step.shownMs >= 0);
        if (!shown) continue;
        EXPECT_EQ(shown->playTime, static_cast<std::uint64_t>(step.shownMs) * kMs);
        EXPECT_GE(shown->playTime, last); // never out of order
        last = shown->playTime;
    }
    EXPECT_EQ(playout.FramesShown(), 4u);
    EXPECT_EQ(playout.FramesDropped(), 3u); // 80, 120 and 160 came too late for the slow tick
    EXPECT_EQ(playout.LargestLag(), 5 * kMs);
    EXPECT_EQ(ring.Size(), 1u);
}

TEST(VideoPlayout, SpeedScalesTheClockFromWhereItStands) {
    VideoPlayout playout;
    const struct {
        std::uint32_t percent;
        std::uint64_t afterMs;
        std::uint64_t playTime;
    } cases[] = {{100, 100, 100 * kMs}, {200, 100, 200 * kMs}, {25, 100, 25 * kMs}, {0, 100, 100 * kMs}};
    for (const auto& c : cases) {
        playout.Start(5 * kMs, 0, c.percent);
        EXPECT_EQ(playout.PlayTime(c.afterMs), 5 * kMs + c.playTime) << c.percent;
    }
    playout.Start(0, 0, 100);
    playout.SetSpeed(400, 100); // 100 ms played at 1x, then 4x
    EXPECT_EQ(playout.PlayTime(150), 300 * kMs);
}

TEST(VideoPlayout, AClockAheadOfAnEmptyRingWaitsForTheDecoder) {
    VideoFrameRing ring;
    VideoPlayout playout;
    playout.Start(0, 0, 100);
    ASSERT_TRUE(ring.Push(Frame(0), StopToken()));
    ASSERT_TRUE(playout.Tick(ring, 0).has_value());
    // Nothing decoded for a second: the clock holds at the next frame's start.
    EXPECT_FALSE(playout.Tick(ring, 1000).has_value());
    EXPECT_EQ(playout.PlayTime(1000), kFrame);
    ASSERT_TRUE(ring.Push(Frame(kFrame), StopToken()));
    ASSERT_TRUE(ring.Push(Frame(2 * kFrame), StopToken()));
    const auto next = playout.Tick(ring, 1001);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->playTime, kFrame);
    EXPECT_EQ(playout.FramesDropped(), 0u);
    EXPECT_LE(playout.LargestLag(), kFrame);
}

TEST(VideoFrameRing, APushWaitsForRoomAndGivesUpOnceStopped) {
    VideoFrameRing ring(2);
    std::atomic<std::uint64_t> generation{1};
    const StopToken stop(&generation, 1);
    ASSERT_TRUE(ring.Push(Frame(0), stop));
    ASSERT_TRUE(ring.Push(Frame(kFrame), stop));
    std::atomic<int> pushed{-1};
    std::thread worker([&] { pushed = ring.Push(Frame(2 * kFrame), stop) ? 1 : 0; });
    // Taking the first frame makes room for the third.
    EXPECT_TRUE(ring.TakeDue(0).frame.has_value());
    worker.join();
    EXPECT_EQ(pushed.load(), 1);
    EXPECT_EQ(ring.Size(), 2u);

    std::thread stopped([&] { pushed = ring.Push(Frame(3 * kFrame), stop) ? 1 : 0; });
    generation = 2; // a seek: the full ring's waiting push is dropped
    ring.Clear();
    stopped.join();
    EXPECT_EQ(pushed.load(), 0);
    EXPECT_EQ(ring.Size(), 0u);
}

TEST(VideoPlayout, ALastFrameAlreadyOverHoldsTheClockAtItself) {
    VideoFrameRing ring;
    VideoPlayout playout;
    playout.Start(0, 0, 100);
    ASSERT_TRUE(ring.Push(Frame(0), StopToken()));
    ASSERT_TRUE(ring.Push(Frame(kFrame), StopToken()));
    // Half a second late, with no frame decoded past the second: it is shown,
    // the first dropped, and the clock goes on from the frame shown.
    const auto shown = playout.Tick(ring, 500);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->playTime, kFrame);
    EXPECT_EQ(playout.FramesDropped(), 1u);
    EXPECT_EQ(playout.LargestLag(), 0u);
    EXPECT_EQ(playout.PlayTime(510), kFrame + 10 * kMs);
}
