#include "StoreRenderer.h"

#include "platform/HResult.h"
#include "platform/WicImaging.h"

namespace Quivane {

void StoreRenderer::SetCurrentFrame(std::uint32_t index) {
    const std::uint32_t count = store->FrameCount();
    current = count == 0 ? 0 : (index < count ? index : count - 1);
    store->SetPlayhead(current);
}

HRESULT StoreRenderer::GetFrameBitmap(std::uint32_t index, IWICBitmapSource** out) const {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (index >= store->FrameCount()) return E_INVALIDARG;
    const std::shared_ptr<const FramePixels> frame = store->Frame(index);
    if (!frame) return E_PENDING;
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(CreateImagingFactory(factory));
    ComPtr<IWICBitmap> bitmap;
    RETURN_IF_FAILED(CreateBitmapFromPixels(factory.Get(), frame->width, frame->height, GUID_WICPixelFormat32bppPBGRA,
                                            static_cast<UINT>(frame->Stride()), frame->pixels.data(),
                                            frame->pixels.size(), bitmap));
    *out = bitmap.Detach();
    return S_OK;
}

} // namespace Quivane
