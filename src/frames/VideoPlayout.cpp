#include "VideoPlayout.h"

#include <algorithm>

namespace Quivane {

namespace {

constexpr std::uint64_t kUnitsPerMs = 10'000;

} // namespace

void VideoPlayout::Start(std::uint64_t playTime, std::uint64_t nowMs, std::uint32_t speedPercent) {
    anchorPlayTime_ = playTime;
    anchorMs_ = nowMs;
    speedPercent_ = speedPercent == 0 ? 100 : speedPercent;
    expected_ = playTime;
}

void VideoPlayout::SetSpeed(std::uint32_t speedPercent, std::uint64_t nowMs) {
    anchorPlayTime_ = PlayTime(nowMs);
    anchorMs_ = nowMs;
    speedPercent_ = speedPercent == 0 ? 100 : speedPercent;
}

std::uint64_t VideoPlayout::PlayTime(std::uint64_t nowMs) const {
    const std::uint64_t elapsed = nowMs > anchorMs_ ? nowMs - anchorMs_ : 0;
    return anchorPlayTime_ + elapsed * kUnitsPerMs * speedPercent_ / 100;
}

std::optional<PlayedFrame> VideoPlayout::Tick(VideoFrameRing& ring, std::uint64_t nowMs) {
    std::uint64_t now = PlayTime(nowMs);
    VideoFrameRing::Taken taken = ring.TakeDue(now);
    dropped_ += taken.dropped;
    if (taken.frame) {
        // Nothing decoded beyond a frame whose time has passed: the decoder
        // is behind, and the clock waits at the frame shown.
        if (taken.empty && now >= taken.frame->playTime + taken.frame->duration) {
            now = anchorPlayTime_ = taken.frame->playTime;
            anchorMs_ = nowMs;
        }
        ++shown_;
        largestLag_ = std::max(largestLag_, now - taken.frame->playTime);
        expected_ = taken.frame->playTime + taken.frame->duration;
        return std::move(taken.frame);
    }
    // The decoder is behind: the clock waits where the next frame should start.
    if (taken.empty && now > expected_) {
        anchorPlayTime_ = expected_;
        anchorMs_ = nowMs;
    }
    return std::nullopt;
}

} // namespace Quivane
