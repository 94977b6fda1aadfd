#pragma once
// How many composited frames a preview keeps: all of them while they fit its
// byte budget; beyond it, a window of frames from the playhead on plus canvas
// checkpoints from which any other frame is composed again.
#include <cstdint>

namespace Quivane {

constexpr std::uint64_t kDefaultFrameBudgetBytes = 256ull << 20;

// The budget in force: the configured one (0: the default), never more than
// a quarter of the machine's physical memory (0: not known).
std::uint64_t EffectiveFrameBudget(std::uint64_t configuredBytes, std::uint64_t physicalBytes);

struct FramePlan {
    bool keepAll = true;               // every frame stays once decoded
    std::uint32_t window = 0;          // otherwise the frames kept from the playhead on (at least 2)
    std::uint32_t checkpointEvery = 0; // a canvas saved before every this many frames; 0: none
};

// `frameBytes` is one composited frame (and one checkpoint); a source that
// reads any frame directly needs no checkpoints.
FramePlan PlanFrames(std::uint32_t frameCount, std::uint64_t frameBytes, std::uint64_t budgetBytes,
                     bool readsAnyFrameDirectly);

// How many checkpoints a plan keeps at most (the start needs none).
std::uint32_t CheckpointCount(std::uint32_t frameCount, const FramePlan& plan);

} // namespace Quivane
