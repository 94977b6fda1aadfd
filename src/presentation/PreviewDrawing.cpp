#include "PreviewDrawing.h"

#include "FailureMessage.h"
#include "InfoLineText.h"
#include "Painters.h"
#include "platform/Direct2D.h"
#include "platform/HResult.h"
#include "platform/WindowDpi.h"

#include <algorithm>

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

HRESULT CreateHwndTarget(ID2D1Factory* factory, const D2D1_RENDER_TARGET_PROPERTIES& properties,
                         const D2D1_HWND_RENDER_TARGET_PROPERTIES& windowProperties, ID2D1HwndRenderTarget** target) {
    return factory->CreateHwndRenderTarget(properties, windowProperties, target);
}

// Layout and drawing are in pixels: a target at 96 DPI maps them one to one
// on every display, where the system's DPI would scale them a second time.
D2D1_RENDER_TARGET_PROPERTIES PixelTargetProperties(
    D2D1_RENDER_TARGET_TYPE type = D2D1_RENDER_TARGET_TYPE_DEFAULT,
    D2D1_PIXEL_FORMAT format = D2D1::PixelFormat()) {
    return D2D1::RenderTargetProperties(type, format, static_cast<FLOAT>(kDefaultDpi), static_cast<FLOAT>(kDefaultDpi));
}

} // namespace

PreviewDrawing::PreviewDrawing(FramePlayback& playback, SeekBar& bar)
    : playback(playback), bar(bar), createRenderTarget(CreateHwndTarget) {}

PreviewDrawing::~PreviewDrawing() {
    // The frame copies belong to the target: they go first, then the target, then the factory.
    ReleaseRenderTarget();
    factory.Reset();
}

void PreviewDrawing::ReleaseRenderTarget() {
    frameCache.KeepCopiesFor(nullptr);
    checkerboard.Clear();
    renderTarget.Reset();
}

std::int32_t PreviewDrawing::Width() const {
    return static_cast<std::int32_t>(std::max<LONG>(0, rectangle.right - rectangle.left));
}

std::int32_t PreviewDrawing::Height() const {
    return static_cast<std::int32_t>(std::max<LONG>(0, rectangle.bottom - rectangle.top));
}

HRESULT PreviewDrawing::Initialize(HWND targetWindow, const RECT& rect, bool makeTargetInBackground) {
    window = targetWindow;
    rectangle = rect;
    bar.SetSize(Width(), Height());
    FollowWindowDpi();
    const HRESULT hr = CreateDirect2DFactory(D2D1_FACTORY_TYPE_MULTI_THREADED, factory);
    if (FAILED(hr)) return hr;
    targetInBackground = makeTargetInBackground;
    return targetInBackground ? S_OK : EnsureRenderTarget();
}

D2D1_HWND_RENDER_TARGET_PROPERTIES PreviewDrawing::WindowTargetProperties() const {
    return D2D1::HwndRenderTargetProperties(window, D2D1::SizeU(static_cast<UINT32>(Width()), static_cast<UINT32>(Height())),
                                            D2D1_PRESENT_OPTIONS_NONE);
}

HRESULT PreviewDrawing::EnsureRenderTarget() {
    if (renderTarget) return S_OK;
    if (!factory || window == nullptr) return E_FAIL;
    RETURN_IF_FAILED(createRenderTarget(factory.Get(), PixelTargetProperties(), WindowTargetProperties(),
                                        renderTarget.ReleaseAndGetAddressOf()));
    frameCache.KeepCopiesFor(renderTarget.Get());
    return S_OK;
}

void PreviewDrawing::TakeMadeTarget() {
    if (!AwaitingTarget()) return;
    if (!backgroundTarget.Started()) {
        colors.Refresh(); // the first pictures are of the background the window will have
        // A worker that cannot start leaves the target to this thread, as without one.
        if (!factory || window == nullptr ||
            FAILED(backgroundTarget.Start(factory.Get(), createRenderTarget, PixelTargetProperties(),
                                          WindowTargetProperties(), colors.Background()))) {
            targetInBackground = false;
        }
        return;
    }
    HRESULT made = E_FAIL;
    ComPtr<ID2D1HwndRenderTarget> target;
    if (!backgroundTarget.TryTake(made, target)) return;
    // Later targets (after a lost device) are made on this thread; a failed
    // one is tried again here at once.
    targetInBackground = false;
    if (SUCCEEDED(made)) renderTarget = std::move(target);
    frameCache.KeepCopiesFor(renderTarget.Get());
}

void PreviewDrawing::Resize(const RECT& rect) {
    rectangle = rect;
    if (renderTarget &&
        FAILED(renderTarget->Resize(D2D1::SizeU(static_cast<UINT32>(Width()), static_cast<UINT32>(Height()))))) {
        ReleaseRenderTarget(); // made again at the next paint
    }
    bar.SetSize(Width(), Height());
    FollowWindowDpi(); // a move to a display of another scale arrives as a resize
}

void PreviewDrawing::FollowWindowDpi() {
    if (window != nullptr) bar.SetScale(static_cast<float>(WindowDpi(window)) / static_cast<float>(kDefaultDpi));
}

