#include "VideoPlayer.h"

#include "platform/Failure.h"
#include "platform/StreamMarshal.h"

#include <condition_variable>
#include <exception>
#include <mutex>

namespace Quivane {

using Microsoft::WRL::ComPtr;

// What the window's thread and one worker share; the worker holds it too,
// so a worker let go never touches a player that is gone.
struct VideoPlayer::Run {
    VideoFrameRing ring;
    std::atomic<std::uint64_t> generation{0}; // a new request or the end stops the decoding under way
    std::mutex mutex;
    std::condition_variable wake;
    std::optional<ForwardDecodeRequest> request; // guarded by mutex
    bool quit = false;                           // guarded by mutex
    MarshalledStream marshalled;

    void Ask(std::optional<ForwardDecodeRequest> next, bool end) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            request = std::move(next);
            quit = quit || end;
            ++generation;
        }
        ring.Clear(); // after the generation moved: no frame of the stopped decoding lands later
        wake.notify_all();
    }
};

namespace {

void DecodeRequests(VideoPlayer::Run& run, PlayingVideo& video);

// The worker: opens the file once, then decodes each request until the next
// one or the end. What it holds of the platform goes while it is in COM.
void RunPlayback(const std::shared_ptr<VideoPlayer::Run>& run) {
    ResetFailureRecord();
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
    {
        ComPtr<IStream> stream;
        PlayingVideo video;
        try {
            if (SUCCEEDED(run->marshalled.Unmarshal(stream)) && SUCCEEDED(video.Open(stream.Get()))) {
                DecodeRequests(*run, video);
            }
        } catch (const std::exception&) {
            // Out of memory for a frame: playing ends here, the host goes on, the last frame stays.
        }
    }
    run->marshalled.Reset();
    CoUninitialize();
}

void DecodeRequests(VideoPlayer::Run& run, PlayingVideo& video) {
    for (;;) {
        ForwardDecodeRequest request;
        std::uint64_t generation = 0;
        {
            std::unique_lock<std::mutex> lock(run.mutex);
            run.wake.wait(lock, [&] { return run.quit || run.request.has_value(); });
            if (run.quit) return;
            request = *run.request;
            run.request.reset();
            generation = run.generation.load();
        }
        // A failure (a file that holds no frame) waits for the next request.
        static_cast<void>(video.Play(request, run.ring, StopToken(&run.generation, generation)));
    }
}

} // namespace

void VideoPlayer::Play(IStream* stream, std::uint32_t width, std::uint32_t height, std::uint32_t speedPercent) {
    EndRun();
    stream_ = stream;
    request_.maxWidth = width;
    request_.maxHeight = height;
    speedPercent_ = speedPercent;
    playing_ = stream != nullptr;
}

bool VideoPlayer::ReadyToStart() const {
    if (!playing_ || run_) return false;
    for (const WorkerThread& worker : ending_) {
        if (worker.Running()) return false;
    }
    return true;
}

void VideoPlayer::StartAt(std::uint64_t position, std::uint64_t nowMs) {
    ReapEnded();
    if (!ReadyToStart()) return;
    playout_.ResetCounts();
    playout_.Start(position, nowMs, speedPercent_);
    request_.from = position;
    try {
        auto run = std::make_shared<Run>();
        if (FAILED(run->marshalled.Marshal(stream_.Get()))) {
            playing_ = false;
            return;
        }
        run->request = request_;
        if (FAILED(worker_.Start([run] { RunPlayback(run); }))) {
            playing_ = false;
            return;
        }
        run_ = std::move(run);
    } catch (const std::exception&) {
        playing_ = false; // no memory: the still stays
    }
}

void VideoPlayer::Seek(std::uint64_t position, std::uint64_t nowMs) {
    if (!playing_) return;
    request_.from = position;
    playout_.Start(position, nowMs, speedPercent_);
    if (run_) run_->Ask(request_, false);
}

void VideoPlayer::SetSpeed(std::uint32_t speedPercent, std::uint64_t nowMs) {
    speedPercent_ = speedPercent;
    playout_.SetSpeed(speedPercent, nowMs);
}

void VideoPlayer::EndRun() {
    if (run_) {
        run_->Ask(std::nullopt, true);
        try {
            ending_.push_back(std::move(worker_));
        } catch (const std::exception&) {
            worker_.LetGo(); // it ends by itself, keeping the library meanwhile
        }
        // A worker moved from holds no thread: the next Start uses it afresh.
    }
    run_.reset();
}

void VideoPlayer::Pause() {
    EndRun();
    playing_ = false;
}

void VideoPlayer::Stop(DWORD patienceMs) {
    Pause();
    stream_.Reset();
    const ULONGLONG giveUpAt = GetTickCount64() + patienceMs;
    for (WorkerThread& worker : ending_) {
        const ULONGLONG now = GetTickCount64();
        if (!worker.Wait(now < giveUpAt ? static_cast<DWORD>(giveUpAt - now) : 0)) worker.LetGo();
    }
    ending_.clear();
}

bool VideoPlayer::Busy() const {
    if (run_) return true;
    for (const WorkerThread& worker : ending_) {
        if (worker.Running()) return true;
    }
    return false;
}

void VideoPlayer::ReapEnded() {
    for (auto it = ending_.begin(); it != ending_.end();) {
        if (it->Running()) {
            ++it;
            continue;
        }
        it->Join();
        it = ending_.erase(it);
    }
}

std::optional<PlayedFrame> VideoPlayer::Tick(std::uint64_t nowMs) {
    ReapEnded();
    if (!run_) return std::nullopt;
    return playout_.Tick(run_->ring, nowMs);
}

} // namespace Quivane
