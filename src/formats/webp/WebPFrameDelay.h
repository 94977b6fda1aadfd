#pragma once
#include <cstdint>

namespace Quivane {

// A WebP frame's display time from its stored duration in milliseconds: 100
// for none (0, as a still has), and never below 10.
std::uint32_t WebPFrameDelayMs(std::uint32_t durationMs);

} // namespace Quivane
