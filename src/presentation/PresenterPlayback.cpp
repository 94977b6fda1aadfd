// The presenter's frame clock, frame commands, video position and seek-bar input.
#include "FrameClock.h"
#include "PreviewPresenter.h"
#include "VideoPosition.h"

namespace Quivane {

bool PreviewPresenter::HasTimeline() const {
    return renderer && renderer->IsTimeBased() && renderer->GetDuration() != 0;
}

bool PreviewPresenter::OnTimerTick(std::uint64_t now, std::uint64_t& lastTickTime) {
    if (loading) return true; // only the indicator moves
    if (AwaitingTarget()) {
        // Nothing is on screen yet: the first frame keeps its whole delay.
        lastTickTime = now;
        return true;
    }
    const std::uint32_t elapsed = TickElapsed(lastTickTime, now);
    lastTickTime = now;
    const bool ended = FollowFrameCount();
    const bool advanced = AdvanceTime(elapsed);
    return ended || advanced || WantedFrameArrived();
}

// A damaged tail found while decoding shortens the animation under the bar.
bool PreviewPresenter::FollowFrameCount() {
    if (!renderer || HasTimeline()) return false;
    const std::uint64_t count = renderer->GetFrameCount();
    if (count >= playback.frameCount) return false;
    playback.frameCount = static_cast<std::uint32_t>(count);
    playback.SetIndexClamped(playback.currentIndex);
    seekBar.SetFrameMode(playback.frameCount);
    seekBar.SetFrameIndex(playback.currentIndex);
    return true;
}

std::uint32_t PreviewPresenter::WantedFrame() const {
    return !HasTimeline() && seekBar.IsDragging() ? seekBar.FrameIndex() : playback.currentIndex;
}

// A frame asked for before it was decoded is shown as soon as it is.
bool PreviewPresenter::WantedFrameArrived() const {
    return awaitingFrame && renderer && !HasTimeline() && renderer->IsFrameReady(WantedFrame());
}

bool PreviewPresenter::AdvanceTime(std::uint32_t elapsedMs) {
    if (!renderer || HasTimeline() || renderer->GetFrameCount() <= 1) return false;
    if (playback.paused || seekBar.IsDragging()) return false; // the time is dropped, not saved up
    const bool changed = AdvanceFrameClock(
        playback, frameClock, elapsedMs, [this](std::uint32_t index) { return renderer->GetFrameDelay(index); },
        [this](std::uint32_t index) { return renderer->IsFrameReady(index); });
    if (changed) seekBar.SetFrameIndex(playback.currentIndex);
    return changed;
}

// After a frame command: the bar follows, and the new frame gets its full delay.
void PreviewPresenter::ShowFrameChange() {
    seekBar.SetFrameIndex(playback.currentIndex);
    frameClock = 0;
}

bool PreviewPresenter::TogglePause() {
    if (HasTimeline()) return playback.paused;
    return playback.Toggle();
}

void PreviewPresenter::GoToFirstFrame() {
    if (HasTimeline()) return;
    playback.First();
    ShowFrameChange();
}

void PreviewPresenter::GoToLastFrame() {
    if (HasTimeline()) return;
    playback.Last();
    ShowFrameChange();
}

void PreviewPresenter::NextFrame() {
    if (HasTimeline()) return;
    playback.Next();
    ShowFrameChange();
}

void PreviewPresenter::PreviousFrame() {
    if (HasTimeline()) return;
    playback.Previous();
    ShowFrameChange();
}

void PreviewPresenter::StepFrameByWheel(std::int16_t delta) {
    if (delta > 0) {
        PreviousFrame();
    } else if (delta < 0) {
        NextFrame();
    }
}

void PreviewPresenter::SyncWithRenderer() {
    if (!renderer) {
        playback.Reset(0);
        videoPosition = 0;
        seekBar.SetFrameMode(0);
        return;
    }
    const std::uint64_t count = renderer->GetFrameCount();
    playback.Reset(count > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(count));
    if (HasTimeline()) {
        const std::uint64_t duration = renderer->GetDuration();
        videoPosition = ClampToDuration(renderer->GetPosition(), duration);
        seekBar.SetTimeFraction(FractionOfPosition(videoPosition, duration));
    } else {
        videoPosition = 0;
        seekBar.SetFrameMode(playback.frameCount);
        seekBar.SetFrameIndex(0);
    }
}

void PreviewPresenter::SetVideoPosition(std::uint64_t position) {
    if (!HasTimeline()) {
        videoPosition = 0;
        return;
    }
    const std::uint64_t duration = renderer->GetDuration();
    videoPosition = ClampToDuration(position, duration);
    seekBar.SetTimeFraction(FractionOfPosition(videoPosition, duration));
}

void PreviewPresenter::SyncVideoPosition() { SetVideoPosition(renderer ? renderer->GetPosition() : 0); }

std::uint64_t PreviewPresenter::StepVideoPosition(std::int32_t seconds) const {
    if (!HasTimeline()) return 0;
    return StepPosition(videoPosition, renderer->GetDuration(), seconds);
}

std::uint64_t PreviewPresenter::GetEndSeekPosition() const {
    return HasTimeline() ? EndSeekPosition(renderer->GetDuration()) : 0;
}

void PreviewPresenter::SeekBarPress(std::int32_t x, std::int32_t y) { seekBar.Press(x, y); }

void PreviewPresenter::SeekBarDrag(std::int32_t x) { seekBar.Drag(x); }

bool PreviewPresenter::SeekBarRelease(std::uint64_t* position) {
    const bool wasDragging = seekBar.IsDragging();
    seekBar.EndDrag();
    if (HasTimeline()) {
        if (!wasDragging || position == nullptr) return false;
        *position = PositionAtFraction(seekBar.Fraction(), renderer->GetDuration());
        return true;
    }
    // Every release in frame mode settles on the thumb's frame with a fresh delay.
    playback.SetIndexClamped(seekBar.FrameIndex());
    frameClock = 0;
    return false;
}

void PreviewPresenter::SelectFrameToDraw() {
    if (!renderer) return;
    if (!HasTimeline() && seekBar.IsDragging()) playback.SetIndexClamped(seekBar.FrameIndex());
    renderer->SetCurrentFrame(playback.currentIndex);
}

} // namespace Quivane
