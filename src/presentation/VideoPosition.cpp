#include "VideoPosition.h"

#include <algorithm>
#include <cstdlib>

namespace Quivane {

std::uint64_t ClampToDuration(std::uint64_t position, std::uint64_t duration) {
    return duration == 0 ? 0 : std::min(position, duration - 1);
}

std::uint64_t StepPosition(std::uint64_t position, std::uint64_t duration, std::int32_t seconds) {
    const std::uint64_t step = static_cast<std::uint64_t>(std::llabs(static_cast<long long>(seconds))) * kUnitsPerSecond;
    std::uint64_t target;
    if (seconds < 0) {
        target = position > step ? position - step : 0;
    } else {
        // Saturate rather than wrap for positions near the top of the range.
        target = position > UINT64_MAX - step ? UINT64_MAX : position + step;
    }
    return ClampToDuration(target, duration);
}

std::uint64_t EndSeekPosition(std::uint64_t duration) {
    return duration > kUnitsPerSecond ? duration - kUnitsPerSecond : 0;
}

std::uint64_t PositionAtFraction(double fraction, std::uint64_t duration) {
    if (duration == 0) return 0;
    const double target = std::clamp(fraction, 0.0, 1.0) * static_cast<double>(duration);
    // The product can round up to 2^64 for huge durations; stay inside the range.
    const std::uint64_t position = target >= 18446744073709551615.0 ? UINT64_MAX : static_cast<std::uint64_t>(target);
    return ClampToDuration(position, duration);
}

double FractionOfPosition(std::uint64_t position, std::uint64_t duration) {
    if (duration == 0) return 0.0;
    return std::clamp(static_cast<double>(position) / static_cast<double>(duration), 0.0, 1.0);
}

} // namespace Quivane
