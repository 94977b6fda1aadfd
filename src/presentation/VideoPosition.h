#pragma once
// Positions on a video's time line, in 100-nanosecond units.
#include <cstdint>

namespace Quivane {

constexpr std::uint64_t kUnitsPerSecond = 10'000'000;

// The last position that still shows a picture: duration - 1 (0 for no duration).
std::uint64_t ClampToDuration(std::uint64_t position, std::uint64_t duration);

// One step of `seconds` (negative: back) from `position`, kept on the time line.
std::uint64_t StepPosition(std::uint64_t position, std::uint64_t duration, std::int32_t seconds);

// The End key's target: one second before the end, or 0 for a clip of a second or less.
std::uint64_t EndSeekPosition(std::uint64_t duration);

// The position a seek-bar fraction stands for.
std::uint64_t PositionAtFraction(double fraction, std::uint64_t duration);

// The seek-bar fraction of a position.
double FractionOfPosition(std::uint64_t position, std::uint64_t duration);

} // namespace Quivane
