#include "PlaybackState.h"

#include <algorithm>

namespace Quivane {

void PlaybackState::Reset(std::uint32_t count) {
    frameCount = count;
    currentIndex = 0;
    paused = false;
}

void PlaybackState::SetIndexClamped(std::uint32_t index) {
    currentIndex = frameCount == 0 ? 0 : std::min(index, frameCount - 1);
}

void PlaybackState::First() { currentIndex = 0; }

void PlaybackState::Last() { currentIndex = frameCount == 0 ? 0 : frameCount - 1; }

void PlaybackState::Next() {
    if (frameCount != 0) currentIndex = (currentIndex + 1) % frameCount;
}

void PlaybackState::Previous() {
    if (frameCount != 0) currentIndex = currentIndex == 0 ? frameCount - 1 : currentIndex - 1;
}

bool PlaybackState::Toggle() {
    paused = !paused;
    return paused;
}

} // namespace Quivane
