#pragma once
// Draws one preview window with Direct2D (background, the current frame, the
// seek bar or the loading indicator) and owns the playback of its renderer.
#include "BackgroundRenderTarget.h"
#include "ColorRules.h"
#include "DeviceFrameCache.h"
#include "PlaybackState.h"
#include "SeekBar.h"
#include "frames/IAnimatedRenderer.h"

#include <windows.h>
#include <d2d1.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <functional>
#include <memory>

namespace Quivane {

class PreviewPresenter {
public:
    static constexpr std::uint32_t kNoFrame = UINT32_MAX;

    // How the window render target is made; tests substitute one that injects faults.
    using RenderTargetFactory = BackgroundRenderTarget::Create;

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
    bool AwaitingTarget() const { return targetInBackground && !renderTarget; }
    // Draws the same picture as Render into an imaging bitmap of the window's
    // size: for screenshots where the screen cannot be read back.
    [[nodiscard]] HRESULT RenderToBitmap(IWICBitmap* bitmap);
    // The same picture into a device context (WM_PRINTCLIENT), over the given area.
    [[nodiscard]] HRESULT RenderToDC(HDC dc, const RECT& area);
    void RefreshThemeColors();
    void SetBackgroundColor(COLORREF color);
    void SetTextColor(COLORREF color);
    void SetLoading(bool loading, bool keepFrameVisible);
    bool IsLoading() const { return loading; }
    void SetRenderer(std::unique_ptr<IAnimatedRenderer> renderer);
    [[nodiscard]] HRESULT GetCurrentFrame(IWICBitmapSource** bitmap, std::uint32_t* index) const;

    // Playback.
    // One tick of the window's timer at `now` (milliseconds): feeds the time
    // since `lastTickTime` to AdvanceTime, or, while loading, leaves the clock
    // alone. Returns whether the window needs a new picture.
    bool OnTimerTick(std::uint64_t now, std::uint64_t& lastTickTime);
    bool HasTimeline() const;
    bool AdvanceTime(std::uint32_t elapsedMs);
    bool TogglePause();
    void GoToFirstFrame();
    void GoToLastFrame();
    void NextFrame();
    void PreviousFrame();
    void StepFrameByWheel(std::int16_t delta);
    void SyncWithRenderer();
    void SetVideoPosition(std::uint64_t position);
    void SyncVideoPosition();
    std::uint64_t StepVideoPosition(std::int32_t seconds) const;
    std::uint64_t GetEndSeekPosition() const;

    // Seek bar.
    void SeekBarPress(std::int32_t x, std::int32_t y);
    void SeekBarDrag(std::int32_t x);
    bool IsSeeking() const { return seekBar.IsDragging(); }
    bool SeekBarRelease(std::uint64_t* position);

    // State the window and tests read.
    const PlaybackState& Playback() const { return playback; }
    const SeekBar& Bar() const { return seekBar; }
    std::uint32_t FrameClock() const { return frameClock; }
    std::uint32_t ShownFrame() const { return shownFrame; }
    std::uint64_t VideoPosition() const { return videoPosition; }
    IAnimatedRenderer* Renderer() const { return renderer.get(); }
    bool HasRenderTarget() const { return renderTarget != nullptr; }
    D2D1_COLOR_F ClearColor() const { return clearColor; }
    const DeviceFrameCache& FrameCache() const { return frameCache; }

    void SetRenderTargetFactory(RenderTargetFactory factory) { createRenderTarget = std::move(factory); }

private:
    [[nodiscard]] HRESULT EnsureRenderTarget();
    D2D1_HWND_RENDER_TARGET_PROPERTIES WindowTargetProperties() const;
    void ReleaseRenderTarget();
    bool MatchTargetToExtents();
    // Sizes the seek bar and the indicator for the DPI the window is shown at.
    void FollowWindowDpi();
    void SelectFrameToDraw();
    void DrawPicture(ID2D1RenderTarget* target);
    void ShowFrameChange();
    bool FollowFrameCount();
    std::uint32_t WantedFrame() const;
    bool WantedFrameArrived() const;
    std::int32_t Width() const;
    std::int32_t Height() const;

    HWND window = nullptr;
    RECT rectangle = {};
    Microsoft::WRL::ComPtr<ID2D1Factory> factory;
    Microsoft::WRL::ComPtr<ID2D1HwndRenderTarget> renderTarget;
    std::unique_ptr<IAnimatedRenderer> renderer;
    DeviceFrameCache frameCache; // copies of the renderer's frames for renderTarget
    PlaybackState playback;
    SeekBar seekBar;
    std::uint32_t frameClock = 0;
    // The frame last drawn: it stays on screen while the one asked for is decoded.
    std::uint32_t shownFrame = kNoFrame;
    bool awaitingFrame = false; // the last draw wanted a frame not decoded yet
    std::uint64_t videoPosition = 0;
    bool loading = false;
    bool keepFrameVisible = false;
    std::uint32_t lastThemeCheck = 0;
    bool hostBackgroundSet = false;
    COLORREF hostBackground = 0;
    bool hostTextSet = false;
    COLORREF hostText = 0;
    D2D1_COLOR_F clearColor = {0, 0, 0, 1};
    IndicatorColors indicatorColors = {};
    RenderTargetFactory createRenderTarget;
    bool targetInBackground = false;
    BackgroundRenderTarget backgroundTarget; // its worker shares none of the members above
};

} // namespace Quivane
