// A video played in the preview window: Space plays from the position shown
// and pauses; each tick shows the frame due; a new load or teardown stops it.
#include "PreviewWindow.h"

namespace Quivane {

void PreviewWindow::ToggleVideoPlay() {
    if (player.Playing()) {
        player.Pause();
        presenter->SetVideoPlay(VideoPlay::Paused);
        return;
    }
    StartPlaying();
}

void PreviewWindow::StartPlaying() {
    if (!presenter || !presenter->HasTimeline() || !loader.HasSource()) return;
    const RECT client = ClientArea();
    player.Play(loader.Source(), static_cast<std::uint32_t>(std::max<LONG>(client.right - client.left, 1)),
                static_cast<std::uint32_t>(std::max<LONG>(client.bottom - client.top, 1)),
                presenter->Options().SpeedPercent());
    presenter->SetVideoPlay(VideoPlay::Playing);
    PlayVideoTick(GetTickCount64()); // starts the worker at once when nothing else reads the file
}

bool PreviewWindow::PlayVideoTick(std::uint64_t now) {
    if (!presenter || !player.Playing()) return false;
    // The file is read by one worker at a time: a still's load ends first.
    if (player.ReadyToStart() && !loader.AnyRunning()) player.StartAt(presenter->VideoPosition(), now);
    std::optional<PlayedFrame> frame = player.Tick(now);
    if (!frame) return false;
    presenter->ShowPlayedFrame(std::move(frame->picture), frame->position);
    return true;
}

void PreviewWindow::StopPlaying() {
    player.Stop(kPlayerPatienceMs);
    if (presenter) presenter->SetVideoPlay(VideoPlay::Still);
}

} // namespace Quivane
