#pragma once
// A thread for one job that may outlast the patience of whoever waits for it:
// a platform call inside it may never return. Whoever waits serves meanwhile
// what other threads ask of the waiting thread (COM calls into its apartment,
// messages sent to its windows), since the job may be asking; past the
// patience the thread is let go, and this library stays loaded until the
// job returns.
#include "OwnedHandles.h"
#include "ServerLifetime.h"

#include <windows.h>

#include <exception>
#include <memory>
#include <thread>
#include <utility>

namespace Quivane {

class WorkerThread {
public:
    WorkerThread() = default;
    // A worker still running is let go.
    ~WorkerThread() { LetGo(); }
    WorkerThread(WorkerThread&& other) noexcept = default;
    WorkerThread& operator=(WorkerThread&& other) = delete;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs `job` on a thread of its own, which keeps this library loaded and
    // signals its done event once `job` has returned. A job that cannot start
    // is destroyed here. One job per worker; a finished one may be replaced.
    template <typename Job>
    [[nodiscard]] HRESULT Start(Job job) {
        if (Running()) return E_UNEXPECTED;
        LetGo();
        try {
            auto done = std::make_shared<UniqueHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
            if (!*done) return HRESULT_FROM_WIN32(GetLastError());
            thread_ = std::thread([done, job = std::move(job)]() mutable {
                ServerModuleLock moduleLock; // the library stays while the job runs
                {
                    Job ran = std::move(job);
                    ran(); // what the job holds goes before it says it is done
                }
                SetEvent(done->Get());
            });
            done_ = std::move(done);
        } catch (const std::exception&) {
            return E_OUTOFMEMORY; // no memory, or no thread: the job was never run
        }
        return S_OK;
    }

    // Started and not yet finished.
    bool Running() const;
    // Waits up to `patienceMs` for the job, serving meanwhile what other
    // threads ask of this one. True once it has finished (its thread is then
    // joined), or when none was started.
    bool Wait(DWORD patienceMs);
    // For a job known to be ending (it has handed over its result): its last
    // steps are waited for, serving nothing.
    void Join();
    // No more waiting: a finished thread is joined, one still running is let
    // go, and this library stays loaded for it.
    void LetGo();

private:
    std::thread thread_;
    std::shared_ptr<UniqueHandle> done_; // shared with the thread, which may outlive this
};

} // namespace Quivane
