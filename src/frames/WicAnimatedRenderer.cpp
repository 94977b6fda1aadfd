#include "WicAnimatedRenderer.h"

#include <algorithm>

namespace Quivane {

WicAnimatedRenderer::~WicAnimatedRenderer() = default;

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
    thumbnailFrameIndex = static_cast<std::uint32_t>(frames.size() / 2);
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

void WicAnimatedRenderer::ClearFrames() {
    frames.clear();
    currentFrame = 0;
    thumbnailFrameIndex = 0;
}

void WicAnimatedRenderer::AppendFrame(Microsoft::WRL::ComPtr<IWICBitmapSource> bitmap, std::uint32_t delayMs) {
    frames.push_back(AnimatedFrame{std::move(bitmap), delayMs});
}

} // namespace Quivane
