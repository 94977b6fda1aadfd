#include "SourceRenderer.h"

#include "platform/HResult.h"
#include "platform/WicImaging.h"
#include "formats/FormatSources.h"

#include <new>

namespace Quivane {

std::unique_ptr<IAnimatedRenderer> CreateRenderer(const FormatRow& format, const StopToken& stop) {
    return std::unique_ptr<IAnimatedRenderer>(new (std::nothrow) SourceRenderer(format, stop));
}

HRESULT SourceRenderer::OpenSource(IStream* stream, std::unique_ptr<FrameSource>& source) {
    duration = 0;
    position = 0;
    if (stream == nullptr) return E_POINTER;
    source = CreateFrameSource(format, stop);
    if (!source) return E_OUTOFMEMORY;
    RETURN_IF_FAILED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr));
    return source->Open(stream);
}

HRESULT SourceRenderer::AppendPixels(const FramePixels& frame) {
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(CreateImagingFactory(factory));
    ComPtr<IWICBitmap> bitmap;
    RETURN_IF_FAILED(CreateBitmapFromPixels(factory.Get(), frame.width, frame.height, GUID_WICPixelFormat32bppPBGRA,
                                            static_cast<UINT>(frame.Stride()), frame.pixels.data(),
                                            frame.pixels.size(), bitmap));
    AppendFrame(std::move(bitmap), frame.delayMs);
    return S_OK;
}

HRESULT SourceRenderer::DecodeStream(IStream* stream) {
    std::unique_ptr<FrameSource> source;
    RETURN_IF_FAILED(OpenSource(stream, source));
    const std::uint32_t count = source->FrameCount();
    ReserveFrames(count);
    FramePixels frame;
    for (std::uint32_t index = 0; index < count; ++index) {
        if (stop.ShouldStop()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        RETURN_IF_FAILED(source->ReadFrame(index, frame));
        RETURN_IF_FAILED(AppendPixels(frame));
    }
    if (source->IsVideo()) {
        duration = source->Duration();
        position = source->ShownPosition();
    }
    return S_OK;
}

HRESULT SourceRenderer::LoadAtPosition(IStream* stream, std::uint64_t target) {
    ClearFrames();
    std::unique_ptr<FrameSource> source;
    HRESULT hr = OpenSource(stream, source);
    if (SUCCEEDED(hr) && !source->IsVideo()) hr = E_NOTIMPL;
    FramePixels still;
    std::uint64_t shown = 0;
    if (SUCCEEDED(hr)) hr = source->ReadStillAt(target, still, shown);
    if (SUCCEEDED(hr)) hr = AppendPixels(still);
    if (FAILED(hr)) {
        ClearFrames();
        return hr;
    }
    duration = source->Duration();
    position = shown;
    FinishLoad();
    return S_OK;
}

} // namespace Quivane
