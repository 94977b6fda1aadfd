#include "PreviewPresenter.h"

#include "Painters.h"
#include "Theme.h"
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

D2D1_COLOR_F OpaqueColor(COLORREF color) {
    return ToD2D(ColorFromRef(color, 1.0f));
}

} // namespace

PreviewPresenter::PreviewPresenter() : createRenderTarget(CreateHwndTarget) {}

PreviewPresenter::~PreviewPresenter() {
    // The frame copies belong to the target: they go first, then the target, then the factory.
    ReleaseRenderTarget();
    renderer.reset();
    factory.Reset();
}

void PreviewPresenter::ReleaseRenderTarget() {
    frameCache.Clear();
    renderTarget.Reset();
}

std::int32_t PreviewPresenter::Width() const {
    return static_cast<std::int32_t>(std::max<LONG>(0, rectangle.right - rectangle.left));
}

std::int32_t PreviewPresenter::Height() const {
    return static_cast<std::int32_t>(std::max<LONG>(0, rectangle.bottom - rectangle.top));
}

HRESULT PreviewPresenter::Initialize(HWND targetWindow, const RECT& rect, bool makeTargetInBackground) {
    window = targetWindow;
    rectangle = rect;
    seekBar.SetSize(Width(), Height());
    FollowWindowDpi();
    const HRESULT hr = CreateDirect2DFactory(D2D1_FACTORY_TYPE_MULTI_THREADED, factory);
    if (FAILED(hr)) return hr;
    targetInBackground = makeTargetInBackground;
    return targetInBackground ? S_OK : EnsureRenderTarget();
}

D2D1_HWND_RENDER_TARGET_PROPERTIES PreviewPresenter::WindowTargetProperties() const {
    return D2D1::HwndRenderTargetProperties(window, D2D1::SizeU(static_cast<UINT32>(Width()), static_cast<UINT32>(Height())),
                                            D2D1_PRESENT_OPTIONS_NONE);
}

HRESULT PreviewPresenter::EnsureRenderTarget() {
    if (renderTarget) return S_OK;
    if (!factory || window == nullptr) return E_FAIL;
    frameCache.Clear();
    return createRenderTarget(factory.Get(), PixelTargetProperties(), WindowTargetProperties(),
                              renderTarget.ReleaseAndGetAddressOf());
}

