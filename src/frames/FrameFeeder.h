#pragma once
// Decodes a frame source into a frame store on a load worker: frame 0 first,
// then whatever the store wants next, composing from the nearest checkpoint
// when playback moves back or jumps ahead.
#include "FrameBudget.h"
#include "FrameSource.h"
#include "FrameStore.h"

#include <memory>
#include <vector>

namespace Quivane {

class FrameFeeder {
public:
    // FeedRest gives up once `stop` says so; the source polls a token of its own.
    FrameFeeder(FrameSource& source, std::shared_ptr<FrameStore> store, std::uint64_t budgetBytes,
                const StopToken& stop = {});

    // Frame 0 into the store, and the plan its size sets.
    [[nodiscard]] HRESULT ReadFirstFrame();
    // Feeds the store until it holds every frame for good, closes, or the
    // load is stopped (StopResult). A frame that cannot be decoded ends
    // the animation before it.
    [[nodiscard]] HRESULT FeedRest();

    const FramePlan& Plan() const { return plan; }
    // The canvas is too large to keep whole frames of: the store holds them reduced.
    bool KeepsReducedFrames() const { return reduced; }
    std::uint32_t CanvasWidth() const { return canvasWidth; }
    std::uint32_t CanvasHeight() const { return canvasHeight; }

private:
    // Frame `index` as the store keeps it, noting the canvas's size.
    [[nodiscard]] HRESULT ReadKept(std::uint32_t index, FramePixels& frame);
    [[nodiscard]] HRESULT ReadUpTo(std::uint32_t target);
    [[nodiscard]] HRESULT ReadAt(std::uint32_t index, FramePixels& frame);
    void ResumeNear(std::uint32_t target);

    FrameSource& source;
    std::shared_ptr<FrameStore> store;
    std::uint64_t budgetBytes;
    StopToken stop;
    FramePlan plan;
    std::uint32_t count = 0;
    std::uint32_t position = 0; // the frame the source composes next for the cost of one
    bool reduced = false;
    std::uint32_t canvasWidth = 0;
    std::uint32_t canvasHeight = 0;
    std::vector<FrameCheckpoint> checkpoints; // [k]: before frame k * checkpointEvery
};

} // namespace Quivane
