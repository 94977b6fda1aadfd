// Background loading: each load decodes on a worker thread of its own in the
// multithreaded apartment; the user-interface thread takes the result over.
#include "PreviewLoader.h"

#include "FrameBudgetSetting.h"
#include "platform/HResult.h"
#include "platform/SharedBytesStream.h"
#include "platform/StreamBytes.h"
#include "platform/StopResult.h"
#include "platform/StreamMarshal.h"
#include "formats/FormatTable.h"
#include "frames/FrameFeeder.h"
#include "frames/StoreMedia.h"
#include "formats/FormatSources.h"
#include "formats/video/VideoStill.h"


#include <chrono>
#include <exception>
#include <system_error>
#include <vector>

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

// How long Unload waits for a worker before letting it go.
constexpr ULONGLONG kWorkerPatienceMs = 2000;
// How long decoding ahead waits for the window's first picture (its Direct2D
// target is being made meanwhile, and a decode beside it slows it down).
constexpr std::chrono::milliseconds kDecodeAheadPatience{5000};

// What people are told of a picture: an animated PNG is told apart from a
// still one, as people know them apart.
MediaFacts PictureFacts(const FormatRow& format, const FrameSource& source, std::uint32_t width, std::uint32_t height) {
    MediaFacts facts;
    facts.format = format.name;
    if (facts.format == L"PNG" && source.FrameCount() > 1) facts.format = L"APNG";
    facts.width = width;
    facts.height = height;
    source.DescribeMedia(facts);
    return facts;
}

// Frame `index` of the file composed at full size by a source of its own.
HRESULT ReadWholeFrame(const FormatRow& format, const FileBytes& file, std::uint32_t index, FramePixels& frame) {
    std::unique_ptr<FrameSource> source = CreateFrameSource(format);
    if (!source) return E_OUTOFMEMORY;
    RETURN_IF_FAILED(source->OpenBytes(file));
    return source->ReadFrame(index, frame);
}

} // namespace

struct PreviewLoader::LoadJob {
    LoadJob(std::shared_ptr<LoadChannel> channel, std::uint64_t generation, MarshalledStream marshalled,
            std::wstring name, bool positioned, std::uint64_t position)
        : channel(std::move(channel)), generation(generation), marshalled(std::move(marshalled)), name(std::move(name)),
          positioned(positioned), position(position) {}

    // Stops once a newer load supersedes this one, or once a seek's time is up.
    StopToken Stop() const { return StopToken(&channel->loads.CurrentGeneration(), generation, deadline); }

    std::shared_ptr<LoadChannel> channel;
    std::uint64_t generation;
    MarshalledStream marshalled;
    std::wstring name;
    bool positioned;
    std::uint64_t position;
    std::uint64_t frameBudget = 0;
    std::optional<StopToken::Clock::time_point> deadline; // a seek's
};

PreviewLoader::PreviewLoader() : channel(std::make_shared<LoadChannel>()) {}

PreviewLoader::~PreviewLoader() { CancelAll(); }

void PreviewLoader::SetSource(IStream* stream, std::wstring streamName) {
    source = stream;
    name = std::move(streamName);
}

void PreviewLoader::ForgetSource() {
    source.Reset();
    name.clear();
}

void PreviewLoader::SetCompletionTarget(HWND target) {
    completionTarget = target;
    channel->completionTarget.store(target);
}

void PreviewLoader::CancelAll() {
    auto dropped = channel->loads.CancelAll();
    // Workers read the source stream through this apartment when it is not
    // free-threaded: the wait serves their calls, or the wait and a worker's
    // read would block each other for ever.
    const ULONGLONG giveUpAt = GetTickCount64() + kWorkerPatienceMs;
    const std::size_t abandoned = channel->loads.StopAllWorkers([giveUpAt](WorkerThread& worker) {
        const ULONGLONG now = GetTickCount64();
        return worker.Wait(now < giveUpAt ? static_cast<DWORD>(giveUpAt - now) : 0);
    });
    if (abandoned > 0) {
        // A worker stuck in the platform keeps the old channel and posts to no one.
        channel->completionTarget.store(nullptr);
        try {
            channel = std::make_shared<LoadChannel>();
        } catch (const std::exception&) {
            // Keep the old channel: the stale worker's result is refused by its generation.
        }
        channel->completionTarget.store(completionTarget);
    }
    // What was waiting in the slot or the queue dies here, outside the lock.
}

