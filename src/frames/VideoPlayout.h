#pragma once
// The clock a played video is shown by, and what it has shown: each tick of
// the window takes the frame due from the ring. A clock that runs ahead of a
// decoder with nothing left waits for it, so the picture never falls behind
// by more than a frame; a frame made late by a slow tick is dropped. No
// Windows header: tested natively with a fake clock.
//
// The clock waits whenever the decoder has nothing beyond the frame it shows,
// so a decoder slower than the file plays it slower, never further behind.
#include "VideoFrameRing.h"

#include <cstdint>
#include <optional>

namespace Quivane {

class VideoPlayout {
public:
    // Plays from `playTime` (100-ns units on the ring's line) from `nowMs` on,
    // at `speedPercent` of the file's own rate.
    void Start(std::uint64_t playTime, std::uint64_t nowMs, std::uint32_t speedPercent);
    void SetSpeed(std::uint32_t speedPercent, std::uint64_t nowMs);
    // Where the clock stands at `nowMs`.
    std::uint64_t PlayTime(std::uint64_t nowMs) const;
    // The frame due at `nowMs`, if a new one is; frames passed over count as dropped.
    std::optional<PlayedFrame> Tick(VideoFrameRing& ring, std::uint64_t nowMs);

    std::uint64_t FramesShown() const { return shown_; }
    std::uint64_t FramesDropped() const { return dropped_; }
    // The most the clock was ahead of a frame when it was shown, 100-ns units.
    std::uint64_t LargestLag() const { return largestLag_; }
    void ResetCounts() { shown_ = dropped_ = largestLag_ = 0; }

private:
    std::uint64_t anchorPlayTime_ = 0;
    std::uint64_t anchorMs_ = 0;
    std::uint32_t speedPercent_ = 100;
    std::uint64_t expected_ = 0; // when the next frame should start: the last one's end
    std::uint64_t shown_ = 0;
    std::uint64_t dropped_ = 0;
    std::uint64_t largestLag_ = 0;
};

} // namespace Quivane
