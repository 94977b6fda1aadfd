#pragma once
// The bookkeeping of background loads, free of any Windows type so that its
// races can be tested natively: the generation that marks superseded work,
// the list of worker threads, the slot in which a finished load waits for the
// user-interface thread, and the one-slot queue of a full load requested
// while another runs. One plain mutex guards all of it; the generation is
// also published atomically for workers and decoders to read without it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace Quivane {

template <typename Result, typename Request>
class LoadCoordinator {
public:
    using Flag = std::shared_ptr<std::atomic<bool>>;

    LoadCoordinator() = default;
    LoadCoordinator(const LoadCoordinator&) = delete;
    LoadCoordinator& operator=(const LoadCoordinator&) = delete;
    ~LoadCoordinator() { StopAllWorkers(); }

    // Read by workers and by the decoders' stop condition, without the lock.
    const std::atomic<std::uint64_t>& CurrentGeneration() const { return currentGeneration; }

    // A full load supersedes everything before it. Returns its generation when
    // it may start now; while a worker runs the request is queued instead
    // (the newest request wins) and the result is empty.
    std::optional<std::uint64_t> BeginFullLoad(Request request) {
        std::lock_guard<std::mutex> lock(mutex);
        ClearResultLocked();
        const std::uint64_t started = AdvanceGenerationLocked();
        if (AnyRunningLocked()) {
            pending = std::move(request);
            return std::nullopt;
        }
        return started;
    }

    // A positioned load is dropped while any worker runs.
    std::optional<std::uint64_t> BeginPositionedLoad() {
        std::lock_guard<std::mutex> lock(mutex);
        if (AnyRunningLocked()) return std::nullopt;
        ClearResultLocked();
        return AdvanceGenerationLocked();
    }

    // Stores a finished (or failed) load when it is still current. A stale
    // result stays with the caller, which destroys it outside the lock.
    bool StoreResult(std::uint64_t generationOfLoad, Result& result) {
        std::lock_guard<std::mutex> lock(mutex);
        if (generationOfLoad != generation) return false;
        std::swap(slot, result); // the replaced result goes back to the caller
        ready = true;
        return true;
    }

    std::optional<Result> TakeResult() {
        std::lock_guard<std::mutex> lock(mutex);
        if (!ready) return std::nullopt;
        ready = false;
        std::optional<Result> taken(std::move(slot));
        slot = Result{};
        return taken;
    }

    // The queued request, once no worker runs.
    std::optional<Request> TakePendingIfIdle() {
        std::lock_guard<std::mutex> lock(mutex);
        if (!pending || AnyRunningLocked()) return std::nullopt;
        std::optional<Request> taken(std::move(pending));
        pending.reset();
        return taken;
    }

    void AddWorker(std::thread thread, Flag finished) {
        std::lock_guard<std::mutex> lock(mutex);
        workers.push_back(Worker{std::move(thread), std::move(finished)});
    }

    // Joins, outside the lock, every worker that has said it is finished.
    void ReapFinishedWorkers() {
        std::vector<std::thread> done;
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (auto it = workers.begin(); it != workers.end();) {
                if (it->finished->load()) {
                    if (it->thread.joinable()) done.push_back(std::move(it->thread));
                    it = workers.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (std::thread& thread : done) thread.join();
    }

    // Unload and destruction: every outstanding load becomes stale, the slot
    // and the queue are emptied. Returns what was in them, to be destroyed
    // by the caller outside the lock.
    std::pair<Result, std::optional<Request>> CancelAll() {
        std::lock_guard<std::mutex> lock(mutex);
        AdvanceGenerationLocked();
        ready = false;
        std::pair<Result, std::optional<Request>> dropped(std::move(slot), std::move(pending));
        slot = Result{};
        pending.reset();
        return dropped;
    }

    // Waits for every worker, running or not. `idle` runs while some still
    // run: a worker may be calling into the waiting thread's apartment (a
    // stream it was handed, say), so that thread must keep serving such calls
    // rather than block in a join. Once `giveUp` says so, the workers still
    // running are let go: a worker stuck inside a platform call that never
    // returns must not hang its host. Returns how many were let go; each owns
    // what it touches and ends on its own.
    template <typename Idle, typename GiveUp>
    std::size_t StopAllWorkers(Idle idle, GiveUp giveUp) {
        std::vector<Worker> all;
        {
            std::lock_guard<std::mutex> lock(mutex);
            all.swap(workers);
        }
        for (const Worker& worker : all) {
            while (!worker.finished->load() && !giveUp()) idle();
        }
        std::size_t abandoned = 0;
        for (Worker& worker : all) {
            if (!worker.thread.joinable()) continue;
            if (worker.finished->load()) {
                worker.thread.join();
            } else {
                worker.thread.detach();
                ++abandoned;
            }
        }
        return abandoned;
    }

    void StopAllWorkers() {
        StopAllWorkers([] { std::this_thread::yield(); }, [] { return false; });
    }

    bool AnyRunning() const {
        std::lock_guard<std::mutex> lock(mutex);
        return AnyRunningLocked();
    }

    std::size_t WorkerCount() const {
        std::lock_guard<std::mutex> lock(mutex);
        return workers.size();
    }

    bool HasPending() const {
        std::lock_guard<std::mutex> lock(mutex);
        return pending.has_value();
    }

private:
    struct Worker {
        std::thread thread;
        Flag finished;
    };

    bool AnyRunningLocked() const {
        for (const Worker& worker : workers) {
            if (!worker.finished->load()) return true;
        }
        return false;
    }

    std::uint64_t AdvanceGenerationLocked() {
        ++generation;
        currentGeneration.store(generation);
        return generation;
    }

    void ClearResultLocked() {
        ready = false;
        slot = Result{};
    }

    mutable std::mutex mutex;
    std::vector<Worker> workers;
    std::atomic<std::uint64_t> currentGeneration{0};
    Result slot{};
    bool ready = false;
    std::optional<Request> pending;
    std::uint64_t generation = 0;
};

} // namespace Quivane
