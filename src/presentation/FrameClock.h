#pragma once
// Moving through an animation by elapsed time, each frame held for its own delay.
#include "PlaybackState.h"

#include <algorithm>
#include <cstdint>

namespace Quivane {

constexpr std::uint32_t kMinimumFrameDelayMs = 10; // delays of 0 to 10 ms all run at 10 ms
constexpr std::uint32_t kMaximumTickMs = 250;      // a longer gap (a busy host) counts as this

inline std::uint32_t EffectiveDelay(std::uint32_t delayMs) { return std::max(delayMs, kMinimumFrameDelayMs); }

// Elapsed time for one timer tick: 0 on the first tick, then the gap since
// the previous tick, capped.
std::uint32_t TickElapsed(std::uint64_t lastTick, std::uint64_t now);

// Adds `elapsed` to the clock and steps past every frame whose delay it covers.
// `delayOf(index)` gives a frame's delay in milliseconds. Returns whether the frame changed.
template <typename DelayOf>
bool AdvanceFrameClock(PlaybackState& playback, std::uint32_t& clock, std::uint32_t elapsed, DelayOf delayOf) {
    clock += elapsed;
    bool changed = false;
    std::uint32_t delay = EffectiveDelay(delayOf(playback.currentIndex));
    while (clock >= delay) {
        clock -= delay;
        playback.Next();
        changed = true;
        delay = EffectiveDelay(delayOf(playback.currentIndex));
    }
    return changed;
}

} // namespace Quivane
