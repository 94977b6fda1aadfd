#include "frames/FrameBudget.h"
#include "frames/FrameStore.h"

#include <gtest/gtest.h>

#include <thread>

using namespace Quivane;

namespace {

FramePixels Frame(std::uint32_t bytes, std::uint32_t delay) {
    FramePixels frame;
    frame.width = bytes / 4;
    frame.height = 1;
    frame.pixels.assign(bytes, 7);
    frame.delayMs = delay;
    return frame;
}

FramePlan WindowOf(std::uint32_t frames) {
    FramePlan plan;
    plan.keepAll = false;
    plan.window = frames;
    return plan;
}

} // namespace

TEST(FrameBudget, AllFramesWhileTheyFitElseAWindowAndCheckpointsWithinTheBudget) {
    EXPECT_EQ(EffectiveFrameBudget(0, 0), kDefaultFrameBudgetBytes);
    EXPECT_EQ(EffectiveFrameBudget(0, 400u << 20), 100u << 20); // never over a quarter of the machine
    EXPECT_EQ(EffectiveFrameBudget(64u << 20, 24ull << 30), 64u << 20);

    const FramePlan fits = PlanFrames(10, 100, 1000, false);
    EXPECT_TRUE(fits.keepAll);

    // 600 frames of 3.7 MB in 256 MB: checkpoints in half, the window in the rest.
    const std::uint64_t frame = 1280 * 720 * 4;
    const FramePlan over = PlanFrames(600, frame, kDefaultFrameBudgetBytes, false);
    EXPECT_FALSE(over.keepAll);
    EXPECT_GT(over.checkpointEvery, 0u);
    EXPECT_LE(over.checkpointEvery, 40u);
    EXPECT_GE(over.window, 2u);
    EXPECT_LE((CheckpointCount(600, over) + over.window) * frame, kDefaultFrameBudgetBytes);

    const FramePlan direct = PlanFrames(600, frame, kDefaultFrameBudgetBytes, true);
    EXPECT_EQ(direct.checkpointEvery, 0u);
    EXPECT_EQ(direct.window, kDefaultFrameBudgetBytes / frame);

    // A canvas larger than the whole budget: the frame on screen and the next, composed from the start.
    const FramePlan huge = PlanFrames(8, 1ull << 30, kDefaultFrameBudgetBytes, false);
    EXPECT_EQ(huge.window, 2u);
    EXPECT_EQ(PlanFrames(1, 1ull << 30, kDefaultFrameBudgetBytes, false).window, 1u);
    EXPECT_EQ(huge.checkpointEvery, 0u);

    // Frames of a huge canvas kept reduced: many of them fit, but no checkpoint (a whole canvas) does.
    const FramePlan reduced = PlanFrames(600, 33ull << 20, kDefaultFrameBudgetBytes, false, 1ull << 30);
    EXPECT_EQ(reduced.checkpointEvery, 0u);
    EXPECT_EQ(reduced.window, kDefaultFrameBudgetBytes / (33ull << 20));
}

TEST(FrameBudget, FramesOfHugeCanvasesAreKeptAtAScreensSizeInTheirShape) {
    EXPECT_EQ(KeptFrameSizeFor(4096, 4096).width, 4096u); // at the limit: whole
    EXPECT_EQ(KeptFrameSizeFor(16384, 1).width, 16384u);  // long but small
    // Longer than a drawn bitmap may be: reduced to that side, however few its pixels.
    EXPECT_EQ(KeptFrameSizeFor(20000, 64).width, 16384u);
    EXPECT_EQ(KeptFrameSizeFor(20000, 64).height, 52u);
    EXPECT_EQ(KeptFrameSizeFor(1, 40000).height, 16384u);
    EXPECT_EQ(KeptFrameSizeFor(1, 40000).width, 1u);
    for (const auto& [width, height] : {std::pair<std::uint32_t, std::uint32_t>{16000, 16000}, {16384, 1100}, {4097, 4096},
                                        {1920, 40000}, {30000, 30000}, {40000, 2000}}) {
        const KeptFrameSize kept = KeptFrameSizeFor(width, height);
        EXPECT_LE(static_cast<std::uint64_t>(kept.width) * kept.height, kReducedFramePixels) << width << "x" << height;
        EXPECT_GE(static_cast<std::uint64_t>(kept.width + 1) * (kept.height + 1), kReducedFramePixels) << width << "x" << height;
        EXPECT_NEAR(static_cast<double>(kept.width) * height / (static_cast<double>(kept.height) * width), 1.0, 0.005);
    }
}

