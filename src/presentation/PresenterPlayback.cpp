// The presenter's timer, frame commands, video position and seek-bar input,
// passed to its playback and seek bar.
#include "PreviewPresenter.h"

#include "frames/StoreMedia.h"

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

void PreviewPresenter::ShowPlayedFrame(FramePixels&& picture, std::uint64_t position) {
    if (!media || !playback.HasTimeline()) return;
    auto store = std::make_shared<FrameStore>(1);
    store->Put(0, std::move(picture));
    auto played = std::make_unique<StoreMedia>(std::move(store), VideoTimeline{media->Duration(), position});
    played->SetFacts(media->Facts()); // the video's own size and codec, not the fitted frame's
    drawing.SetFrames(played.get());
    playback.SetMedia(played.get());
    media = std::move(played);
    // The thumb follows the picture unless the user holds it.
    if (!seekBar.IsDragging()) playback.SetVideoPosition(position);
}

void PreviewPresenter::SyncVideoPosition() { playback.SetVideoPosition(media ? media->Position() : 0); }

std::uint64_t PreviewPresenter::StepVideoPosition(std::int32_t seconds) const {
    return playback.StepVideoPosition(seconds);
}

std::uint64_t PreviewPresenter::GetEndSeekPosition() const { return playback.EndSeekPosition(); }

void PreviewPresenter::SeekBarPress(std::int32_t x, std::int32_t y) { seekBar.Press(x, y); }

void PreviewPresenter::SeekBarDrag(std::int32_t x) { seekBar.Drag(x); }

bool PreviewPresenter::SeekBarRelease(std::uint64_t* position) { return playback.ReleaseBar(position); }

} // namespace Quivane