void PreviewLoader::StoreFailedStart(std::uint64_t generation, HRESULT hr) {
    LoadResult failed;
    failed.hr = hr;
    channel->loads.StoreResult(generation, failed);
    PostCompletion(*channel);
}

void PreviewLoader::Load() {
    if (source) StartLoad(source.Get(), name);
}

void PreviewLoader::StartLoad(IStream* loadSource, std::wstring loadName) {
    if (loadSource == nullptr) return;
    const auto generation = channel->loads.BeginFullLoad(LoadRequest{loadSource, loadName});
    if (!generation) return; // queued behind the running worker, which is now superseded
    LaunchWorker(*generation, loadSource, std::move(loadName), false, 0);
}

bool PreviewLoader::StartPositionedLoad(std::uint64_t position) {
    if (!source) return false;
    channel->loads.ReapFinishedWorkers();
    const auto generation = channel->loads.BeginPositionedLoad();
    if (!generation) return false; // another load runs: the seek is dropped
    LaunchWorker(*generation, source.Get(), name, true, position);
    return true;
}

void PreviewLoader::LaunchWorker(std::uint64_t generation, IStream* loadSource, std::wstring loadName,
                                 bool positioned, std::uint64_t position) {
    MarshalledStream marshalled;
    const HRESULT hr = marshalled.Marshal(loadSource);
    if (FAILED(hr)) {
        StoreFailedStart(generation, hr);
        return;
    }
    if (!positioned) channel->loads.ReapFinishedWorkers();
    HRESULT started = E_OUTOFMEMORY;
    try {
        auto job = std::make_unique<LoadJob>(channel, generation, std::move(marshalled), std::move(loadName),
                                             positioned, position);
        job->frameBudget = ReadFrameBudgetSetting();
        // A seek's time runs from when it was asked for: a read that hangs
        // before the decoder starts (the format's first bytes) counts too.
        if (positioned) job->deadline = StopToken::Clock::now() + std::chrono::milliseconds(kPositionedLoadBudgetMs);
        // The worker's place in the list is made before its thread starts.
        channel->loads.AddWorker([&](WorkerThread& worker) {
            started = worker.Start([job = std::move(job)]() mutable { RunLoadJob(std::move(job)); });
            return SUCCEEDED(started);
        });
    } catch (const std::exception&) {
        started = E_OUTOFMEMORY;
    }
    // No thread: the job, and the marshalled stream with it, went with the
    // failed start. The load ends as a failure, the usual way, so the indicator goes.
    if (FAILED(started)) StoreFailedStart(generation, started);
}

// A picture's frames go to a store the presenter shows from: the result goes
// out with frame 0, and the worker goes on decoding into the store.
HRESULT PreviewLoader::FeedPictureFrames(LoadJob& job, LoadResult& result, const FormatRow& format,
                                             const FileBytes& file, bool& published) {
    // The job holds the channel, so the generation the token watches outlives the feeding.
    const StopToken stop = job.Stop();
    std::unique_ptr<FrameSource> source = CreateFrameSource(format, stop);
    if (!source) return E_OUTOFMEMORY;
    RETURN_IF_FAILED(source->OpenBytes(file));
    auto store = std::make_shared<FrameStore>(source->FrameCount());
    store->HoldBackUntilShown(kDecodeAheadPatience);
    FrameFeeder feeder(*source, store, job.frameBudget, stop);
    RETURN_IF_FAILED(feeder.ReadFirstFrame());
    auto media = std::make_unique<StoreMedia>(store);
    result.facts = PictureFacts(format, *source, feeder.CanvasWidth(), feeder.CanvasHeight());
    media->SetFacts(result.facts);
    if (feeder.KeepsReducedFrames()) {
        // Saving and copying want the frame whole: it is composed again from
        // the file's bytes when its pixels are read, on the thread that reads them.
        media->SetWholeFrameReader(
            [file, row = &format](std::uint32_t index, FramePixels& frame) {
                return ReadWholeFrame(*row, file, index, frame);
            },
            feeder.CanvasWidth(), feeder.CanvasHeight());
    }
    result.media = std::move(media);
    result.hr = S_OK;
    FinishJob(job, result);
    published = true;
    return feeder.FeedRest();
}

