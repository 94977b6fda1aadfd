#include "PlatformCallWatch.h"

#include "platform/StopResult.h"
#include "platform/Failure.h"
#include "platform/HResult.h"
#include "platform/OwnedHandles.h"
#include "platform/ServerLifetime.h"

#include <objbase.h>

#include <exception>
#include <optional>
#include <thread>

namespace Quivane {
namespace {

enum CallState : int { kRunning, kLeft, kReturned };

std::atomic<LONG> leftRunning{0};

// Shared by the caller and the thread: whichever lets go last frees it.
struct WatchedCall {
    std::function<HRESULT(const StopToken&)> call;
    std::atomic<std::uint64_t> stopped{0}; // the call's own token watches this
    HRESULT hr = E_FAIL;
    std::optional<FailurePlace> failure;
    UniqueHandle done;
    std::atomic<int> state{kRunning};
    ServerModuleLock serverLock; // the library stays while the thread runs
};

void RunWatchedCall(const std::shared_ptr<WatchedCall>& job) {
    ResetFailureRecord();
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    job->hr = init;
    if (SUCCEEDED(init)) {
        try {
            job->hr = job->call(StopToken(&job->stopped, 0));
        } catch (const std::exception&) {
            job->hr = E_OUTOFMEMORY;
        }
        if (FAILED(job->hr)) job->failure = RecordedFailure();
        job->call = nullptr; // what it holds of the platform goes while this thread is in COM
        CoUninitialize();
    }
    SetEvent(job->done.Get());
    if (job->state.exchange(kReturned) == kLeft) --leftRunning;
}

// Waits a slice for the call, serving this thread's apartment meanwhile (the
// call may read a stream this thread serves). True once it has returned.
bool WaitSlice(HANDLE done) {
    DWORD index = 0;
    const HRESULT waited = CoWaitForMultipleHandles(0, 10, 1, &done, &index);
    if (waited == S_OK) return true;
    if (waited == RPC_S_CALLPENDING) return false;
    return WaitForSingleObject(done, 10) == WAIT_OBJECT_0; // outside COM
}

} // namespace

HRESULT CallPlatformWatched(std::function<HRESULT(const StopToken&)> call,
                            const std::shared_ptr<PlatformProgress>& progress, const StopToken& stop) {
    auto job = std::make_shared<WatchedCall>();
    job->call = std::move(call);
    job->done.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!job->done) return HResultFromLastError();
    progress->Note(); // the wait for an answer starts now
    // A load stopped already (its deadline passed while an earlier call ran) is stopped for the call from its start.
    if (stop.ShouldStop()) job->stopped.store(1);
    std::thread worker;
    try {
        worker = std::thread([job] { RunWatchedCall(job); });
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    while (!WaitSlice(job->done.Get())) {
        // A stopped load ends at the call's next look at its token, as it would on this thread.
        if (stop.ShouldStop()) job->stopped.store(1);
        if (GetTickCount64() - progress->Last() < kPlatformStallMs) continue;
        ++leftRunning;
        if (job->state.exchange(kLeft) == kReturned) {
            --leftRunning; // it came back just now after all
            break;
        }
        worker.detach();
        PinThisModule(); // its code must stay loaded until it returns
        RETURN_FAILURE(HRESULT_FROM_WIN32(WAIT_TIMEOUT));
    }
    worker.join();
    if (job->failure) AdoptFailure(*job->failure); // this thread says where it failed
    if (FAILED(job->hr) && stop.ShouldStop()) return StopResult(stop);
    return job->hr;
}

LONG PlatformCallsLeftRunning() { return leftRunning.load(); }

} // namespace Quivane
