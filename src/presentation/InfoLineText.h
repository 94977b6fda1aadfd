#pragma once
// The information line's words: where playback stands and what the media is,
// as "12 / 150 · 40 ms · 1280×720 · GIF" for an animation and
// "0:12.0 / 0:36.5 · 1920×1080 · H.264" for a video.
#include "frames/MediaFacts.h"

#include <cstdint>
#include <string>

namespace Quivane {

// `frameIndex` counts from 0; the delay is the frame's at 1× (the file's, after
// the floor), in milliseconds. A speed other than 100 percent is named at the
// end. One frame: no frame or delay.
std::wstring AnimationInfoLine(const MediaFacts& facts, std::uint32_t frameIndex, std::uint64_t frameCount,
                               std::uint32_t delayMs, std::uint32_t speedPercent);

// Positions in 100-nanosecond units; without a duration, the position alone.
std::wstring VideoInfoLine(const MediaFacts& facts, std::uint64_t position, std::uint64_t duration);

// "0:12.0", "12:05.3", "1:02:03.4": tenths cut, not rounded, so the end never shows early.
std::wstring ClockText(std::uint64_t position);

// "0.25×", "0.5×", "2×".
std::wstring SpeedText(std::uint32_t percent);

} // namespace Quivane
