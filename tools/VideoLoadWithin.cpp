#include "VideoLoadWithin.h"

#include "ImageFiles.h"
#include "platform/HResult.h"
#include "platform/OwnedHandles.h"
#include "platform/StopResult.h"
#include "platform/StreamBytes.h"

#include <wrl/client.h>

#include <exception>
#include <optional>
#include <thread>

namespace QuivaneTool {
namespace {

using Microsoft::WRL::ComPtr;

// Shared by the caller and the worker: whichever lets go last frees it.
struct VideoLoadJob {
    std::wstring file;
    const Quivane::FormatRow* format = nullptr;
    double atSeconds = -1;
    DWORD deadlineMs = 0;
    HRESULT hr = E_FAIL;
    Quivane::VideoStill still;
    Quivane::UniqueHandle done;
};

HRESULT LoadOnThisThread(VideoLoadJob& job) {
    // A stream of the worker's own: nothing it reads belongs to the caller's
    // apartment. Read as the preview and the thumbnail read theirs.
    ComPtr<IStream> file;
    RETURN_IF_FAILED(OpenReadStream(job.file, file));
    Quivane::ReadableStream readable;
    RETURN_IF_FAILED(Quivane::OpenReadableStream(file.Get(), readable));
    IStream* stream = readable.stream.Get();
    const auto stop = Quivane::StopToken::Within(std::chrono::milliseconds(job.deadlineMs));
    std::optional<std::uint64_t> position;
    if (job.atSeconds >= 0) position = static_cast<std::uint64_t>(job.atSeconds * 1e7);
    const HRESULT hr = Quivane::ReadVideoStill(*job.format, stream, position, job.still, stop);
    if (FAILED(hr) && stop.ShouldStop()) return Quivane::StopResult(stop);
    return hr;
}

void RunVideoLoad(const std::shared_ptr<VideoLoadJob>& job) {
    const HRESULT initHr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    job->hr = initHr;
    if (SUCCEEDED(initHr)) {
        try {
            job->hr = LoadOnThisThread(*job);
        } catch (const std::exception&) {
            job->hr = E_OUTOFMEMORY;
        }
        CoUninitialize();
    }
    SetEvent(job->done.Get());
}

} // namespace

HRESULT LoadVideoWithin(const std::wstring& file, const Quivane::FormatRow& format, double atSeconds,
                        DWORD deadlineMs, Quivane::VideoStill& still) {
    auto job = std::make_shared<VideoLoadJob>();
    job->file = file;
    job->format = &format;
    job->atSeconds = atSeconds;
    job->deadlineMs = deadlineMs;
    job->done.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!job->done) return HResultFromLastError();
    std::thread worker([job] { RunVideoLoad(job); });
    // Our own decoding stops at the deadline; a platform call may not: a little more, then no more.
    if (WaitForSingleObject(job->done.Get(), deadlineMs + 2000) != WAIT_OBJECT_0) {
        worker.detach();
        return HRESULT_FROM_WIN32(WAIT_TIMEOUT);
    }
    worker.join();
    RETURN_IF_FAILED(job->hr);
    still = std::move(job->still);
    return S_OK;
}

} // namespace QuivaneTool
