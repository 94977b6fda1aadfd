#include "DeviceFrameCache.h"

#include "platform/HResult.h"
#include "renderers/FrameFitting.h"

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

void DrawFitted(ID2D1RenderTarget* target, ID2D1Bitmap* bitmap) {
    const D2D1_SIZE_F targetSize = target->GetSize();
    const D2D1_SIZE_F bitmapSize = bitmap->GetSize();
    const RectF fit = FitCentered(targetSize.width, targetSize.height, bitmapSize.width, bitmapSize.height);
    target->DrawBitmap(bitmap, D2D1::RectF(fit.left, fit.top, fit.right, fit.bottom), 1.0f,
                       D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, nullptr);
}

} // namespace

HRESULT DeviceFrameCache::MakeCopy(ID2D1RenderTarget* target, const IAnimatedRenderer& frames, std::uint32_t index,
                                   ComPtr<ID2D1Bitmap>& bitmap) const {
    ComPtr<IWICBitmapSource> frame;
    RETURN_IF_FAILED(frames.GetFrameBitmap(index, &frame));
    return target->CreateBitmapFromWicBitmap(frame.Get(), nullptr, &bitmap);
}

HRESULT DeviceFrameCache::DrawFrame(ID2D1RenderTarget* target, const IAnimatedRenderer& frames, std::uint32_t index) {
    if (target == nullptr) return E_POINTER;
    if (index >= frames.GetFrameCount()) return E_INVALIDARG;
    if (cachedTarget && cachedTarget.Get() != target) {
        ComPtr<ID2D1Bitmap> once;
        RETURN_IF_FAILED(MakeCopy(target, frames, index, once));
        DrawFitted(target, once.Get());
        return S_OK;
    }
    cachedTarget = target;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->index == index) {
            entries.splice(entries.begin(), entries, it);
            DrawFitted(target, it->bitmap.Get());
            return S_OK;
        }
    }
    ComPtr<ID2D1Bitmap> bitmap;
    RETURN_IF_FAILED(MakeCopy(target, frames, index, bitmap));
    const D2D1_SIZE_U size = bitmap->GetPixelSize();
    const std::size_t frameBytes = static_cast<std::size_t>(size.width) * size.height * 4;
    entries.push_front(Entry{index, bitmap, frameBytes});
    bytes += frameBytes;
    EvictBeyondBounds();
    DrawFitted(target, bitmap.Get());
    return S_OK;
}

// The frame just drawn always stays, whatever its size.
void DeviceFrameCache::EvictBeyondBounds() {
    while (entries.size() > 1 && (entries.size() > maxFrames || bytes > maxBytes)) {
        bytes -= entries.back().bytes;
        entries.pop_back();
    }
}

void DeviceFrameCache::Clear() {
    entries.clear();
    bytes = 0;
    cachedTarget.Reset();
}

} // namespace Quivane
