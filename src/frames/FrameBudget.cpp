#include "FrameBudget.h"

#include "imaging/CanvasLimits.h"

#include <algorithm>
#include <cmath>

namespace Quivane {

std::uint64_t EffectiveFrameBudget(std::uint64_t configuredBytes, std::uint64_t physicalBytes) {
    const std::uint64_t wanted = configuredBytes != 0 ? configuredBytes : kDefaultFrameBudgetBytes;
    return physicalBytes != 0 ? std::min(wanted, physicalBytes / 4) : wanted;
}

std::uint32_t CheckpointCount(std::uint32_t frameCount, const FramePlan& plan) {
    if (plan.keepAll || plan.checkpointEvery == 0 || frameCount == 0) return 0;
    return (frameCount - 1) / plan.checkpointEvery;
}

FramePlan PlanFrames(std::uint32_t frameCount, std::uint64_t frameBytes, std::uint64_t budgetBytes,
                     bool readsAnyFrameDirectly, std::uint64_t checkpointBytes) {
    FramePlan plan;
    frameBytes = std::max<std::uint64_t>(frameBytes, 1);
    const std::uint64_t canvasBytes = checkpointBytes != 0 ? checkpointBytes : frameBytes;
    if (frameCount == 0 || frameBytes * frameCount <= budgetBytes) {
        plan.window = frameCount;
        return plan;
    }
    plan.keepAll = false;
    std::uint64_t checkpointTotal = 0;
    if (!readsAnyFrameDirectly) {
        // Half the budget for checkpoints, spread evenly; the other half for the window.
        const std::uint64_t affordable = budgetBytes / 2 / canvasBytes;
        if (affordable >= 1) {
            plan.checkpointEvery =
                static_cast<std::uint32_t>((frameCount + affordable) / (affordable + 1)); // ceil(n / (k + 1))
            plan.checkpointEvery = std::max<std::uint32_t>(plan.checkpointEvery, 1);
            checkpointTotal = static_cast<std::uint64_t>(CheckpointCount(frameCount, plan)) * canvasBytes;
        }
    }
    const std::uint64_t left = budgetBytes > checkpointTotal ? budgetBytes - checkpointTotal : 0;
    // Never fewer than the frame on screen and the next: playback waits for the next frame to be held.
    plan.window = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::max<std::uint64_t>(left / frameBytes, 2), frameCount));
    return plan;
}

KeptFrameSize KeptFrameSizeFor(std::uint32_t width, std::uint32_t height) {
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
    const std::uint32_t longer = std::max(width, height);
    if (pixels <= kWholeFramePixelsAtMost && longer <= kMaxCanvasSide) return {width, height};
    double scale = pixels > kWholeFramePixelsAtMost
                       ? std::sqrt(static_cast<double>(kReducedFramePixels) / static_cast<double>(pixels))
                       : 1.0;
    // A long thin picture of few pixels still has to fit the largest bitmap drawn.
    scale = std::min(scale, static_cast<double>(kMaxCanvasSide) / static_cast<double>(longer));
    KeptFrameSize kept;
    kept.width = std::clamp<std::uint32_t>(static_cast<std::uint32_t>(width * scale), 1, kMaxCanvasSide);
    kept.height = std::clamp<std::uint32_t>(static_cast<std::uint32_t>(height * scale), 1, kMaxCanvasSide);
    return kept;
}

} // namespace Quivane
