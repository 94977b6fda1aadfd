#include "preview/LoadCoordinator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

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

using Flag = std::shared_ptr<std::atomic<bool>>;

// A worker as the coordinator keeps it: a thread that sets its flag as its
// last act. Dropped, it waits for the thread.
struct Worker {
    Worker() = default;
    Worker(Worker&&) = default;
    ~Worker() {
        if (thread.joinable()) thread.join();
    }
    bool Running() const { return finished && !finished->load(); }

    std::thread thread;
    Flag finished;
};

using Coordinator = LoadCoordinator<Result, std::string, Worker>;

Flag NewFlag() { return std::make_shared<std::atomic<bool>>(false); }

template <typename Body>
void AddWorker(Coordinator& loads, Flag finished, Body body) {
    loads.AddWorker([&](Worker& worker) {
        worker.finished = finished;
        worker.thread = std::thread(body);
        return true;
    });
}

void AddIdleWorker(Coordinator& loads, Flag finished) { AddWorker(loads, std::move(finished), [] {}); }

// A worker that "decodes" until it is superseded or done, then stores its result.
void StartWorker(Coordinator& loads, std::uint64_t generation, Flag finished, int steps) {
    AddWorker(loads, finished, [&loads, generation, finished, steps] {
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
    AddIdleWorker(loads, flag);

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
    AddIdleWorker(loads, flag);
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
    AddIdleWorker(loads, flag);
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
                StartWorker(loads, *started, flag, 50 + cycle % 7);
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
                    StartWorker(loads, *again, flag, 20);
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

TEST(LoadCoordinator, AWorkerThatDoesNotStartIsNotKept) {
    Coordinator loads;
    EXPECT_FALSE(loads.AddWorker([](Worker&) { return false; }));
    EXPECT_EQ(loads.WorkerCount(), 0u);
    EXPECT_THROW(loads.AddWorker([](Worker&) -> bool { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_EQ(loads.WorkerCount(), 0u);
    EXPECT_FALSE(loads.AnyRunning());
}
