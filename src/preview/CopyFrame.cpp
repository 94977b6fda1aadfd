#include "FrameExport.h"

#include "platform/HResult.h"
#include "platform/WicImaging.h"

#include <cstring>
#include <vector>

namespace Quivane {

HRESULT MakeClipboardDib(IWICBitmapSource* frame, UniqueGlobalMemory& dib) {
    if (frame == nullptr) return E_POINTER;
    std::vector<std::uint8_t> pixels;
    UINT width = 0, height = 0;
    {
        ComPtr<IWICImagingFactory> factory;
        RETURN_IF_FAILED(CreateImagingFactory(factory));
        RETURN_IF_FAILED(GetNonEmptySize(frame, width, height));
        ComPtr<IWICFormatConverter> converter;
        RETURN_IF_FAILED(CreateConverter(factory.Get(), frame, GUID_WICPixelFormat32bppPBGRA, converter));
        RETURN_IF_FAILED(CopyPixelsToBuffer(converter.Get(), nullptr, 4 * width, height, pixels));
    }

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = -static_cast<LONG>(height); // top-down rows
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;

    UniqueGlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, sizeof(header) + pixels.size()));
    if (!block) return E_OUTOFMEMORY;
    auto* memory = static_cast<std::uint8_t*>(GlobalLock(block.Get()));
    if (memory == nullptr) return E_OUTOFMEMORY;
    std::memcpy(memory, &header, sizeof(header));
    std::memcpy(memory + sizeof(header), pixels.data(), pixels.size());
    GlobalUnlock(block.Get());
    dib = std::move(block);
    return S_OK;
}

HRESULT PutDibOnClipboard(HWND owner, UniqueGlobalMemory& dib) {
    if (!dib) return E_POINTER;
    if (!OpenClipboard(owner)) return HResultFromLastError();
    EmptyClipboard();
    if (SetClipboardData(CF_DIB, dib.Get()) == nullptr) {
        const HRESULT hr = HResultFromLastError();
        CloseClipboard();
        return hr;
    }
    static_cast<void>(dib.Release()); // the clipboard owns the block now
    CloseClipboard();
    return S_OK;
}

HRESULT CopyFrameToClipboard(HWND owner, IWICBitmapSource* frame) {
    UniqueGlobalMemory dib;
    RETURN_IF_FAILED(MakeClipboardDib(frame, dib));
    return PutDibOnClipboard(owner, dib);
}

} // namespace Quivane
