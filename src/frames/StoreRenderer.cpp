#include "StoreRenderer.h"

#include "SharedFrameBitmap.h"

namespace Quivane {

void StoreRenderer::SetCurrentFrame(std::uint32_t index) {
    const std::uint32_t count = store->FrameCount();
    current = count == 0 ? 0 : (index < count ? index : count - 1);
    store->SetPlayhead(current);
}

std::shared_ptr<const FramePixels> StoreRenderer::FramePicture(std::uint32_t index) const {
    std::shared_ptr<const FramePixels> frame = store->Frame(index);
    if (frame) store->FrameShown();
    return frame;
}

HRESULT StoreRenderer::GetFrameBitmap(std::uint32_t index, IWICBitmapSource** out) const {
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
