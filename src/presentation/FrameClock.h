#pragma once
// Moving through an animation by elapsed time, each frame held for its own delay.
#include "PlaybackState.h"

#include <algorithm>
#include <cstdint>

namespace Quivane {

constexpr std::uint32_t kMinimumFrameDelayMs = 10; // delays of 0 to 10 ms all run at 10 ms
constexpr std::uint32_t kMaximumTickMs = 250;      // a longer gap (a busy host) counts as this

inline std::uint32_t EffectiveDelay(std::uint32_t delayMs) { return std::max(delayMs, kMinimumFrameDelayMs); }

constexpr std::uint32_t kNormalSpeedPercent = 100;

// A frame's delay played at `speedPercent` of the file's own timing; the
// floor applies to the result, so no speed shows a frame for under 10 ms.
inline std::uint32_t DelayAtSpeed(std::uint32_t delayMs, std::uint32_t speedPercent) {
    if (speedPercent == 0) speedPercent = kNormalSpeedPercent;
    const std::uint64_t scaled = static_cast<std::uint64_t>(delayMs) * kNormalSpeedPercent / speedPercent;
    return EffectiveDelay(static_cast<std::uint32_t>(std::min<std::uint64_t>(scaled, UINT32_MAX)));
}

// Elapsed time for one timer tick: 0 on the first tick, then the gap since
// the previous tick, capped.
std::uint32_t TickElapsed(std::uint64_t lastTick, std::uint64_t now);

// Adds `elapsed` to the clock and steps past every frame whose delay it covers.
// `delayOf(index)` gives a frame's delay in milliseconds; `isReady(index)`
// whether the frame can be shown yet. A frame that is not ready holds the
// clock: the animation runs late rather than skipping it. Returns whether the
// frame changed.
template <typename DelayOf, typename IsReady>
bool AdvanceFrameClock(PlaybackState& playback, std::uint32_t& clock, std::uint32_t elapsed, DelayOf delayOf,
                       IsReady isReady) {
    if (!isReady(playback.currentIndex)) {
        clock = 0; // its delay starts once it is on screen
        return false;
    }
    clock += elapsed;
    bool changed = false;
    std::uint32_t delay = EffectiveDelay(delayOf(playback.currentIndex));
    while (clock >= delay) {
        PlaybackState next = playback;
        next.Next();
        if (!isReady(next.currentIndex)) {
            clock = delay; // shown the moment it arrives
            break;
        }
        clock -= delay;
        playback = next;
        changed = true;
        delay = EffectiveDelay(delayOf(playback.currentIndex));
    }
    return changed;
}

template <typename DelayOf>
bool AdvanceFrameClock(PlaybackState& playback, std::uint32_t& clock, std::uint32_t elapsed, DelayOf delayOf) {
    return AdvanceFrameClock(playback, clock, elapsed, delayOf, [](std::uint32_t) { return true; });
}

} // namespace Quivane