TEST(FrameStore, TheWindowFollowsThePlayheadAndWrapsToTheStart) {
    FrameStore store(6);
    store.SetPlan(WindowOf(3));
    EXPECT_EQ(store.NextWanted(), 0u);
    EXPECT_TRUE(store.Put(0, Frame(8, 40)));
    EXPECT_TRUE(store.Put(2, Frame(8, 60)));
    EXPECT_FALSE(store.Put(4, Frame(8, 80))); // beyond the window: dropped, its delay kept
    EXPECT_EQ(store.DelayMs(4), 80u);
    EXPECT_EQ(store.DelayMs(5), 100u); // not decoded yet
    EXPECT_EQ(store.NextWanted(), 1u);
    EXPECT_EQ(store.HeldBytes(), 16u);

    store.SetPlayhead(5); // the window is 5, 0, 1: frame 2 goes, frame 0 stays
    EXPECT_FALSE(store.Has(2));
    EXPECT_TRUE(store.Has(0));
    EXPECT_EQ(store.NextWanted(), 5u);
    EXPECT_EQ(store.HeldFrames(), 1u);

    store.EndAt(3); // a damaged tail: the playhead goes back to the start
    EXPECT_EQ(store.FrameCount(), 3u);
    EXPECT_EQ(store.Frame(5), nullptr);
    EXPECT_EQ(store.NextWanted(), 1u);

    store.Close();
    EXPECT_FALSE(store.NextWanted().has_value());
    EXPECT_FALSE(store.Put(1, Frame(8, 10)));
}

TEST(FrameStore, AWaitingWorkerWakesForThePlayheadAndForClose) {
    FrameStore store(4);
    store.SetPlan(WindowOf(1));
    ASSERT_TRUE(store.Put(0, Frame(4, 10)));
    std::thread worker([&] {
        while (!store.Closed()) {
            store.WaitForWork(std::chrono::hours(1));
            if (auto wanted = store.NextWanted()) store.Put(*wanted, Frame(4, 10));
        }
    });
    for (std::uint32_t index : {1u, 2u, 3u, 0u}) {
        store.SetPlayhead(index);
        while (!store.Has(index)) std::this_thread::yield();
        EXPECT_EQ(store.HeldFrames(), 1u);
    }
    store.Close();
    worker.join();
}

TEST(FrameStore, DecodingAheadIsHeldBackUntilAFrameIsShownThePlayheadMovesOrThePatienceEnds) {
    FrameStore store(4);
    EXPECT_FALSE(store.HoldingBack());
    store.HoldBackUntilShown(std::chrono::hours(1));
    EXPECT_TRUE(store.HoldingBack());
    std::thread worker([&] {
        while (store.HoldingBack()) store.WaitWhileHoldingBack(std::chrono::hours(1));
    });
    store.FrameShown(); // wakes the waiting worker
    worker.join();
    EXPECT_FALSE(store.HoldingBack());

    store.HoldBackUntilShown(std::chrono::hours(1));
    store.SetPlayhead(2);
    EXPECT_FALSE(store.HoldingBack());

    store.HoldBackUntilShown(std::chrono::hours(1));
    store.Close();
    EXPECT_FALSE(store.HoldingBack());

    FrameStore patient(4);
    patient.HoldBackUntilShown(std::chrono::milliseconds(0));
    EXPECT_FALSE(patient.HoldingBack());
    patient.WaitWhileHoldingBack(std::chrono::hours(1)); // returns: nothing holds
}
