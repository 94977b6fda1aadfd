#include "ImageFiles.h"

#include "platform/HResult.h"
#include "platform/WicImaging.h"

#include <shlwapi.h>

namespace QuivaneTool {

using Microsoft::WRL::ComPtr;

HRESULT CreateFolderAndParents(const std::wstring& path) {
    // Each folder on the way first. One that cannot be made (a drive or a
    // share's root, say) is left to the last step to tell of.
    for (std::size_t at = path.find_first_of(L"\\/", 1); at != std::wstring::npos && at + 1 < path.size();
         at = path.find_first_of(L"\\/", at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return HResultFromLastError();
    return S_OK;
}

HRESULT OpenReadStream(const std::wstring& path, ComPtr<IStream>& stream) {
    return SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL, FALSE,
                                  nullptr, stream.ReleaseAndGetAddressOf());
}

HRESULT BeginStraightAlphaPng(IWICImagingFactory* factory, const std::wstring& path, UINT width, UINT height,
                              ComPtr<IWICBitmapEncoder>& encoder, ComPtr<IWICBitmapFrameEncode>& frame) {
    ComPtr<IWICStream> stream;
    RETURN_IF_FAILED(factory->CreateStream(&stream));
    RETURN_IF_FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE));
    RETURN_IF_FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder));
    RETURN_IF_FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache));
    ComPtr<IPropertyBag2> options;
    RETURN_IF_FAILED(encoder->CreateNewFrame(&frame, &options));
    RETURN_IF_FAILED(frame->Initialize(options.Get()));
    RETURN_IF_FAILED(frame->SetSize(width, height));
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    RETURN_IF_FAILED(frame->SetPixelFormat(&format));
    return format == GUID_WICPixelFormat32bppBGRA ? S_OK : WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
}

HRESULT WriteStraightAlphaPng(IWICBitmapSource* source, const std::wstring& path) {
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(Quivane::CreateImagingFactory(factory));
    ComPtr<IWICFormatConverter> converter;
    RETURN_IF_FAILED(Quivane::CreateConverter(factory.Get(), source, GUID_WICPixelFormat32bppBGRA, converter));
    UINT width = 0;
    UINT height = 0;
    RETURN_IF_FAILED(Quivane::GetNonEmptySize(converter.Get(), width, height));

    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    RETURN_IF_FAILED(BeginStraightAlphaPng(factory.Get(), path, width, height, encoder, frame));
    RETURN_IF_FAILED(frame->WriteSource(converter.Get(), nullptr));
    RETURN_IF_FAILED(frame->Commit());
    return encoder->Commit();
}

HRESULT WriteDibSectionPng(HBITMAP bitmap, const std::wstring& path) {
    BITMAP shape = {};
    if (GetObjectW(bitmap, sizeof(shape), &shape) == 0 || shape.bmBitsPixel != 32) return E_INVALIDARG;
    const UINT width = static_cast<UINT>(shape.bmWidth);
    const UINT height = static_cast<UINT>(shape.bmHeight);
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(Quivane::CreateImagingFactory(factory));
    ComPtr<IWICBitmap> picture;
    RETURN_IF_FAILED(factory->CreateBitmap(width, height, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad, &picture));
    {
        const WICRect all = {0, 0, static_cast<INT>(width), static_cast<INT>(height)};
        ComPtr<IWICBitmapLock> lock;
        RETURN_IF_FAILED(picture->Lock(&all, WICBitmapLockWrite, &lock));
        UINT size = 0, stride = 0;
        BYTE* target = nullptr;
        RETURN_IF_FAILED(lock->GetDataPointer(&size, &target));
        RETURN_IF_FAILED(lock->GetStride(&stride));
        if (stride != width * 4) return E_UNEXPECTED;
        // GDI hands the rows over top-down whichever way the section stores them
        // (the section's own header does not tell reliably).
        BITMAPINFO format = {};
        format.bmiHeader.biSize = sizeof(format.bmiHeader);
        format.bmiHeader.biWidth = static_cast<LONG>(width);
        format.bmiHeader.biHeight = -static_cast<LONG>(height);
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        HDC screen = GetDC(nullptr);
        const int rows = GetDIBits(screen, bitmap, 0, height, target, &format, DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
        if (rows != static_cast<int>(height)) return E_FAIL;
    }
    return WriteStraightAlphaPng(picture.Get(), path);
}

} // namespace QuivaneTool
