#pragma once
// Which frame of an animation is on screen, and whether time moves it.
#include <cstdint>

namespace Quivane {

struct PlaybackState {
    std::uint32_t currentIndex = 0;
    std::uint32_t frameCount = 0;
    bool paused = false;

    void Reset(std::uint32_t count);
    void SetIndexClamped(std::uint32_t index);
    void First();
    void Last();
    void Next();     // wraps to the first frame after the last
    void Previous(); // wraps to the last frame before the first
    bool Toggle();   // returns the new paused flag
};

} // namespace Quivane
