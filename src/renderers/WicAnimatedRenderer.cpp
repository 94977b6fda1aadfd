#include "WicAnimatedRenderer.h"

#include "FrameFitting.h"

#include <algorithm>

namespace Quivane {

WicAnimatedRenderer::~WicAnimatedRenderer() {
    // The target goes first, then the bitmaps made for it, then the frames.
    deviceTarget.Reset();
    deviceBitmaps.clear();
    frames.clear();
}

HRESULT WicAnimatedRenderer::Load(IStream* stream) {
    ClearFrames();
    if (stream == nullptr) return E_POINTER;
    const HRESULT hr = DecodeStream(stream);
    if (FAILED(hr)) {
        ClearFrames();
        return hr;
    }
    FinishLoad();
    return S_OK;
}

void WicAnimatedRenderer::FinishLoad() {
    deviceBitmaps.resize(frames.size());
    thumbnailFrameIndex = static_cast<std::uint32_t>(frames.size() / 2);
}

void WicAnimatedRenderer::DrawCurrentFrame(ID2D1RenderTarget* target) {
    if (target == nullptr || frames.empty()) return;
    if (FAILED(EnsureDeviceBitmap(target, currentFrame))) return;
    ID2D1Bitmap* bitmap = deviceBitmaps[currentFrame].bitmap.Get();
    if (bitmap == nullptr) return;

    const D2D1_SIZE_F targetSize = target->GetSize();
    const D2D1_SIZE_F bitmapSize = bitmap->GetSize();
    const RectF fit = FitCentered(targetSize.width, targetSize.height, bitmapSize.width, bitmapSize.height);
    const D2D1_RECT_F destination = D2D1::RectF(fit.left, fit.top, fit.right, fit.bottom);
    target->DrawBitmap(bitmap, destination, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, nullptr);
}

void WicAnimatedRenderer::SetViewSize(std::int32_t width, std::int32_t height) {
    viewWidth = width;
    viewHeight = height;
}

std::uint64_t WicAnimatedRenderer::GetFrameCount() const { return frames.size(); }

std::uint32_t WicAnimatedRenderer::GetCurrentFrameIndex() const { return currentFrame; }

std::uint32_t WicAnimatedRenderer::GetFrameDelay(std::uint32_t index) const {
    return index < frames.size() ? frames[index].delayMs : 100;
}

void WicAnimatedRenderer::SetCurrentFrame(std::uint32_t index) {
    if (frames.empty()) {
        currentFrame = 0;
        return;
    }
    currentFrame = static_cast<std::uint32_t>(std::min<std::uint64_t>(index, frames.size() - 1));
}

bool WicAnimatedRenderer::IsAnimated() const { return frames.size() >= 2; }

std::uint32_t WicAnimatedRenderer::GetThumbnailFrameIndex() const { return thumbnailFrameIndex; }

HRESULT WicAnimatedRenderer::GetFrameBitmap(std::uint32_t index, IWICBitmapSource** out) const {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (index >= frames.size() || !frames[index].bitmap) return E_INVALIDARG;
    return frames[index].bitmap.CopyTo(out);
}

bool WicAnimatedRenderer::IsTimeBased() const { return false; }

std::uint64_t WicAnimatedRenderer::GetDuration() const { return 0; }

std::uint64_t WicAnimatedRenderer::GetPosition() const { return 0; }

HRESULT WicAnimatedRenderer::LoadAtPosition(IStream*, std::uint64_t) { return E_NOTIMPL; }

std::size_t WicAnimatedRenderer::GetCachedDeviceBitmapCount() const {
    return static_cast<std::size_t>(std::count_if(deviceBitmaps.begin(), deviceBitmaps.end(),
                                                  [](const DeviceFrameBitmap& entry) { return entry.bitmap; }));
}

void WicAnimatedRenderer::ClearFrames() {
    frames.clear();
    deviceBitmaps.clear();
    currentFrame = 0;
    viewWidth = 0;
    viewHeight = 0;
    thumbnailFrameIndex = 0;
    deviceTarget.Reset();
}

void WicAnimatedRenderer::ReleaseDeviceBitmaps() {
    for (DeviceFrameBitmap& entry : deviceBitmaps) entry.bitmap.Reset();
}

HRESULT WicAnimatedRenderer::EnsureDeviceBitmap(ID2D1RenderTarget* target, std::uint32_t index) {
    if (target == nullptr || index >= frames.size()) return E_INVALIDARG;
    if (deviceTarget.Get() != target) {
        // Bitmaps made for one target are never drawn on another.
        ReleaseDeviceBitmaps();
        deviceTarget = target;
    }

    DeviceFrameBitmap& entry = deviceBitmaps[index];
    entry.delayMs = frames[index].delayMs;
    if (entry.bitmap) return S_OK;

    ComPtr<ID2D1Bitmap> bitmap;
    const HRESULT hr = target->CreateBitmapFromWicBitmap(frames[index].bitmap.Get(), nullptr, &bitmap);
    if (FAILED(hr)) return hr;
    const D2D1_SIZE_F size = bitmap->GetSize();
    entry.bitmap = bitmap;
    entry.width = static_cast<std::int32_t>(size.width);
    entry.height = static_cast<std::int32_t>(size.height);
    return S_OK;
}

void WicAnimatedRenderer::AppendFrame(Microsoft::WRL::ComPtr<IWICBitmapSource> bitmap, std::uint32_t delayMs) {
    frames.push_back(AnimatedFrame{std::move(bitmap), delayMs});
}

} // namespace Quivane
