#include "ApngRenderer.h"

#include "ApngComposition.h"
#include "CanvasLimits.h"
#include "LoadStopCondition.h"
#include "PngChunks.h"
#include "platform/HResult.h"
#include "platform/WicImaging.h"

#include <shlwapi.h>

#include <cstring>
#include <vector>

namespace Quivane {
namespace {

const HRESULT kCancelled = HRESULT_FROM_WIN32(ERROR_CANCELLED);
constexpr ULONG kReadBlock = 64 * 1024;
constexpr std::uint32_t kPlainFrameDelayMs = 80;

HRESULT ReadPngBytes(IStream* stream, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (stream == nullptr) return E_POINTER;
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    if (ShouldStopLoading()) return kCancelled;
    for (;;) {
        const std::size_t used = bytes.size();
        bytes.resize(used + kReadBlock);
        ULONG read = 0;
        const HRESULT hr = stream->Read(bytes.data() + used, kReadBlock, &read);
        bytes.resize(used + (FAILED(hr) ? 0 : read));
        if (FAILED(hr)) return hr;
        if (read == 0) {
            stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
            return S_OK;
        }
        if (ShouldStopLoading()) return kCancelled;
    }
}

HRESULT DecodeFramePng(IWICImagingFactory* factory, const std::vector<std::uint8_t>& png, std::uint32_t width,
                       std::uint32_t height, std::vector<std::uint8_t>& pixels) {
    pixels.clear();
    if (factory == nullptr || png.empty()) return E_INVALIDARG;
    if (png.size() > UINT_MAX) return E_OUTOFMEMORY;
    ComPtr<IStream> stream;
    stream.Attach(SHCreateMemStream(png.data(), static_cast<UINT>(png.size())));
    if (!stream) return E_FAIL;
    ComPtr<IWICBitmapDecoder> decoder;
    RETURN_IF_FAILED(CreateDecoder(factory, stream.Get(), decoder));
    ComPtr<IWICBitmapFrameDecode> frame;
    RETURN_IF_FAILED(decoder->GetFrame(0, &frame));
    UINT decodedWidth = 0, decodedHeight = 0;
    RETURN_IF_FAILED(frame->GetSize(&decodedWidth, &decodedHeight));
    if (decodedWidth != width || decodedHeight != height) return E_FAIL;
    ComPtr<IWICFormatConverter> converter;
    RETURN_IF_FAILED(CreateConverter(factory, frame.Get(), GUID_WICPixelFormat32bppPBGRA, converter));
    return CopyPixelsToBuffer(converter.Get(), nullptr, width * 4, height, pixels);
}

HRESULT AppendCanvasFrame(IWICImagingFactory* factory, const ApngCanvas& canvas, std::uint32_t width,
                          std::uint32_t height, std::uint32_t delayMs, std::vector<AnimatedFrame>& frames) {
    ComPtr<IWICBitmap> bitmap;
    RETURN_IF_FAILED(factory->CreateBitmap(width, height, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad, &bitmap));
    const WICRect all = {0, 0, static_cast<INT>(width), static_cast<INT>(height)};
    ComPtr<IWICBitmapLock> lock;
    RETURN_IF_FAILED(bitmap->Lock(&all, WICBitmapLockWrite, &lock));
    UINT size = 0;
    BYTE* data = nullptr;
    RETURN_IF_FAILED(lock->GetDataPointer(&size, &data));
    UINT stride = 0;
    RETURN_IF_FAILED(lock->GetStride(&stride));
    if (data == nullptr || size < canvas.ByteSize() || stride < canvas.Stride()) return E_FAIL;
    for (std::uint32_t row = 0; row < height; ++row) {
        std::memcpy(data + static_cast<std::size_t>(row) * stride, canvas.Pixels() + row * canvas.Stride(),
                    canvas.Stride());
    }
    lock.Reset();
    frames.push_back(AnimatedFrame{bitmap, delayMs});
    return S_OK;
}

HRESULT DecodeAllFramesWithWic(IWICImagingFactory* factory, IStream* stream, std::vector<AnimatedFrame>& frames) {
    ComPtr<IWICBitmapDecoder> decoder;
    RETURN_IF_FAILED(CreateDecoder(factory, stream, decoder));
    UINT count = 0;
    RETURN_IF_FAILED(decoder->GetFrameCount(&count));
    frames.reserve(frames.size() + count);
    for (UINT i = 0; i < count; ++i) {
        if (ShouldStopLoading()) return kCancelled;
        ComPtr<IWICBitmapFrameDecode> frame;
        RETURN_IF_FAILED(decoder->GetFrame(i, &frame));
        ComPtr<IWICFormatConverter> converter;
        RETURN_IF_FAILED(CreateConverter(factory, frame.Get(), GUID_WICPixelFormat32bppPBGRA, converter));
        frames.push_back(AnimatedFrame{converter, kPlainFrameDelayMs}); // decodes whenever it is read
    }
    return S_OK;
}

HRESULT ComposeApngFrames(IWICImagingFactory* factory, const ApngParseState& state,
                          std::vector<AnimatedFrame>& frames) {
    const std::uint32_t width = state.CanvasWidth();
    const std::uint32_t height = state.CanvasHeight();
    if (width == 0 || height == 0) return E_FAIL;
    if (width > kMaxCanvasSide || height > kMaxCanvasSide) return E_OUTOFMEMORY;
    ApngCanvas canvas(width, height);
    frames.reserve(state.controls.size());
    std::vector<std::uint8_t> pixels;
    for (const ApngFrameControl& control : state.controls) {
        if (ShouldStopLoading()) return kCancelled;
        if (IsSkippedControl(control)) continue;
        if (!ApngRegionFits(width, height, control)) return E_FAIL; // overhanging regions are errors, not clipped
        RETURN_IF_FAILED(DecodeFramePng(factory, BuildFramePng(state.ihdr, state.ancillaryChunks, control),
                                        control.width, control.height, pixels));
        canvas.Draw(control, pixels.data());
        RETURN_IF_FAILED(
            AppendCanvasFrame(factory, canvas, width, height, ApngDelayMs(control.delay_num, control.delay_den), frames));
        canvas.Dispose(control);
    }
    return S_OK;
}

} // namespace

HRESULT ApngRenderer::DecodeStream(IStream* stream) {
    std::vector<std::uint8_t> bytes;
    RETURN_IF_FAILED(ReadPngBytes(stream, bytes));
    if (bytes.size() < 8 || std::memcmp(bytes.data(), kPngSignature, 8) != 0) return E_FAIL;
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(CreateImagingFactory(factory));
    ApngParseState state;
    switch (ParseApngChunks(bytes.data(), bytes.size(), state, [] { return ShouldStopLoading(); })) {
    case ChunkWalkResult::Ok: break;
    case ChunkWalkResult::Malformed: return E_FAIL;
    case ChunkWalkResult::Stopped: return kCancelled;
    }
    if (!state.sawIHDR) return E_FAIL;

    std::vector<AnimatedFrame> frames;
    if (state.sawAcTL && !state.controls.empty()) {
        RETURN_IF_FAILED(ComposeApngFrames(factory.Get(), state, frames));
    }
    if (frames.empty()) {
        // No animation, or every frame control skipped: the platform shows the file as it is.
        stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
        RETURN_IF_FAILED(DecodeAllFramesWithWic(factory.Get(), stream, frames));
    }
    ReserveFrames(frames.size());
    for (AnimatedFrame& frame : frames) {
        if (ShouldStopLoading()) return kCancelled;
        AppendFrame(std::move(frame.bitmap), frame.delayMs);
    }
    return S_OK;
}

} // namespace Quivane
