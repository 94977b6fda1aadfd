#pragma once
// A video played in the pane. A worker decodes forward ahead of the clock
// into a small ring, and each tick of the window takes the frame due; nothing
// decodes on the window's thread. A pause ends the worker (decoding stops),
// a seek while playing restarts its decoding at the new position, and Stop
// (Unload, the window gone) waits for it a while and then lets it go. Every
// function runs on the window's thread.
#include "formats/video/VideoForwardDecoding.h"
#include "frames/VideoPlayout.h"
#include "platform/WorkerThread.h"

#include <windows.h>
#include <objidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <list>

namespace Quivane {

class VideoPlayer {
public:
    VideoPlayer() = default;
    ~VideoPlayer() { Stop(0); }
    VideoPlayer(const VideoPlayer&) = delete;
    VideoPlayer& operator=(const VideoPlayer&) = delete;

    // Plays `stream` with frames fitted in width x height at `speedPercent`:
    // its worker starts with StartAt once the worker before it has ended.
    void Play(IStream* stream, std::uint32_t width, std::uint32_t height, std::uint32_t speedPercent);
    bool ReadyToStart() const;
    // Starts decoding from `position`, the clock from `nowMs`.
    void StartAt(std::uint64_t position, std::uint64_t nowMs);
    // While playing: decoding starts again at `position`, and so does the clock.
    void Seek(std::uint64_t position, std::uint64_t nowMs);
    void SetSpeed(std::uint32_t speedPercent, std::uint64_t nowMs);
    // Decoding stops; the worker is told to end and is not waited for.
    void Pause();
    // Pause, then every worker is waited for up to `patienceMs` (serving this
    // apartment) and let go past it.
    void Stop(DWORD patienceMs);

    bool Playing() const { return playing_; }
    // A worker still runs (one ending after a pause, say).
    bool Busy() const;
    // The frame due at `nowMs`, if a new one is.
    std::optional<PlayedFrame> Tick(std::uint64_t nowMs);
    const VideoPlayout& Playout() const { return playout_; }

    struct Run; // what the window's thread and one worker share

private:
    void EndRun();
    void ReapEnded();

    Microsoft::WRL::ComPtr<IStream> stream_;
    ForwardDecodeRequest request_;
    std::uint32_t speedPercent_ = 100;
    bool playing_ = false;
    std::shared_ptr<Run> run_; // the worker's, while one decodes for this playing
    WorkerThread worker_;
    std::list<WorkerThread> ending_; // told to end, not yet ended
    VideoPlayout playout_;
};

} // namespace Quivane
