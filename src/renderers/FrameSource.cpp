#include "FrameSource.h"

#include "AreaScale.h"
#include "CanvasLimits.h"
#include "FormatTable.h"
#include "platform/HResult.h"
#include "platform/SharedBytesStream.h"
#include "platform/StreamBytes.h"
#include "platform/WicImaging.h"

namespace Quivane {

std::unique_ptr<FrameSource> CreateFrameSource(const FormatRow& format, const StopToken& stop) {
    return std::unique_ptr<FrameSource>(format.createSource != nullptr ? format.createSource(stop) : nullptr);
}

const FormatRow* ChooseFormatForStream(IStream* stream, const std::wstring& name) {
    std::uint8_t header[kSniffHeaderSize] = {};
    ULONG read = 0;
    if (stream != nullptr && SUCCEEDED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr))) {
        if (FAILED(ReadFully(stream, header, sizeof(header), read))) read = 0; // a host's read may be short
        stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    }
    return ChooseFormat(name, header, read > sizeof(header) ? sizeof(header) : read);
}

HRESULT FrameSource::OpenBytes(const FileBytes& bytes) {
    bytesStream_.Reset();
    RETURN_IF_FAILED(CreateSharedBytesStream(bytes, bytesStream_.ReleaseAndGetAddressOf()));
    return Open(bytesStream_.Get());
}

HRESULT OpenFromWholeStream(FrameSource& source, IStream* stream) {
    if (stream == nullptr) return E_POINTER;
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    RETURN_IF_FAILED(ReadWholeStream(stream, *bytes));
    return source.OpenBytes(bytes);
}

HRESULT CopyFrame(const FrameView& view, FramePixels& frame) {
    frame.width = view.width;
    frame.height = view.height;
    frame.delayMs = view.delayMs;
    frame.pixels.assign(view.pixels, view.pixels + view.Stride() * view.height);
    return S_OK;
}

namespace {
std::uint64_t PhysicalMemory() {
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof(memory);
    return GlobalMemoryStatusEx(&memory) ? memory.ullTotalPhys : 0;
}
} // namespace

HRESULT CheckCanvasSize(std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
    return CanvasFits(width, height, PhysicalMemory()) ? S_OK : E_OUTOFMEMORY;
}

HRESULT CheckRowSize(std::uint32_t width) {
    if (width == 0) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
    return RowsFit(width, PhysicalMemory()) ? S_OK : E_OUTOFMEMORY;
}

HRESULT FrameSource::ScaleFrame(std::uint32_t index, const ScaledFrameChooser& choose) {
    return UseFrame(index, [&](const FrameView& view) {
        ScaledFrameTarget target;
        RETURN_IF_FAILED(choose(view.width, view.height, view.delayMs, target));
        return ScalePremultipliedBgra(view.pixels, view.width, view.height, view.Stride(), target.pixels, target.width,
                                      target.height, target.stride)
                   ? S_OK
                   : E_OUTOFMEMORY;
    });
}

HRESULT ReadDecodedFrame(IWICImagingFactory* factory, IWICBitmapDecoder* decoder, UINT index, FramePixels& frame,
                         IWICBitmapFrameDecode** decoded) {
    if (factory == nullptr || decoder == nullptr) return E_POINTER;
    ComPtr<IWICBitmapFrameDecode> picture;
    RETURN_IF_FAILED(decoder->GetFrame(index, &picture));
    UINT width = 0, height = 0;
    RETURN_IF_FAILED(GetNonEmptySize(picture.Get(), width, height));
    RETURN_IF_FAILED(CheckCanvasSize(width, height));
    ComPtr<IWICFormatConverter> converter;
    RETURN_IF_FAILED(CreateConverter(factory, picture.Get(), GUID_WICPixelFormat32bppPBGRA, converter));
    RETURN_IF_FAILED(CopyPixelsToBuffer(converter.Get(), nullptr, width * 4, height, frame.pixels));
    frame.width = width;
    frame.height = height;
    if (decoded != nullptr) *decoded = picture.Detach();
    return S_OK;
}

} // namespace Quivane
