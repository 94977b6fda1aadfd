#include "PreviewPresenter.h"

#include "platform/HResult.h"

namespace Quivane {

using Microsoft::WRL::ComPtr;

PreviewPresenter::PreviewPresenter() = default;

// The drawing goes first: its frame copies and target, then its worker; the media last.
PreviewPresenter::~PreviewPresenter() = default;

HRESULT PreviewPresenter::Initialize(HWND targetWindow, const RECT& rect, bool makeTargetInBackground) {
    return drawing.Initialize(targetWindow, rect, makeTargetInBackground);
}

void PreviewPresenter::Resize(const RECT& rect) { drawing.Resize(rect); }

void PreviewPresenter::TakeMadeTarget() { drawing.TakeMadeTarget(); }

void PreviewPresenter::Render() {
    drawing.TakeMadeTarget();
    const bool drawable = drawing.ReadyWindowTarget();
    // A window whose target is still being made has its frame chosen all the same.
    if (!drawable && !drawing.AwaitingTarget()) return;
    PrepareFrame();
    if (drawable) drawing.DrawToWindow();
}

void PreviewPresenter::PrepareFrame() {
    if (!drawing.IsLoading()) SelectFrameToDraw();
    drawing.Colors().Refresh();
}

void PreviewPresenter::SelectFrameToDraw() {
    if (media) media->ShowFrame(playback.SelectFrame());
}

HRESULT PreviewPresenter::RenderToBitmap(IWICBitmap* bitmap) {
    ComPtr<ID2D1RenderTarget> target;
    RETURN_IF_FAILED(drawing.MakeBitmapTarget(bitmap, target));
    PrepareFrame();
    return drawing.DrawOn(target.Get());
}

HRESULT PreviewPresenter::RenderToDC(HDC dc, const RECT& area) {
    ComPtr<ID2D1RenderTarget> target;
    RETURN_IF_FAILED(drawing.MakeDCTarget(dc, area, target));
    PrepareFrame();
    return drawing.DrawOnDC(target.Get());
}

bool PreviewPresenter::RefreshThemeColors() { return drawing.Colors().Refresh(); }

void PreviewPresenter::SetBackgroundColor(COLORREF color) { drawing.Colors().SetHostBackground(color); }

void PreviewPresenter::SetTextColor(COLORREF color) { drawing.Colors().SetHostText(color); }

void PreviewPresenter::SetLoading(bool loading, bool keepFrameVisible) { drawing.SetLoading(loading, keepFrameVisible); }

void PreviewPresenter::SetMedia(std::unique_ptr<DecodedMedia> newMedia) {
    // Neither the drawing nor playback may hold the old media past here.
    drawing.SetFrames(newMedia.get());
    playback.SetMedia(newMedia.get());
    media = std::move(newMedia);
    if (media) SyncWithMedia();
}

void PreviewPresenter::SetViewOptions(const ViewOptions& options) {
    drawing.SetOptions(options);
    playback.SetSpeedPercent(options.SpeedPercent());
}

HRESULT PreviewPresenter::GetCurrentFrame(IWICBitmapSource** bitmap, std::uint32_t* index) const {
    if (bitmap == nullptr) return E_POINTER;
    *bitmap = nullptr;
    if (!media || media->FrameCount() == 0) return E_FAIL;
    if (!drawing.ShowsFrame()) return E_FAIL;
    const std::uint32_t frame = playback.CurrentFrame();
    if (index != nullptr) *index = frame;
    return media->GetFrameBitmap(frame, bitmap);
}

} // namespace Quivane
