#pragma once
// One preview window's media shown: the drawing of its pictures, the
// playback of its frames and the seek bar, put together for the window.
#include "FramePlayback.h"
#include "PreviewDrawing.h"
#include "SeekBar.h"
#include "ViewOptions.h"
#include "frames/DecodedMedia.h"

#include <windows.h>
#include <d2d1.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace Quivane {

class PreviewPresenter {
public:
    static constexpr std::uint32_t kNoFrame = FramePlayback::kNoFrame;

    // How the window render target is made; tests substitute one that injects faults.
    using RenderTargetFactory = PreviewDrawing::RenderTargetFactory;

    PreviewPresenter();
    ~PreviewPresenter();
    PreviewPresenter(const PreviewPresenter&) = delete;
    PreviewPresenter& operator=(const PreviewPresenter&) = delete;

    // With `targetInBackground`, the window's first render target is made on
    // a worker, started by the first Render; until it is taken, Render draws
    // nothing and the window paints its background itself.
    [[nodiscard]] HRESULT Initialize(HWND window, const RECT& rect, bool targetInBackground = false);
    void Resize(const RECT& rect);
    void Render();
    // Starts making the background target, or takes it once it is made.
    void TakeMadeTarget();
    bool AwaitingTarget() const { return drawing.AwaitingTarget(); }
    // Draws the same picture as Render into an imaging bitmap of the window's
    // size: for screenshots where the screen cannot be read back.
    [[nodiscard]] HRESULT RenderToBitmap(IWICBitmap* bitmap);
    // The same picture into a device context (WM_PRINTCLIENT), over the given area.
    [[nodiscard]] HRESULT RenderToDC(HDC dc, const RECT& area);
    // Reads the theme again when due; true when the colours changed.
    bool RefreshThemeColors();
    // The theme or the system's fonts changed: both are read again for the next picture.
    void FollowSystemSettings() { drawing.FollowSystemSettings(); }
    void SetBackgroundColor(COLORREF color);
    void SetTextColor(COLORREF color);
    // The host's font for the pane's words (a height as in LOGFONT; 0: the system's size).
    void SetHostFont(const std::wstring& face, LONG height) { drawing.SetHostFont(face, height); }
    void SetLoading(bool loading, bool keepFrameVisible);
    bool IsLoading() const { return drawing.IsLoading(); }
    void SetMedia(std::unique_ptr<DecodedMedia> media);
    [[nodiscard]] HRESULT GetCurrentFrame(IWICBitmapSource** bitmap, std::uint32_t* index) const;

    // How the user asked the preview to be shown (the window remembers it).
    void SetViewOptions(const ViewOptions& options);
    const ViewOptions& Options() const { return drawing.Options(); }
    // Why the file cannot be shown, in two lines for people; empty lines: no message.
    void SetFailureText(std::wstring title, std::wstring reason) { drawing.SetFailureText(std::move(title), std::move(reason)); }

    // Playback.
    // One tick of the window's timer at `now` (milliseconds): feeds the time
    // since `lastTickTime` to AdvanceTime, or, while loading, leaves the clock
    // alone. Returns whether the window needs a new picture.
    bool OnTimerTick(std::uint64_t now, std::uint64_t& lastTickTime);
    bool HasTimeline() const { return playback.HasTimeline(); }
    bool AdvanceTime(std::uint32_t elapsedMs) { return playback.AdvanceTime(elapsedMs); }
    bool TogglePause();
    void GoToFirstFrame();
    void GoToLastFrame();
    void NextFrame();
    void PreviousFrame();
    void StepFrameByWheel(std::int16_t delta);
    void SyncWithMedia();
    void SetVideoPosition(std::uint64_t position);
    // A frame of the video playing, at `position`, in place of the picture shown.
    void ShowPlayedFrame(FramePixels&& picture, std::uint64_t position);
    void SetVideoPlay(VideoPlay play) { playback.SetVideoPlay(play); }
    VideoPlay VideoPlayState() const { return playback.VideoPlayState(); }
    void SyncVideoPosition();
    std::uint64_t StepVideoPosition(std::int32_t seconds) const;
    std::uint64_t GetEndSeekPosition() const;

    // Seek bar.
    void SeekBarPress(std::int32_t x, std::int32_t y);
    void SeekBarDrag(std::int32_t x);
    bool IsSeeking() const { return seekBar.IsDragging(); }
    bool SeekBarRelease(std::uint64_t* position);

    // State the window and tests read.
    const PlaybackState& Playback() const { return playback.State(); }
    const SeekBar& Bar() const { return seekBar; }
    std::uint32_t FrameClock() const { return playback.Clock(); }
    std::uint32_t ShownFrame() const { return playback.ShownFrame(); }
    std::uint64_t VideoPosition() const { return playback.VideoPosition(); }
    DecodedMedia* Media() const { return media.get(); }
    bool HasRenderTarget() const { return drawing.HasRenderTarget(); }
    D2D1_COLOR_F ClearColor() const { return drawing.Colors().Background(); }
    const DeviceFrameCache& FrameCache() const { return drawing.FrameCache(); }

    void SetRenderTargetFactory(RenderTargetFactory factory) { drawing.SetRenderTargetFactory(std::move(factory)); }

private:
    // Before each picture: the frame playback chooses goes to the media, the colours follow the theme.
    void PrepareFrame();
    void SelectFrameToDraw();

    std::unique_ptr<DecodedMedia> media;
    SeekBar seekBar;
    FramePlayback playback{seekBar};
    PreviewDrawing drawing{playback, seekBar};
};

} // namespace Quivane
