#include "FrameFeeder.h"

#include "imaging/AreaScale.h"
#include "platform/StopResult.h"
#include "platform/HResult.h"

#include <chrono>
#include <new>
#include <utility>

namespace Quivane {

namespace {
// How often an idle feeder looks whether its load was superseded.
constexpr std::chrono::milliseconds kIdleCheck{50};

// The frame as the store keeps it: whole, or scaled straight from the
// source's canvas when the canvas is too large to keep a frame of.
HRESULT KeepFrame(const FrameView& view, FramePixels& frame) {
    const KeptFrameSize kept = KeptFrameSizeFor(view.width, view.height);
    if (kept.width == view.width && kept.height == view.height) return CopyFrame(view, frame);
    frame.width = kept.width;
    frame.height = kept.height;
    frame.delayMs = view.delayMs;
    frame.pixels.resize(frame.Stride() * frame.height);
    return ScalePremultipliedBgra(view.pixels, view.width, view.height, view.Stride(), frame.pixels.data(),
                                  frame.width, frame.height, frame.Stride())
               ? S_OK
               : E_OUTOFMEMORY;
}
} // namespace

FrameFeeder::FrameFeeder(FrameSource& source, std::shared_ptr<FrameStore> store, std::uint64_t budgetBytes,
                         const StopToken& stop)
    : source(source), store(std::move(store)), budgetBytes(budgetBytes), stop(stop), count(source.FrameCount()) {}

HRESULT FrameFeeder::ReadKept(std::uint32_t index, FramePixels& frame) {
    if (count > 1) {
        return source.UseFrame(index, [&](const FrameView& view) {
            canvasWidth = view.width;
            canvasHeight = view.height;
            return KeepFrame(view, frame);
        });
    }
    // A still picture may stream its rows into the kept frame and never hold its whole canvas.
    return source.ScaleFrame(index, [&](std::uint32_t width, std::uint32_t height, std::uint32_t delayMs,
                                        ScaledFrameTarget& target) {
        canvasWidth = width;
        canvasHeight = height;
        const KeptFrameSize kept = KeptFrameSizeFor(width, height);
        frame.width = kept.width;
        frame.height = kept.height;
        frame.delayMs = delayMs;
        try {
            frame.pixels.resize(frame.Stride() * frame.height);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        target = ScaledFrameTarget{frame.width, frame.height, frame.pixels.data(), frame.Stride()};
        return S_OK;
    });
}

HRESULT FrameFeeder::ReadFirstFrame() {
    FramePixels first;
    RETURN_IF_FAILED(ReadKept(0, first));
    const std::uint64_t canvasBytes = static_cast<std::uint64_t>(canvasWidth) * canvasHeight * 4;
    reduced = first.pixels.size() < canvasBytes;
    plan = PlanFrames(count, first.pixels.size(), budgetBytes, source.ReadsAnyFrameDirectly(), canvasBytes);
    if (plan.checkpointEvery != 0) checkpoints.resize(CheckpointCount(count, plan) + 1);
    store->SetPlan(plan);
    store->Put(0, std::move(first));
    position = 1;
    return S_OK;
}

// Reads one frame, saving the checkpoint that lies right after it.
HRESULT FrameFeeder::ReadAt(std::uint32_t index, FramePixels& frame) {
    RETURN_IF_FAILED(ReadKept(index, frame));
    position = index + 1;
    if (plan.checkpointEvery != 0 && position % plan.checkpointEvery == 0) {
        const std::uint32_t slot = position / plan.checkpointEvery;
        if (slot < checkpoints.size() && checkpoints[slot].canvas.empty()) {
            // Without it, frames after it are composed from further back: slower, not wrong.
            if (FAILED(source.SaveCheckpoint(checkpoints[slot]))) checkpoints[slot] = FrameCheckpoint{};
        }
    }
    return S_OK;
}

// Moves the source to the best saved state at or before `target`: a saved
// canvas, or a frame that needs none before it.
void FrameFeeder::ResumeNear(std::uint32_t target) {
    const std::uint32_t selfContained = source.SelfContainedFrameAtOrBefore(target);
    if (plan.checkpointEvery != 0) {
        for (std::uint32_t slot = target / plan.checkpointEvery; slot >= 1; --slot) {
            const FrameCheckpoint& checkpoint = checkpoints[slot];
            if (checkpoint.canvas.empty()) continue;
            if (checkpoint.nextFrame <= selfContained) break; // that frame is nearer
            if (checkpoint.nextFrame <= position && target >= position) return; // going on is cheaper
            if (SUCCEEDED(source.ResumeFrom(checkpoint))) {
                position = checkpoint.nextFrame;
                return;
            }
        }
    }
    if (selfContained <= position && target >= position) return;
    if (selfContained > 0 && SUCCEEDED(source.ResumeAtSelfContainedFrame(selfContained))) {
        position = selfContained;
        return;
    }
    if (target < position) position = 0; // the source starts again by itself
}

HRESULT FrameFeeder::ReadUpTo(std::uint32_t target) {
    FramePixels frame;
    if (!source.ReadsAnyFrameDirectly()) {
        ResumeNear(target);
        // One frame at a time, so checkpoints on the way are saved and wanted frames kept.
        while (position < target) {
            RETURN_IF_FAILED(ReadAt(position, frame));
            const std::uint32_t read = position - 1;
            if (store->Wants(read)) store->Put(read, std::move(frame));
        }
    }
    RETURN_IF_FAILED(ReadAt(target, frame));
    store->Put(target, std::move(frame));
    return S_OK;
}

HRESULT FrameFeeder::FeedRest() {
    for (;;) {
        if (stop.ShouldStop()) return StopResult(stop);
        const std::optional<std::uint32_t> wanted = store->NextWanted();
        if (!wanted) {
            if (plan.keepAll || store->Closed()) return S_OK;
            store->WaitForWork(kIdleCheck);
            continue;
        }
        // The frame after the first is decoded at once, so that playback can go on from the first.
        if (*wanted > 1 && store->HoldingBack()) {
            store->WaitWhileHoldingBack(kIdleCheck);
            continue;
        }
        const HRESULT hr = ReadUpTo(*wanted);
        if (IsStop(hr)) return hr;
        if (FAILED(hr)) {
            // Frames before the damage still play.
            const std::uint32_t end = *wanted < position ? *wanted : position;
            if (end == 0) return hr;
            store->EndAt(end);
        }
    }
}

} // namespace Quivane
