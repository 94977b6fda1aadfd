#pragma once
// The bookkeeping of background loads, free of any Windows type so that its
// races can be tested natively: the generation that marks superseded work,
// the list of workers, the slot in which a finished load waits for the
// user-interface thread, and the one-slot queue of a full load requested
// while another runs. One plain mutex guards all of it; the generation is
// also published atomically for workers and decoders to read without it.
#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <utility>

namespace Quivane {

// A Worker is default-constructible and says whether it is Running(); a
// worker dropped from the list waits for its thread or lets it go, as its
// type does.
template <typename Result, typename Request, typename Worker>
class LoadCoordinator {
public:
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

    // Makes room for a worker, then has `start(worker)` start it there, so
    // that a list that cannot grow throws (std::bad_alloc) before any thread
    // runs. When `start` returns false nothing was started and nothing is kept.
    template <typename Start>
    bool AddWorker(Start start) {
        std::lock_guard<std::mutex> lock(mutex);
        workers.emplace_back();
        bool started = false;
        try {
            started = start(workers.back());
        } catch (...) {
            workers.pop_back();
            throw;
        }
        if (!started) workers.pop_back();
        return started;
    }

    // Drops, outside the lock, every worker that has finished.
    void ReapFinishedWorkers() {
        std::list<Worker> done;
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (auto it = workers.begin(); it != workers.end();) {
                auto next = std::next(it);
                if (!it->Running()) done.splice(done.end(), workers, it);
                it = next;
            }
        }
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

    // Takes every worker off the list and has `wait(worker)` wait for each,
    // outside the lock; it answers whether the worker finished. Those that
    // did not are let go as they are dropped. Returns how many were let go.
    template <typename Wait>
    std::size_t StopAllWorkers(Wait wait) {
        std::list<Worker> all;
        {
            std::lock_guard<std::mutex> lock(mutex);
            all.splice(all.end(), workers);
        }
        std::size_t abandoned = 0;
        for (Worker& worker : all) abandoned += wait(worker) ? 0 : 1;
        return abandoned;
    }

    void StopAllWorkers() {
        StopAllWorkers([](const Worker&) { return true; });
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
    bool AnyRunningLocked() const {
        for (const Worker& worker : workers) {
            if (worker.Running()) return true;
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
    std::list<Worker> workers; // a list: dropping some never moves the others
    std::atomic<std::uint64_t> currentGeneration{0};
    Result slot{};
    bool ready = false;
    std::optional<Request> pending;
    std::uint64_t generation = 0;
};

} // namespace Quivane