HRESULT PreviewLoader::DecodeJob(LoadJob& job, LoadResult& result, IStream* hostStream, bool& published) {
    const StopToken stop = job.Stop();
    // Short reads, no size, no seeking: what a host's stream may do, made good here.
    ReadableStream readable;
    RETURN_IF_FAILED(OpenReadableStream(hostStream, readable, stop));
    IStream* stream = readable.stream.Get();
    result.sourceBytes = readable.bytes;
    // The content decides the format; the name only when the first bytes are not known.
    const FormatRow* format = ChooseFormatForStream(stream, job.name);
    if (format == nullptr) RETURN_FAILURE(kUnknownFormat);
    if (job.positioned || format->decodesFromStream) {
        VideoStill still;
        const HRESULT read = ReadVideoStill(*format, stream, job.positioned ? std::optional(job.position) : std::nullopt,
                                            still, stop);
        result.facts = still.facts;
        RETURN_IF_FAILED(read);
        result.media = CreateStillMedia(std::move(still));
        return S_OK;
    }
    FileBytes file = readable.bytes; // a stream that could not seek was read whole already
    if (!file) {
        auto bytes = std::make_shared<std::vector<std::uint8_t>>();
        RETURN_IF_FAILED(ReadWholeStream(stream, *bytes, stop));
        file = std::move(bytes);
    }
    if (stop.ShouldStop()) return StopResult(stop);
    return FeedPictureFrames(job, result, *format, file, published);
}

void PreviewLoader::RunLoadJob(std::unique_ptr<LoadJob> job) {
    ResetFailureRecord(); // the load's own failures, not an earlier load's on this thread
    const HRESULT initHr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    LoadResult result;
    result.hr = initHr;
    bool published = false; // the result went out with the first frame
    if (SUCCEEDED(initHr)) {
        ComPtr<IStream> stream;
        HRESULT hr = job->marshalled.Unmarshal(stream);
        const StopToken stop = job->Stop();
        if (SUCCEEDED(hr) && stop.ShouldStop()) hr = StopResult(stop);
        if (SUCCEEDED(hr)) {
            try {
                hr = DecodeJob(*job, result, stream.Get(), published);
            } catch (const std::exception&) {
                hr = E_OUTOFMEMORY;
            }
        }
        result.hr = hr;
    }
    if (FAILED(result.hr)) result.media.reset();
    job->marshalled.Reset(); // before COM is left: when the apartment could not be joined
    if (published) {
        PostCompletion(*job->channel); // a load queued behind this one may start
    } else {
        FinishJob(*job, result);
    }
    // A stale media is still here. It goes while this thread is still in
    // COM: a video's media pipeline torn down after CoUninitialize has crashed
    // the platform's media framework (a seek superseded by the next one).
    result.media.reset();
    if (SUCCEEDED(initHr)) CoUninitialize();
}

void PreviewLoader::FinishJob(LoadJob& job, LoadResult& result) {
    job.channel->loads.StoreResult(job.generation, result);
    // Posted whether or not the result was stored; a stale one is simply found empty.
    PostCompletion(*job.channel);
}

void PreviewLoader::PostCompletion(LoadChannel& channel) {
    if (HWND target = channel.completionTarget.load()) PostMessageW(target, WM_LOAD_COMPLETE, 0, 0);
}

std::optional<LoadResult> PreviewLoader::TakeResult() {
    std::optional<LoadResult> taken = channel->loads.TakeResult();
    channel->loads.ReapFinishedWorkers();
    if (taken && taken->sourceBytes) {
        // Without it, a later load reads the spent stream and fails by itself.
        ComPtr<IStream> kept;
        if (SUCCEEDED(CreateSharedBytesStream(taken->sourceBytes, kept.GetAddressOf()))) source = kept;
    }
    return taken;
}

bool PreviewLoader::StartPendingLoad() {
    std::optional<LoadRequest> next = channel->loads.TakePendingIfIdle();
    if (!next || !next->source) return false;
    StartLoad(next->source.Get(), std::move(next->name));
    return true;
}

} // namespace Quivane
