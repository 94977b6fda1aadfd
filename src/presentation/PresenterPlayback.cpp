// The presenter's timer, frame commands, video position and seek-bar input,
// passed to its playback and seek bar.
#include "PreviewPresenter.h"

namespace Quivane {

bool PreviewPresenter::OnTimerTick(std::uint64_t now, std::uint64_t& lastTickTime) {
    if (drawing.IsLoading()) return true; // only the indicator moves
    if (drawing.AwaitingTarget()) {
        // Nothing is on screen yet: the first frame keeps its whole delay.
        lastTickTime = now;
        return true;
    }
    return playback.Tick(now, lastTickTime);
}

bool PreviewPresenter::TogglePause() { return playback.TogglePause(); }

void PreviewPresenter::GoToFirstFrame() { playback.GoToFirstFrame(); }

void PreviewPresenter::GoToLastFrame() { playback.GoToLastFrame(); }

void PreviewPresenter::NextFrame() { playback.NextFrame(); }

void PreviewPresenter::PreviousFrame() { playback.PreviousFrame(); }

void PreviewPresenter::StepFrameByWheel(std::int16_t delta) { playback.StepFrameByWheel(delta); }

void PreviewPresenter::SyncWithMedia() { playback.Sync(); }

void PreviewPresenter::SetVideoPosition(std::uint64_t position) { playback.SetVideoPosition(position); }

void PreviewPresenter::SyncVideoPosition() { playback.SetVideoPosition(media ? media->Position() : 0); }

std::uint64_t PreviewPresenter::StepVideoPosition(std::int32_t seconds) const {
    return playback.StepVideoPosition(seconds);
}

std::uint64_t PreviewPresenter::GetEndSeekPosition() const { return playback.EndSeekPosition(); }

void PreviewPresenter::SeekBarPress(std::int32_t x, std::int32_t y) { seekBar.Press(x, y); }

void PreviewPresenter::SeekBarDrag(std::int32_t x) { seekBar.Drag(x); }

bool PreviewPresenter::SeekBarRelease(std::uint64_t* position) { return playback.ReleaseBar(position); }

} // namespace Quivane
