#include "WebPFrameDelay.h"

namespace Quivane {
namespace {

constexpr std::uint32_t kDefaultDelayMs = 100;
constexpr std::uint32_t kMinimumDelayMs = 10;

} // namespace

std::uint32_t WebPFrameDelayMs(std::uint32_t durationMs) {
    if (durationMs == 0) return kDefaultDelayMs;
    return durationMs < kMinimumDelayMs ? kMinimumDelayMs : durationMs;
}

} // namespace Quivane
