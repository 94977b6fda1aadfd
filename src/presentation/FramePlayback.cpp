#include "FramePlayback.h"

#include "FrameClock.h"
#include "VideoPosition.h"

#include <algorithm>

namespace Quivane {

void FramePlayback::SetMedia(const PlaybackMedia* newMedia) {
    media = newMedia;
    shownFrame = kNoFrame;
    awaitingFrame = false;
}

bool FramePlayback::HasTimeline() const { return media && media->IsTimeBased() && media->Duration() != 0; }

void FramePlayback::Sync() {
    if (!media) {
        state.Reset(0);
        videoPlay = VideoPlay::Still;
        videoPosition = 0;
        bar.SetFrameMode(0);
        return;
    }
    const std::uint64_t count = media->FrameCount();
    state.Reset(count > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(count));
    if (HasTimeline()) {
        state.paused = videoPlay == VideoPlay::Paused;
        const std::uint64_t duration = media->Duration();
        videoPosition = ClampToDuration(media->Position(), duration);
        bar.SetTimeFraction(FractionOfPosition(videoPosition, duration));
    } else {
        videoPosition = 0;
        bar.SetFrameMode(state.frameCount);
        bar.SetFrameIndex(0);
    }
}

bool FramePlayback::Tick(std::uint64_t now, std::uint64_t& lastTickTime) {
    const std::uint32_t elapsed = TickElapsed(lastTickTime, now);
    lastTickTime = now;
    const bool ended = FollowFrameCount();
    const bool advanced = AdvanceTime(elapsed);
    return ended || advanced || WantedFrameArrived();
}

// A damaged tail found while decoding shortens the animation under the bar.
bool FramePlayback::FollowFrameCount() {
    if (!media || HasTimeline()) return false;
    const std::uint64_t count = media->FrameCount();
    if (count >= state.frameCount) return false;
    state.frameCount = static_cast<std::uint32_t>(count);
    state.SetIndexClamped(state.currentIndex);
    bar.SetFrameMode(state.frameCount);
    bar.SetFrameIndex(state.currentIndex);
    return true;
}

std::uint32_t FramePlayback::WantedFrame() const {
    return !HasTimeline() && bar.IsDragging() ? bar.FrameIndex() : state.currentIndex;
}

// A frame asked for before it was decoded is shown as soon as it is.
bool FramePlayback::WantedFrameArrived() const {
    return awaitingFrame && media && !HasTimeline() && media->IsFrameReady(WantedFrame());
}

bool FramePlayback::AdvanceTime(std::uint32_t elapsedMs) {
    if (!media || HasTimeline() || media->FrameCount() <= 1) return false;
    if (state.paused || bar.IsDragging()) return false; // the time is dropped, not saved up
    const auto delayOf = [this](std::uint32_t index) { return DelayAtSpeed(media->FrameDelay(index), speedPercent); };
    const bool changed = AdvanceFrameClock(state, clock, elapsedMs, delayOf,
                                           [this](std::uint32_t index) { return media->IsFrameReady(index); });
    if (changed) bar.SetFrameIndex(state.currentIndex);
    return changed;
}

// After a frame command: the bar follows, and the new frame gets its full delay.
void FramePlayback::ShowFrameChange() {
    bar.SetFrameIndex(state.currentIndex);
    clock = 0;
}

bool FramePlayback::TogglePause() {
    if (HasTimeline()) return state.paused;
    return state.Toggle();
}

void FramePlayback::GoToFirstFrame() {
    if (HasTimeline()) return;
    state.First();
    ShowFrameChange();
}

void FramePlayback::GoToLastFrame() {
    if (HasTimeline()) return;
    state.Last();
    ShowFrameChange();
}

void FramePlayback::NextFrame() {
    if (HasTimeline()) return;
    state.Next();
    ShowFrameChange();
}

void FramePlayback::PreviousFrame() {
    if (HasTimeline()) return;
    state.Previous();
    ShowFrameChange();
}

void FramePlayback::StepFrameByWheel(std::int16_t delta) {
    if (delta > 0) {
        PreviousFrame();
    } else if (delta < 0) {
        NextFrame();
    }
}

void FramePlayback::SetVideoPosition(std::uint64_t position) {
    if (!HasTimeline()) {
        videoPosition = 0;
        return;
    }
    const std::uint64_t duration = media->Duration();
    videoPosition = ClampToDuration(position, duration);
    bar.SetTimeFraction(FractionOfPosition(videoPosition, duration));
}

std::uint64_t FramePlayback::StepVideoPosition(std::int32_t seconds) const {
    if (!HasTimeline()) return 0;
    return StepPosition(videoPosition, media->Duration(), seconds);
}

std::uint64_t FramePlayback::EndSeekPosition() const {
    return HasTimeline() ? Quivane::EndSeekPosition(media->Duration()) : 0;
}

bool FramePlayback::ReleaseBar(std::uint64_t* position) {
    const bool dragged = bar.Release();
    if (HasTimeline()) {
        if (!dragged || position == nullptr) return false;
        *position = bar.PositionOn(media->Duration());
        return true;
    }
    // Every release in frame mode settles on the thumb's frame with a fresh delay.
    state.SetIndexClamped(bar.FrameIndex());
    clock = 0;
    return false;
}

std::uint32_t FramePlayback::SelectFrame() {
    if (!HasTimeline() && bar.IsDragging()) state.SetIndexClamped(bar.FrameIndex());
    return state.currentIndex;
}

std::uint32_t FramePlayback::FrameToDraw(std::uint32_t wanted) {
    awaitingFrame = !media || !media->IsFrameReady(wanted);
    return awaitingFrame && shownFrame != kNoFrame ? shownFrame : wanted;
}

std::uint32_t FramePlayback::CurrentFrame() const {
    if (!media || HasTimeline() || media->FrameCount() == 0) return 0;
    const std::uint32_t wanted = bar.IsDragging() ? bar.FrameIndex() : state.currentIndex;
    const auto frame = static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, media->FrameCount() - 1));
    return !media->IsFrameReady(frame) && shownFrame != kNoFrame ? shownFrame : frame; // what the screen shows
}

} // namespace Quivane
