#include "WicImaging.h"

#include "HResult.h"
#include "OwnedHandles.h"

#include <limits>

namespace Quivane {

HRESULT CreateImagingFactory(ComPtr<IWICImagingFactory>& factory) {
    return CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                            IID_PPV_ARGS(factory.ReleaseAndGetAddressOf()));
}

HRESULT CreateDecoder(IWICImagingFactory* factory, IStream* stream, ComPtr<IWICBitmapDecoder>& decoder) {
    return factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnLoad,
                                            decoder.ReleaseAndGetAddressOf());
}

HRESULT GetNonEmptySize(IWICBitmapSource* source, UINT& width, UINT& height) {
    width = height = 0;
    RETURN_IF_FAILED(source->GetSize(&width, &height));
    return (width == 0 || height == 0) ? E_FAIL : S_OK;
}

HRESULT CreateConverter(IWICImagingFactory* factory, IWICBitmapSource* source, REFWICPixelFormatGUID format,
                        ComPtr<IWICFormatConverter>& converter) {
    RETURN_IF_FAILED(factory->CreateFormatConverter(converter.ReleaseAndGetAddressOf()));
    return converter->Initialize(source, format, WICBitmapDitherTypeNone, nullptr, 0.0,
                                 WICBitmapPaletteTypeMedianCut);
}

bool ReadMetadataUInt(IWICMetadataQueryReader* reader, const wchar_t* name, std::uint32_t& value) {
    if (reader == nullptr) return false;
    ScopedPropVariant variant;
    if (FAILED(reader->GetMetadataByName(name, variant.Address()))) return false;
    switch (variant.Get().vt) {
    case VT_UI1: value = variant.Get().bVal; return true;
    case VT_UI2: value = variant.Get().uiVal; return true;
    case VT_UI4: value = variant.Get().ulVal; return true;
    default: return false;
    }
}

HRESULT CopyPixelsToBuffer(IWICBitmapSource* source, const WICRect* rect, UINT stride, UINT rows,
                           std::vector<std::uint8_t>& buffer) {
    const std::size_t size = static_cast<std::size_t>(stride) * rows;
    if (size > std::numeric_limits<UINT>::max()) return E_OUTOFMEMORY; // CopyPixels takes a 32-bit size
    buffer.assign(size, 0);
    return source->CopyPixels(rect, stride, static_cast<UINT>(size), buffer.data());
}

HRESULT CreateBitmapFromPixels(IWICImagingFactory* factory, UINT width, UINT height, REFWICPixelFormatGUID format,
                               UINT stride, const std::uint8_t* pixels, std::size_t size, ComPtr<IWICBitmap>& bitmap) {
    if (size > std::numeric_limits<UINT>::max()) return E_OUTOFMEMORY;
    return factory->CreateBitmapFromMemory(width, height, format, stride, static_cast<UINT>(size),
                                           const_cast<BYTE*>(pixels), bitmap.ReleaseAndGetAddressOf());
}

} // namespace Quivane
