#pragma once
// The background loads of one preview: the file being shown, the worker
// threads that decode it in the multithreaded apartment, and the channel
// through which a finished load reaches the user-interface thread. Every
// function but the workers' own runs on that thread.
#include "LoadCoordinator.h"
#include "platform/WorkerThread.h"
#include "frames/FrameSource.h"
#include "frames/DecodedMedia.h"

#include <windows.h>
#include <objidl.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace Quivane {

struct FormatRow;
// Posted to the completion target when a load has a result to take.
constexpr UINT WM_LOAD_COMPLETE = WM_APP + 23;
// A video's seek that has no still by then fails, and the bar goes back to the still shown.
constexpr std::uint64_t kPositionedLoadBudgetMs = 2000;

struct LoadResult {
    std::unique_ptr<DecodedMedia> media;
    HRESULT hr = E_FAIL;
    // What the load learnt of the media, for people: kept when it failed too
    // (a video's codec that no decoder takes, say).
    MediaFacts facts;
    // The host's stream could not seek and was read whole: later loads (a
    // seek, a reload) read these bytes, since the stream itself is used up.
    FileBytes sourceBytes;
};

struct LoadRequest {
    Microsoft::WRL::ComPtr<IStream> source;
    std::wstring name;
};

// What a loader and its workers share. Each worker holds it too, so a worker
// let go while stuck in the platform never touches a loader that is gone.
struct LoadChannel {
    LoadCoordinator<LoadResult, LoadRequest, WorkerThread> loads;
    // Where workers post WM_LOAD_COMPLETE; null posts nowhere.
    std::atomic<HWND> completionTarget{nullptr};
};

class PreviewLoader {
public:
    PreviewLoader();
    ~PreviewLoader();
    PreviewLoader(const PreviewLoader&) = delete;
    PreviewLoader& operator=(const PreviewLoader&) = delete;

    // The file to show; a later load, a seek or a reload reads it.
    void SetSource(IStream* stream, std::wstring name);
    void ForgetSource();
    bool HasSource() const { return source != nullptr; }
    IStream* Source() const { return source.Get(); }
    const std::wstring& Name() const { return name; }

    // A full load of the source, superseding everything before it.
    void Load();
    // A full load of another stream (the newest request wins).
    void StartLoad(IStream* stream, std::wstring name);
    // A video's still at `position`; false when dropped because a load runs.
    bool StartPositionedLoad(std::uint64_t position);
    // The finished load, if one waits; a source read whole is kept for later loads.
    std::optional<LoadResult> TakeResult();
    // Starts the full load queued behind a worker that has now ended; true if one started.
    bool StartPendingLoad();
    // Every load becomes stale and every worker is waited for, up to the worker
    // patience; a worker that stays is let go with the old channel.
    void CancelAll();

    // Where the completion notice goes; kept across a channel that is replaced.
    void SetCompletionTarget(HWND target);
    // Whether a worker still runs (decoding ahead of playback, say).
    bool AnyRunning() const { return channel->loads.AnyRunning(); }

private:
    struct LoadJob;
    static void RunLoadJob(std::unique_ptr<LoadJob> job);
    [[nodiscard]] static HRESULT DecodeJob(LoadJob& job, LoadResult& result, IStream* stream, bool& published);
    [[nodiscard]] static HRESULT FeedPictureFrames(LoadJob& job, LoadResult& result, const FormatRow& format,
                                                   const FileBytes& file, bool& published);
    static void FinishJob(LoadJob& job, LoadResult& result);
    static void PostCompletion(LoadChannel& channel);
    void LaunchWorker(std::uint64_t generation, IStream* source, std::wstring name, bool positioned,
                      std::uint64_t position);
    void StoreFailedStart(std::uint64_t generation, HRESULT hr);

    Microsoft::WRL::ComPtr<IStream> source;
    std::wstring name;
    HWND completionTarget = nullptr;
    std::shared_ptr<LoadChannel> channel;
};

} // namespace Quivane