void PreviewPresenter::TakeMadeTarget() {
    if (!AwaitingTarget()) return;
    if (!backgroundTarget.Started()) {
        RefreshThemeColors(); // the first pictures are of the background the window will have
        // A worker that cannot start leaves the target to this thread, as without one.
        if (!factory || window == nullptr ||
            FAILED(backgroundTarget.Start(factory.Get(), createRenderTarget, PixelTargetProperties(),
                                          WindowTargetProperties(), clearColor))) {
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
    frameCache.Clear();
    if (SUCCEEDED(made)) renderTarget = std::move(target);
}

void PreviewPresenter::Resize(const RECT& rect) {
    rectangle = rect;
    if (renderTarget &&
        FAILED(renderTarget->Resize(D2D1::SizeU(static_cast<UINT32>(Width()), static_cast<UINT32>(Height()))))) {
        ReleaseRenderTarget(); // made again at the next paint
    }
    seekBar.SetSize(Width(), Height());
    FollowWindowDpi(); // a move to a display of another scale arrives as a resize
}

void PreviewPresenter::FollowWindowDpi() {
    if (window != nullptr) seekBar.SetScale(static_cast<float>(WindowDpi(window)) / static_cast<float>(kDefaultDpi));
}

// Brings the target to the window's extents, re-creating it when it will not follow.
bool PreviewPresenter::MatchTargetToExtents() {
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

void PreviewPresenter::Render() {
    TakeMadeTarget();
    const bool drawable = !AwaitingTarget() && SUCCEEDED(EnsureRenderTarget()) && renderTarget && MatchTargetToExtents();
    // A window whose target is still being made has its frame chosen all the same.
    if (!drawable && !AwaitingTarget()) return;
    if (!loading) SelectFrameToDraw();
    RefreshThemeColors();
    if (!drawable) return;

    renderTarget->BeginDraw();
    DrawPicture(renderTarget.Get());
    if (renderTarget->EndDraw() == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) ReleaseRenderTarget();
}

void PreviewPresenter::DrawPicture(ID2D1RenderTarget* target) {
    target->Clear(clearColor);
    if (renderer && (!loading || keepFrameVisible) && renderer->GetFrameCount() > 0) {
        std::uint32_t index = renderer->GetCurrentFrameIndex();
        awaitingFrame = !renderer->IsFrameReady(index);
        if (awaitingFrame && shownFrame != kNoFrame) index = shownFrame;
        // A frame the target cannot take stays undrawn; the bar and the background still show.
        if (SUCCEEDED(frameCache.DrawFrame(target, *renderer, index))) shownFrame = index;
    }
    if (loading) {
        DrawLoadingIndicator(target, static_cast<float>(Width()), static_cast<float>(Height()), seekBar.Scale(),
                             indicatorColors);
    } else if (renderer) {
        DrawSeekBar(seekBar, target);
    }
}

HRESULT PreviewPresenter::RenderToBitmap(IWICBitmap* bitmap) {
    if (bitmap == nullptr) return E_POINTER;
    if (!factory) return E_FAIL;
    ComPtr<ID2D1RenderTarget> target;
    const HRESULT hr = factory->CreateWicBitmapRenderTarget(bitmap, PixelTargetProperties(), &target);
    if (FAILED(hr)) return hr;
    if (!loading) SelectFrameToDraw();
    RefreshThemeColors();
    target->BeginDraw();
    DrawPicture(target.Get());
    return target->EndDraw();
}

HRESULT PreviewPresenter::RenderToDC(HDC dc, const RECT& area) {
    if (dc == nullptr) return E_INVALIDARG;
    if (!factory) return E_FAIL;
    const D2D1_RENDER_TARGET_PROPERTIES properties = PixelTargetProperties(
        D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED));
    ComPtr<ID2D1DCRenderTarget> target;
    RETURN_IF_FAILED(factory->CreateDCRenderTarget(&properties, &target));
    RETURN_IF_FAILED(target->BindDC(dc, &area));
    if (!loading) SelectFrameToDraw();
    RefreshThemeColors();
    target->BeginDraw();
    DrawPicture(target.Get());
    return target->EndDraw();
}

void PreviewPresenter::RefreshThemeColors() {
    const std::uint32_t now = GetTickCount();
    if (lastThemeCheck != 0 && now - lastThemeCheck < 1000) return;
    lastThemeCheck = now;
    const bool light = IsLightTheme();
    clearColor = OpaqueColor(ChooseBackgroundColor(hostBackgroundSet, hostBackground));
    indicatorColors = IndicatorColorsFor(light, hostTextSet, hostText);
}

void PreviewPresenter::SetBackgroundColor(COLORREF color) {
    hostBackground = color;
    hostBackgroundSet = true;
    lastThemeCheck = 0;
}

void PreviewPresenter::SetTextColor(COLORREF color) {
    hostText = color;
    hostTextSet = true;
    lastThemeCheck = 0;
}

void PreviewPresenter::SetLoading(bool isLoading, bool keep) {
    loading = isLoading;
    keepFrameVisible = isLoading && keep;
}

void PreviewPresenter::SetRenderer(std::unique_ptr<IAnimatedRenderer> newRenderer) {
    frameCache.Clear();
    shownFrame = kNoFrame;
    awaitingFrame = false;
    renderer = std::move(newRenderer);
    seekBar.SetSize(Width(), Height());
    if (renderer) SyncWithRenderer();
}

HRESULT PreviewPresenter::GetCurrentFrame(IWICBitmapSource** bitmap, std::uint32_t* index) const {
    if (bitmap == nullptr) return E_POINTER;
    *bitmap = nullptr;
    if (!renderer || renderer->GetFrameCount() == 0) return E_FAIL;
    if (loading && !keepFrameVisible) return E_FAIL;
    std::uint32_t frame = 0;
    if (!HasTimeline()) {
        frame = seekBar.IsDragging() ? seekBar.FrameIndex() : playback.currentIndex;
        frame = static_cast<std::uint32_t>(std::min<std::uint64_t>(frame, renderer->GetFrameCount() - 1));
        if (!renderer->IsFrameReady(frame) && shownFrame != kNoFrame) frame = shownFrame; // what the screen shows
    }
    if (index != nullptr) *index = frame;
    return renderer->GetFrameBitmap(frame, bitmap);
}

} // namespace Quivane
