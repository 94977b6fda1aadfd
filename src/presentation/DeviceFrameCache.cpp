#include "DeviceFrameCache.h"

#include "platform/HResult.h"
#include "imaging/AreaScale.h"
#include "FrameFitting.h"
#include "frames/SharedFrameBitmap.h"

#include <algorithm>
#include <new>
#include <vector>

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

void DrawFitted(ID2D1RenderTarget* target, ID2D1Bitmap* bitmap, const FrameLook& look) {
    const D2D1_SIZE_F targetSize = target->GetSize();
    const D2D1_SIZE_F bitmapSize = bitmap->GetSize();
    const FramePlacement place =
        PlaceFrame(targetSize.width, targetSize.height, bitmapSize.width, bitmapSize.height, look.pixelExact);
    const D2D1_RECT_F area = D2D1::RectF(place.rect.left, place.rect.top, place.rect.right, place.rect.bottom);
    if (look.underlay != nullptr) {
        // The pattern starts at the frame's corner, wherever the frame stands.
        look.underlay->SetTransform(D2D1::Matrix3x2F::Translation(area.left, area.top));
        target->FillRectangle(area, look.underlay);
    }
    target->DrawBitmap(bitmap, area, 1.0f,
                       place.nearestNeighbour ? D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR
                                              : D2D1_BITMAP_INTERPOLATION_MODE_LINEAR,
                       nullptr);
}

} // namespace

// A frame far larger than the target (a hostile 16000-pixel canvas, say) is
// scaled to its fitted size first: the device copy then costs what the target
// shows, not what the file declares. False when it is not such a frame.
bool DeviceFrameCache::MakeScaledCopy(ID2D1RenderTarget* target, const FramePixels& frame,
                                      ComPtr<ID2D1Bitmap>& bitmap, HRESULT& hr) const {
    if (frame.pixels.size() <= kScaleFramesAboveBytes) return false;
    const D2D1_SIZE_U area = target->GetPixelSize();
    if (area.width == 0 || area.height == 0) return false;
    const RectF fit = FitCentered(static_cast<float>(area.width), static_cast<float>(area.height),
                                  static_cast<float>(frame.width), static_cast<float>(frame.height));
    const auto width = static_cast<std::uint32_t>(std::max(1.0f, fit.right - fit.left + 0.5f));
    const auto height = static_cast<std::uint32_t>(std::max(1.0f, fit.bottom - fit.top + 0.5f));
    if (width >= frame.width || height >= frame.height) return false;
    std::vector<std::uint8_t> scaled;
    try {
        scaled.resize(static_cast<std::size_t>(width) * height * 4);
    } catch (const std::bad_alloc&) {
        return false; // the platform may still manage the frame as it is
    }
    if (!ScalePremultipliedBgra(frame.pixels.data(), frame.width, frame.height, frame.Stride(), scaled.data(), width,
                                height, static_cast<std::size_t>(width) * 4)) {
        return false;
    }
    const D2D1_BITMAP_PROPERTIES properties =
        D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED));
    hr = target->CreateBitmap(D2D1::SizeU(width, height), scaled.data(), width * 4, properties, &bitmap);
    return true;
}

HRESULT DeviceFrameCache::MakeCopy(ID2D1RenderTarget* target, const DecodedMedia& frames, std::uint32_t index,
                                   ComPtr<ID2D1Bitmap>& bitmap) const {
    if (const std::shared_ptr<const FramePixels> picture = frames.FramePicture(index)) {
        HRESULT hr = S_OK;
        if (MakeScaledCopy(target, *picture, bitmap, hr)) return hr;
        // The picture kept for showing: the media's frame bitmap is the one
        // for saving, which may be composed again at full size.
        ComPtr<IWICBitmapSource> shown;
        RETURN_IF_FAILED(CreateSharedFrameBitmap(picture, &shown));
        return target->CreateBitmapFromWicBitmap(shown.Get(), nullptr, &bitmap);
    }
    ComPtr<IWICBitmapSource> frame;
    RETURN_IF_FAILED(frames.GetFrameBitmap(index, &frame));
    return target->CreateBitmapFromWicBitmap(frame.Get(), nullptr, &bitmap);
}

HRESULT DeviceFrameCache::DrawFrame(ID2D1RenderTarget* target, const DecodedMedia& frames, std::uint32_t index,
                                    const FrameLook& look) {
    if (target == nullptr) return E_POINTER;
    if (index >= frames.FrameCount()) return E_INVALIDARG;
    if (keptTarget.Get() != target) {
        ComPtr<ID2D1Bitmap> once;
        RETURN_IF_FAILED(MakeCopy(target, frames, index, once));
        DrawFitted(target, once.Get(), look);
        return S_OK;
    }
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->index == index) {
            entries.splice(entries.begin(), entries, it);
            DrawFitted(target, it->bitmap.Get(), look);
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
    DrawFitted(target, bitmap.Get(), look);
    return S_OK;
}

// The frame just drawn always stays, whatever its size.
void DeviceFrameCache::EvictBeyondBounds() {
    while (entries.size() > 1 && (entries.size() > maxFrames || bytes > maxBytes)) {
        bytes -= entries.back().bytes;
        entries.pop_back();
    }
}

void DeviceFrameCache::KeepCopiesFor(ID2D1RenderTarget* target) {
    if (keptTarget.Get() == target) return;
    Clear();
    keptTarget = target;
}

void DeviceFrameCache::Clear() {
    entries.clear();
    bytes = 0;
}

} // namespace Quivane
