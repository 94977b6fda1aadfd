#include "PlatformCallWatch.h"

#include "platform/StopResult.h"
#include "platform/Failure.h"
#include "platform/HResult.h"
#include "platform/WorkerThread.h"

#include <objbase.h>

#include <exception>
#include <optional>

namespace Quivane {
namespace {

// How often the caller looks at its token and at the platform's last answer.
constexpr DWORD kWaitSliceMs = 10;

// Shared by the caller and the worker: whichever lets go last frees it.
struct WatchedCall {
    std::function<HRESULT(const StopToken&)> call;
    std::atomic<std::uint64_t> stopped{0}; // the call's own token watches this
    HRESULT hr = E_FAIL;
    std::optional<FailurePlace> failure;
};

void RunWatchedCall(WatchedCall& job) {
    ResetFailureRecord();
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    job.hr = init;
    if (FAILED(init)) return;
    try {
        job.hr = job.call(StopToken(&job.stopped, 0));
    } catch (const std::exception&) {
        job.hr = E_OUTOFMEMORY;
    }
    if (FAILED(job.hr)) job.failure = RecordedFailure();
    job.call = nullptr; // what it holds of the platform goes while this thread is in COM
    CoUninitialize();
}

} // namespace

HRESULT CallPlatformWatched(std::function<HRESULT(const StopToken&)> call,
                            const std::shared_ptr<PlatformProgress>& progress, const StopToken& stop) {
    std::shared_ptr<WatchedCall> job;
    try {
        job = std::make_shared<WatchedCall>();
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    job->call = std::move(call);
    progress->Note(); // the wait for an answer starts now
    // A load stopped already (its deadline passed while an earlier call ran) is stopped for the call from its start.
    if (stop.ShouldStop()) job->stopped.store(1);
    WorkerThread worker;
    RETURN_IF_FAILED(worker.Start([job] { RunWatchedCall(*job); }));
    // The wait serves this thread's apartment: the call may read a stream it serves.
    while (!worker.Wait(kWaitSliceMs)) {
        // A stopped load ends at the call's next look at its token, as it would on this thread.
        if (stop.ShouldStop()) job->stopped.store(1);
        if (GetTickCount64() - progress->Last() < kPlatformStallMs) continue;
        if (worker.Wait(0)) break; // it came back just now after all
        worker.LetGo(); // its thread keeps the call and this library until it returns
        RETURN_FAILURE(HRESULT_FROM_WIN32(WAIT_TIMEOUT));
    }
    if (job->failure) AdoptFailure(*job->failure); // this thread says where it failed
    if (FAILED(job->hr) && stop.ShouldStop()) return StopResult(stop);
    return job->hr;
}

} // namespace Quivane
