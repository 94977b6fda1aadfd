#include "FrameBudget.h"

#include <algorithm>

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
                     bool readsAnyFrameDirectly) {
    FramePlan plan;
    frameBytes = std::max<std::uint64_t>(frameBytes, 1);
    if (frameCount == 0 || frameBytes * frameCount <= budgetBytes) {
        plan.window = frameCount;
        return plan;
    }
    plan.keepAll = false;
    std::uint64_t checkpointBytes = 0;
    if (!readsAnyFrameDirectly) {
        // Half the budget for checkpoints, spread evenly; the other half for the window.
        const std::uint64_t affordable = budgetBytes / 2 / frameBytes;
        if (affordable >= 1) {
            plan.checkpointEvery =
                static_cast<std::uint32_t>((frameCount + affordable) / (affordable + 1)); // ceil(n / (k + 1))
            plan.checkpointEvery = std::max<std::uint32_t>(plan.checkpointEvery, 1);
            checkpointBytes = static_cast<std::uint64_t>(CheckpointCount(frameCount, plan)) * frameBytes;
        }
    }
    const std::uint64_t left = budgetBytes > checkpointBytes ? budgetBytes - checkpointBytes : 0;
    // Never fewer than the frame on screen and the next: playback waits for the next frame to be held.
    plan.window = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::max<std::uint64_t>(left / frameBytes, 2), frameCount));
    return plan;
}

} // namespace Quivane
