#pragma once
// The pictures of one preview window drawn with Direct2D: the window's render
// target (made on a worker at first when asked), the device copies of frames,
// the theme's colours, and the picture itself: background, the frame playback
// chooses, what is written over it, then the seek bar or the loading indicator.
#include "BackgroundRenderTarget.h"
#include "CheckerboardBrush.h"
#include "DeviceFrameCache.h"
#include "FramePlayback.h"
#include "InfoOverlay.h"
#include "PaneText.h"
#include "PreviewColors.h"
#include "SeekBar.h"
#include "ViewOptions.h"
#include "frames/DecodedMedia.h"

#include <windows.h>
#include <d2d1.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <utility>

namespace Quivane {

class PreviewDrawing {
public:
    // How the window render target is made; tests substitute one that injects faults.
    using RenderTargetFactory = BackgroundRenderTarget::Create;

    // Draws the frames playback chooses and the bar; lays the bar out for the window.
    PreviewDrawing(FramePlayback& playback, SeekBar& bar);
    ~PreviewDrawing();
    PreviewDrawing(const PreviewDrawing&) = delete;
    PreviewDrawing& operator=(const PreviewDrawing&) = delete;

    [[nodiscard]] HRESULT Initialize(HWND window, const RECT& rect, bool targetInBackground);
    void Resize(const RECT& rect);
    // Starts making the background target, or takes it once it is made.
    void TakeMadeTarget();
    bool AwaitingTarget() const { return targetInBackground && !renderTarget; }
    // Makes the window's target when missing and brings it to the window's
    // extents; false when there is none to draw on.
    bool ReadyWindowTarget();
    // One picture onto the window's target; a lost device releases it, to be made again.
    void DrawToWindow();
    // Targets over an imaging bitmap and over a device context, for DrawOn.
    [[nodiscard]] HRESULT MakeBitmapTarget(IWICBitmap* bitmap, Microsoft::WRL::ComPtr<ID2D1RenderTarget>& target);
    [[nodiscard]] HRESULT MakeDCTarget(HDC dc, const RECT& area, Microsoft::WRL::ComPtr<ID2D1RenderTarget>& target);
    [[nodiscard]] HRESULT DrawOn(ID2D1RenderTarget* target);
    // DrawOn for the device-context target; a lost device releases it.
    [[nodiscard]] HRESULT DrawOnDC(ID2D1RenderTarget* target);

    // The frames to draw (null: none); copies of earlier ones go.
    void SetFrames(const DecodedMedia* frames);
    void SetLoading(bool loading, bool keepFrameVisible);
    bool IsLoading() const { return loading; }
    // Whether a frame shows under the indicator, or at all.
    bool ShowsFrame() const { return !loading || keepFrameVisible; }
    void SetOptions(const ViewOptions& newOptions) { options = newOptions; }
    const ViewOptions& Options() const { return options; }
    void SetFailureText(std::wstring title, std::wstring reason) {
        failureTitle = std::move(title);
        failureReason = std::move(reason);
    }
    PreviewColors& Colors() { return colors; }
    void FollowSystemSettings() {
        colors.ReadAgain();
        text.ReadFontAgain();
    }
    void SetHostFont(const std::wstring& face, LONG height) { text.UseHostFont(face, height); }
    const PreviewColors& Colors() const { return colors; }

    bool HasRenderTarget() const { return renderTarget != nullptr; }
    const DeviceFrameCache& FrameCache() const { return frameCache; }
    void SetRenderTargetFactory(RenderTargetFactory factory) { createRenderTarget = std::move(factory); }

private:
    [[nodiscard]] HRESULT EnsureRenderTarget();
    D2D1_HWND_RENDER_TARGET_PROPERTIES WindowTargetProperties() const;
    void ReleaseRenderTarget();
    bool MatchTargetToExtents();
    // Sizes the seek bar and the indicator for the DPI the window is shown at.
    void FollowWindowDpi();
    void DrawPicture(ID2D1RenderTarget* target);
    // The information line and the pause badge over frame `index`.
    void DrawOverlay(ID2D1RenderTarget* target, std::uint32_t index);
    std::wstring InfoLine(std::uint32_t index) const;
    // The frame's look from the view options; `underlay` holds the checkerboard's brush while it is drawn.
    FrameLook FrameLookFor(ID2D1RenderTarget* target, Microsoft::WRL::ComPtr<ID2D1BitmapBrush>& underlay);
    std::int32_t Width() const;
    std::int32_t Height() const;

    FramePlayback& playback;
    SeekBar& bar;
    const DecodedMedia* frames = nullptr;
    HWND window = nullptr;
    RECT rectangle = {};
    Microsoft::WRL::ComPtr<ID2D1Factory> factory;
    Microsoft::WRL::ComPtr<ID2D1HwndRenderTarget> renderTarget;
    // Made once and bound to each capture's DC in turn, as the platform
    // means it: a second one made afterwards draws nothing there (Wine).
    Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> dcTarget;
    DeviceFrameCache frameCache; // copies of the frames for renderTarget
    CheckerboardBrush checkerboard;
    bool loading = false;
    bool keepFrameVisible = false;
    PreviewColors colors;
    PaneText text; // made for the window's DPI when text is first drawn
    InfoOverlay overlay;
    ViewOptions options;
    std::wstring failureTitle;
    std::wstring failureReason;
    RenderTargetFactory createRenderTarget;
    bool targetInBackground = false;
    BackgroundRenderTarget backgroundTarget; // its worker shares none of the members above
};

} // namespace Quivane
