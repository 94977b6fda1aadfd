// The preview window's timer and loads: each tick takes a finished load and
// moves playback or the indicator on; seeks and reloads start loads.
#include "PreviewWindow.h"

#include "FailureNotice.h"

namespace Quivane {

// Decodes the file again in the background; the current frame stays under
// the indicator in frame mode, so the pane never goes blank or freezes.
void PreviewWindow::Reload(bool keepFrameVisible) {
    if (!loader.HasSource()) return;
    StopPlaying();
    presenter->SetLoading(true, keepFrameVisible);
    loadFailure = S_OK;
    loader.Load();
}

void PreviewWindow::StartPositionedLoad(std::uint64_t position) {
    if (!presenter || !presenter->HasTimeline()) return;
    if (player.Playing()) { // playing goes on from there: no still is loaded
        player.Seek(position, GetTickCount64());
        presenter->SetVideoPosition(position);
        Redraw();
        return;
    }
    if (player.Busy()) return; // the reader of a pause is still ending: the seek is dropped
    if (!loader.StartPositionedLoad(position)) return; // another load runs: the seek is dropped
    presenter->SetVideoPosition(position);
    presenter->SetLoading(true, true); // the current still stays under the indicator
    Redraw();
}

void PreviewWindow::PollLoadResult() {
    std::optional<LoadResult> taken = loader.TakeResult();
    if (taken && presenter) {
        HWND text = OwnsWindow() ? window : nullptr; // the host's window's text is not ours to change
        if (taken->media && SUCCEEDED(taken->hr)) {
            const bool firstStill = presenter->VideoPlayState() == VideoPlay::Still && !presenter->Media();
            presenter->SetMedia(std::move(taken->media));
            if (firstStill && presenter->HasTimeline() && presenter->Options().autoPlayVideos) StartPlaying();
            lastTickTime = GetTickCount64();
            loadFailure = S_OK;
            ClearLoadFailure(*presenter, text);
        } else {
            presenter->SyncVideoPosition(); // a failed seek snaps back to the still on screen
            if (!presenter->Media()) {
                loadFailure = FAILED(taken->hr) ? taken->hr : E_FAIL;
                TellLoadFailure(*presenter, text, loadFailure, taken->facts);
            }
        }
        presenter->SetLoading(false, false);
        Redraw();
    }
    if (loader.StartPendingLoad()) loadFailure = S_OK;
}

void PreviewWindow::OnTimer() {
    PollLoadResult();
    if (!presenter) return;
    const std::uint64_t now = GetTickCount64();
    // The theme is read again about once a second, so a switch shows on a
    // still picture too, whether or not the host passes its notice on.
    const bool themeChanged = presenter->RefreshThemeColors();
    const bool played = PlayVideoTick(now);
    // While loading only the indicator moves, and the playback clock is left alone.
    if (!presenter->OnTimerTick(now, lastTickTime) && !themeChanged && !played) return;
    if (presenter->IsLoading() && !themeChanged) {
        // Each redraw of the indicator costs the decoder time: a modest rate is enough.
        if (now - lastIndicatorDraw < kIndicatorRedrawMs) return;
        lastIndicatorDraw = now;
    }
    Redraw();
}

} // namespace Quivane
