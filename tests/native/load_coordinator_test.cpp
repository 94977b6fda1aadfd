#include "preview/LoadCoordinator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace Quivane;

namespace {

// Counts live instances so that a lost or doubly freed result shows.
struct Decoded {
    static std::atomic<int> alive;
    explicit Decoded(int v) : value(v) { ++alive; }
    ~Decoded() { --alive; }
    int value;
};
std::atomic<int> Decoded::alive{0};

struct Result {
    std::unique_ptr<Decoded> decoded;
    int code = 0;
};

using Coordinator = LoadCoordinator<Result, std::string>;

Coordinator::Flag NewFlag() { return std::make_shared<std::atomic<bool>>(false); }

// A worker that "decodes" until it is superseded or done, then stores its result.
std::thread StartWorker(Coordinator& loads, std::uint64_t generation, Coordinator::Flag finished, int steps) {
    return std::thread([&loads, generation, finished, steps] {
        Result result;
        int step = 0;
        for (; step < steps; ++step) {
            if (loads.CurrentGeneration().load() != generation) break;
            std::this_thread::yield();
        }
        result.code = step == steps ? 0 : -1;
        if (result.code == 0) result.decoded = std::make_unique<Decoded>(static_cast<int>(generation));
        loads.StoreResult(generation, result); // a stale result stays here and dies with this thread
        finished->store(true);
    });
}

} // namespace

TEST(LoadCoordinator, RequestsWhileAWorkerRunsAreQueuedAndOnlyTheLastStarts) {
    Coordinator loads;
    const auto first = loads.BeginFullLoad("first");
    ASSERT_TRUE(first.has_value());
    auto flag = NewFlag();
    loads.AddWorker(std::thread([] {}), flag);

    EXPECT_FALSE(loads.BeginFullLoad("second").has_value());
    EXPECT_FALSE(loads.BeginFullLoad("third").has_value());
    EXPECT_FALSE(loads.BeginFullLoad("fourth").has_value());
    EXPECT_EQ(loads.CurrentGeneration().load(), 4u); // each request superseded the running load
    EXPECT_FALSE(loads.TakePendingIfIdle().has_value());

    flag->store(true);
    const auto next = loads.TakePendingIfIdle();
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(*next, "fourth");
    EXPECT_FALSE(loads.TakePendingIfIdle().has_value());
    loads.ReapFinishedWorkers();
    EXPECT_EQ(loads.WorkerCount(), 0u);
}

TEST(LoadCoordinator, PositionedLoadsAreDroppedWhileAnyWorkerRuns) {
    Coordinator loads;
    auto flag = NewFlag();
    loads.AddWorker(std::thread([] {}), flag);
    const std::uint64_t before = loads.CurrentGeneration().load();
    EXPECT_FALSE(loads.BeginPositionedLoad().has_value());
    EXPECT_EQ(loads.CurrentGeneration().load(), before);
    EXPECT_FALSE(loads.HasPending());
    flag->store(true);
    EXPECT_EQ(loads.BeginPositionedLoad(), before + 1);
    loads.StopAllWorkers();
}

TEST(LoadCoordinator, OnlyTheCurrentGenerationStoresAResult) {
    Coordinator loads;
    const std::uint64_t old = *loads.BeginFullLoad("a");
    const std::uint64_t current = *loads.BeginFullLoad("b");

    Result stale{std::make_unique<Decoded>(1), 0};
    EXPECT_FALSE(loads.StoreResult(old, stale));
    EXPECT_NE(stale.decoded, nullptr); // still the worker's to destroy
    EXPECT_FALSE(loads.TakeResult().has_value());

    Result fresh{std::make_unique<Decoded>(2), 0};
    EXPECT_TRUE(loads.StoreResult(current, fresh));
    auto taken = loads.TakeResult();
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->decoded->value, 2);
    EXPECT_FALSE(loads.TakeResult().has_value());
}

TEST(LoadCoordinator, CancelEmptiesTheSlotAndTheQueue) {
    Coordinator loads;
    const std::uint64_t g = *loads.BeginFullLoad("a");
    Result done{std::make_unique<Decoded>(5), 0};
    loads.StoreResult(g, done);
    auto flag = NewFlag();
    loads.AddWorker(std::thread([] {}), flag);
    loads.BeginFullLoad("queued");
    auto dropped = loads.CancelAll();
    EXPECT_TRUE(dropped.second.has_value());
    EXPECT_FALSE(loads.TakeResult().has_value());
    EXPECT_FALSE(loads.HasPending());
    EXPECT_EQ(loads.CurrentGeneration().load(), 3u);
    flag->store(true); // a worker says so as its last act; stopping waits for it
    loads.StopAllWorkers();
    EXPECT_EQ(loads.WorkerCount(), 0u);
}

TEST(LoadCoordinator, RapidStartsCancelsAndPollsFromManyThreadsLoseNothing) {
    {
        Coordinator loads;
        for (int cycle = 0; cycle < 300; ++cycle) {
            const auto started = loads.BeginFullLoad("file" + std::to_string(cycle));
            if (started) {
                auto flag = NewFlag();
                loads.AddWorker(StartWorker(loads, *started, flag, 50 + cycle % 7), flag);
            }
            if (cycle % 5 == 0) loads.TakeResult();
            if (cycle % 11 == 0) {
                loads.CancelAll();
                loads.StopAllWorkers();
            }
            loads.ReapFinishedWorkers();
            if (auto next = loads.TakePendingIfIdle()) {
                if (const auto again = loads.BeginFullLoad(*next)) {
                    auto flag = NewFlag();
                    loads.AddWorker(StartWorker(loads, *again, flag, 20), flag);
                }
            }
        }
        loads.CancelAll();
        loads.StopAllWorkers();
        EXPECT_EQ(loads.WorkerCount(), 0u);
        EXPECT_FALSE(loads.TakeResult().has_value());
    }
    EXPECT_EQ(Decoded::alive.load(), 0);
}
