#include "StoreMedia.h"

#include "SharedFrameBitmap.h"

namespace Quivane {

void StoreMedia::ShowFrame(std::uint32_t index) {
    const std::uint64_t count = store->FrameCount();
    if (count > 0) store->SetPlayhead(index < count ? index : static_cast<std::uint32_t>(count - 1));
}

std::shared_ptr<const FramePixels> StoreMedia::FramePicture(std::uint32_t index) const {
    std::shared_ptr<const FramePixels> frame = store->Frame(index);
    if (frame) store->FrameShown();
    return frame;
}

HRESULT StoreMedia::GetFrameBitmap(std::uint32_t index, IWICBitmapSource** out) const {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (index >= store->FrameCount()) return E_INVALIDARG;
    std::shared_ptr<const FramePixels> frame = store->Frame(index);
    if (!frame) return E_PENDING;
    if (wholeFrames) {
        WholeFrameReader reader = wholeFrames;
        return CreateComposedFrameBitmap(wholeWidth, wholeHeight,
                                         [reader, index](FramePixels& whole) { return reader(index, whole); }, out);
    }
    return CreateSharedFrameBitmap(std::move(frame), out);
}

} // namespace Quivane
