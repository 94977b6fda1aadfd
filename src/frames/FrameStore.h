#pragma once
// The composited frames of one preview, shared by the worker that decodes
// them and the user-interface thread that shows them. The plan decides which
// frames stay: all of them, or a window from the playhead on (wrapping to
// the first frame) that moves with it. Free of Windows types so that its
// races are tested natively.
#include "FrameBudget.h"
#include "FramePixels.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace Quivane {

class FrameStore {
public:
    explicit FrameStore(std::uint64_t frameCount);
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;

    // The decoding side.
    void SetPlan(const FramePlan& plan);
    // Keeps the frame when the plan wants it now; its delay is kept either way.
    bool Put(std::uint32_t index, FramePixels&& frame);
    bool Wants(std::uint32_t index) const;
    // The wanted frame nearest the playhead, if any.
    std::optional<std::uint32_t> NextWanted() const;
    // Waits until a frame is wanted, the store closes or `timeout` passes.
    void WaitForWork(std::chrono::milliseconds timeout);
    // The file's frames end before `count` (a damaged tail): none after it is shown.
    void EndAt(std::uint64_t count);
    bool Closed() const;
    // Decoding ahead is held back until a frame goes to the screen or the
    // playhead moves, for at most `patience`: until then it would only slow
    // the window's start, which shares the processor with it.
    void HoldBackUntilShown(std::chrono::milliseconds patience);
    bool HoldingBack() const;
    // Waits until the hold ends, the store closes or `timeout` passes.
    void WaitWhileHoldingBack(std::chrono::milliseconds timeout);

    // The showing side.
    std::uint64_t FrameCount() const;
    // The frame's pixels, or null while it is not held.
    std::shared_ptr<const FramePixels> Frame(std::uint32_t index) const;
    bool Has(std::uint32_t index) const;
    // The frame's delay once it has been decoded; 100 ms before.
    std::uint32_t DelayMs(std::uint32_t index) const;
    void SetPlayhead(std::uint32_t index);
    // A frame is handed out to be drawn: the window has started.
    void FrameShown();
    // Nothing more is wanted: the decoding side stops.
    void Close();

    std::uint64_t HeldBytes() const;
    std::uint32_t HeldFrames() const;

private:
    bool InWindowLocked(std::uint32_t index) const;
    bool WantsLocked(std::uint32_t index) const;
    std::optional<std::uint32_t> NextWantedLocked() const;
    void DropLocked(std::uint32_t index);

    mutable std::mutex mutex;
    std::condition_variable workChanged;
    std::vector<std::shared_ptr<const FramePixels>> frames;
    std::vector<std::uint32_t> delays; // 0 until the frame is decoded
    FramePlan plan;
    std::uint64_t count;
    std::uint32_t playhead = 0;
    std::uint64_t heldBytes = 0;
    std::uint32_t heldFrames = 0;
    bool closed = false;
    bool holdingBack = false;
    std::chrono::steady_clock::time_point holdEnds;
};

} // namespace Quivane
