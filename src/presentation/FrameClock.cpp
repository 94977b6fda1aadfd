#include "FrameClock.h"

namespace Quivane {

std::uint32_t TickElapsed(std::uint64_t lastTick, std::uint64_t now) {
    if (lastTick == 0 || now < lastTick) return 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(now - lastTick, kMaximumTickMs));
}

} // namespace Quivane
