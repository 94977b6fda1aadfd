#include "ImageFiles.h"

#include "platform/HResult.h"
#include "platform/WicImaging.h"

#include <shlwapi.h>

namespace QuivaneTool {

using Microsoft::WRL::ComPtr;

HRESULT OpenReadStream(const std::wstring& path, ComPtr<IStream>& stream) {
    return SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL, FALSE,
                                  nullptr, stream.ReleaseAndGetAddressOf());
}

HRESULT WriteStraightAlphaPng(IWICBitmapSource* source, const std::wstring& path) {
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(Quivane::CreateImagingFactory(factory));
    ComPtr<IWICFormatConverter> converter;
    RETURN_IF_FAILED(Quivane::CreateConverter(factory.Get(), source, GUID_WICPixelFormat32bppBGRA, converter));
    UINT width = 0;
    UINT height = 0;
    RETURN_IF_FAILED(Quivane::GetNonEmptySize(converter.Get(), width, height));

    ComPtr<IWICStream> stream;
    RETURN_IF_FAILED(factory->CreateStream(&stream));
    RETURN_IF_FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE));
    ComPtr<IWICBitmapEncoder> encoder;
    RETURN_IF_FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder));
    RETURN_IF_FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache));
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    RETURN_IF_FAILED(encoder->CreateNewFrame(&frame, &options));
    RETURN_IF_FAILED(frame->Initialize(options.Get()));
    RETURN_IF_FAILED(frame->SetSize(width, height));
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    RETURN_IF_FAILED(frame->SetPixelFormat(&format));
    if (format != GUID_WICPixelFormat32bppBGRA) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    RETURN_IF_FAILED(frame->WriteSource(converter.Get(), nullptr));
    RETURN_IF_FAILED(frame->Commit());
    return encoder->Commit();
}

} // namespace QuivaneTool
