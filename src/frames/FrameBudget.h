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

// `frameBytes` is one kept frame and `checkpointBytes` one canvas (0: the
// same); a source that reads any frame directly needs no checkpoints.
FramePlan PlanFrames(std::uint32_t frameCount, std::uint64_t frameBytes, std::uint64_t budgetBytes,
                     bool readsAnyFrameDirectly, std::uint64_t checkpointBytes = 0);

// A canvas of more pixels than this has its frames kept reduced for showing
// (a hostile 16000-pixel screen would cost a gigabyte a frame) ...
constexpr std::uint64_t kWholeFramePixelsAtMost = 4096ull * 4096;
// ... to at most this many pixels, a large screen's, its shape kept.
constexpr std::uint64_t kReducedFramePixels = 2560ull * 1440;

struct KeptFrameSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The size at which a preview keeps the frames of a canvas this size: reduced
// too when a side is longer than a drawn bitmap may be (kMaxCanvasSide).
KeptFrameSize KeptFrameSizeFor(std::uint32_t width, std::uint32_t height);

// How many checkpoints a plan keeps at most (the start needs none).
std::uint32_t CheckpointCount(std::uint32_t frameCount, const FramePlan& plan);

} // namespace Quivane