// Brings the target to the window's extents, re-creating it when it will not follow.
bool PreviewDrawing::MatchTargetToExtents() {
    const D2D1_SIZE_U wanted = D2D1::SizeU(static_cast<UINT32>(Width()), static_cast<UINT32>(Height()));
    const D2D1_SIZE_U actual = renderTarget->GetPixelSize();
    if (actual.width == wanted.width && actual.height == wanted.height) return true;
    if (SUCCEEDED(renderTarget->Resize(wanted))) {
        const D2D1_SIZE_U resized = renderTarget->GetPixelSize();
        if (resized.width == wanted.width && resized.height == wanted.height) return true;
    }
    ReleaseRenderTarget();
    return SUCCEEDED(EnsureRenderTarget()) && renderTarget;
}

bool PreviewDrawing::ReadyWindowTarget() {
    return !AwaitingTarget() && SUCCEEDED(EnsureRenderTarget()) && renderTarget && MatchTargetToExtents();
}

void PreviewDrawing::DrawToWindow() {
    if (!renderTarget) return;
    renderTarget->BeginDraw();
    DrawPicture(renderTarget.Get());
    if (renderTarget->EndDraw() == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) ReleaseRenderTarget();
}

HRESULT PreviewDrawing::MakeBitmapTarget(IWICBitmap* bitmap, ComPtr<ID2D1RenderTarget>& target) {
    if (bitmap == nullptr) return E_POINTER;
    if (!factory) return E_FAIL;
    return factory->CreateWicBitmapRenderTarget(bitmap, PixelTargetProperties(), target.ReleaseAndGetAddressOf());
}

HRESULT PreviewDrawing::MakeDCTarget(HDC dc, const RECT& area, ComPtr<ID2D1RenderTarget>& target) {
    if (dc == nullptr) return E_INVALIDARG;
    if (!factory) return E_FAIL;
    const D2D1_RENDER_TARGET_PROPERTIES properties = PixelTargetProperties(
        D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED));
    if (!dcTarget) RETURN_IF_FAILED(factory->CreateDCRenderTarget(&properties, &dcTarget));
    const HRESULT bound = dcTarget->BindDC(dc, &area);
    if (FAILED(bound)) {
        dcTarget.Reset(); // made again for the next capture
        RETURN_FAILURE(bound);
    }
    target = dcTarget;
    return S_OK;
}

HRESULT PreviewDrawing::DrawOn(ID2D1RenderTarget* target) {
    if (target == nullptr) return E_POINTER;
    target->BeginDraw();
    DrawPicture(target);
    return target->EndDraw();
}

HRESULT PreviewDrawing::DrawOnDC(ID2D1RenderTarget* target) {
    const HRESULT drawn = DrawOn(target);
    if (drawn == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) dcTarget.Reset(); // made again for the next capture
    return drawn;
}

void PreviewDrawing::DrawPicture(ID2D1RenderTarget* target) {
    target->Clear(colors.Background());
    if (frames && ShowsFrame() && frames->FrameCount() > 0) {
        const std::uint32_t index = playback.FrameToDraw(playback.State().currentIndex);
        // A frame the target cannot take stays undrawn; the bar and the background still show.
        ComPtr<ID2D1BitmapBrush> underlay;
        const FrameLook look = FrameLookFor(target, underlay);
        if (SUCCEEDED(frameCache.DrawFrame(target, *frames, index, look))) playback.FrameDrawn(index);
        DrawOverlay(target, index);
    }
    if (loading) {
        DrawLoadingIndicator(target, static_cast<float>(Width()), static_cast<float>(Height()), bar.Scale(),
                             colors.Indicator());
    } else if (frames) {
        DrawSeekBar(bar, target);
    }
    if (!loading && !failureTitle.empty() && (frames == nullptr || frames->FrameCount() == 0)) {
        DrawFailureMessage(target, text, WindowDpi(window), static_cast<float>(Width()), static_cast<float>(Height()),
                           failureTitle, failureReason, colors.Text());
    }
}

void PreviewDrawing::DrawOverlay(ID2D1RenderTarget* target, std::uint32_t index) {
    const bool paused = playback.State().paused && (playback.HasTimeline() || frames->FrameCount() > 1);
    if (!options.infoLine && !paused) return;
    const UINT dpi = WindowDpi(window);
    D2D1_COLOR_F band = colors.Background();
    band.a = 0.72f; // the frame shows through, the words stay readable
    const OverlayColors overlayColors{band, colors.Text()};
    const float width = static_cast<float>(Width());
    const float height = static_cast<float>(Height());
    const float top =
        options.infoLine ? overlay.DrawLine(target, text, dpi, width, height, InfoLine(index), overlayColors) : 0;
    if (paused) InfoOverlay::DrawPauseBadge(target, dpi, width, height, top, overlayColors);
}

std::wstring PreviewDrawing::InfoLine(std::uint32_t index) const {
    if (frames->IsTimeBased()) return VideoInfoLine(frames->Facts(), playback.VideoPosition(), frames->Duration());
    return AnimationInfoLine(frames->Facts(), index, frames->FrameCount(), frames->FrameDelay(index),
                             options.SpeedPercent());
}

void PreviewDrawing::SetFrames(const DecodedMedia* newFrames) {
    frameCache.Clear();
    frames = newFrames;
}

void PreviewDrawing::SetLoading(bool isLoading, bool keep) {
    loading = isLoading;
    keepFrameVisible = isLoading && keep;
}

} // namespace Quivane
