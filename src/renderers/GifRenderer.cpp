#include "GifRenderer.h"

#include "GifComposition.h"
#include "GifControlBlocks.h"
#include "LoadStopCondition.h"
#include "platform/HResult.h"
#include "platform/StreamBytes.h"
#include "platform/WicImaging.h"

#include <algorithm>
#include <vector>

namespace Quivane {
namespace {

// The logical screen size, or 0 x 0 when the file does not give a usable one.
void ReadLogicalScreenSize(IWICBitmapDecoder* decoder, UINT& width, UINT& height) {
    width = height = 0;
    ComPtr<IWICMetadataQueryReader> reader;
    if (FAILED(decoder->GetMetadataQueryReader(&reader))) return;
    std::uint32_t value = 0;
    if (ReadMetadataUInt(reader.Get(), L"/logscrdesc/Width", value)) width = value;
    value = 0;
    if (ReadMetadataUInt(reader.Get(), L"/logscrdesc/Height", value)) height = value;
}

HRESULT ChooseCanvasSize(IWICBitmapDecoder* decoder, UINT& width, UINT& height) {
    ReadLogicalScreenSize(decoder, width, height);
    if (width == 0 || height == 0) {
        ComPtr<IWICBitmapFrameDecode> first;
        RETURN_IF_FAILED(decoder->GetFrame(0, &first));
        RETURN_IF_FAILED(GetNonEmptySize(first.Get(), width, height));
    }
    if (width > kMaxCanvasSide || height > kMaxCanvasSide) return E_OUTOFMEMORY;
    return S_OK;
}

// `walked` is the control block the file itself puts in front of this image;
// it stands in only when the platform reports none.
GifFrameInfo ReadFrameInfo(IWICBitmapFrameDecode* frame, UINT decodedWidth, UINT decodedHeight,
                           const GifControlBlock& walked) {
    GifFrameInfo info;
    info.width = decodedWidth;
    info.height = decodedHeight;
    bool controlReported = false;
    ComPtr<IWICMetadataQueryReader> reader;
    if (SUCCEEDED(frame->GetMetadataQueryReader(&reader)) && reader) {
        ReadMetadataUInt(reader.Get(), L"/imgdesc/Left", info.left);
        ReadMetadataUInt(reader.Get(), L"/imgdesc/Top", info.top);
        ReadMetadataUInt(reader.Get(), L"/imgdesc/Width", info.width);
        ReadMetadataUInt(reader.Get(), L"/imgdesc/Height", info.height);
        controlReported |= ReadMetadataUInt(reader.Get(), L"/grctlext/Disposal", info.disposal);
        std::uint32_t hundredths = 10;
        controlReported |= ReadMetadataUInt(reader.Get(), L"/grctlext/Delay", hundredths);
        info.delayMs = GifDelayMs(hundredths);
    }
    if (!controlReported && walked.present) {
        info.disposal = walked.disposal;
        info.delayMs = GifDelayMs(walked.delayHundredths);
    }
    // The descriptor may claim more than the codec decoded.
    info.width = std::min<std::uint32_t>(info.width, decodedWidth);
    info.height = std::min<std::uint32_t>(info.height, decodedHeight);
    return info;
}

std::vector<GifControlBlock> WalkControlBlocks(IStream* stream) {
    std::vector<std::uint8_t> bytes;
    if (FAILED(ReadWholeStream(stream, bytes))) return {};
    return ReadGifControlBlocks(bytes.data(), bytes.size());
}

} // namespace

HRESULT GifRenderer::DecodeStream(IStream* stream) {
    const std::vector<GifControlBlock> walkedControls = WalkControlBlocks(stream);
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(CreateImagingFactory(factory));
    ComPtr<IWICBitmapDecoder> decoder;
    RETURN_IF_FAILED(CreateDecoder(factory.Get(), stream, decoder));
    UINT frameCount = 0;
    RETURN_IF_FAILED(decoder->GetFrameCount(&frameCount));
    if (frameCount == 0) return E_FAIL;

    UINT canvasWidth = 0;
    UINT canvasHeight = 0;
    RETURN_IF_FAILED(ChooseCanvasSize(decoder.Get(), canvasWidth, canvasHeight));
    GifCanvas canvas(canvasWidth, canvasHeight);
    ReserveFrames(frameCount);

    std::vector<std::uint8_t> framePixels;
    for (UINT index = 0; index < frameCount; ++index) {
        if (ShouldStopLoading()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);

        ComPtr<IWICBitmapFrameDecode> frame;
        RETURN_IF_FAILED(decoder->GetFrame(index, &frame));
        ComPtr<IWICFormatConverter> converter;
        RETURN_IF_FAILED(CreateConverter(factory.Get(), frame.Get(), GUID_WICPixelFormat32bppPBGRA, converter));
        UINT decodedWidth = 0;
        UINT decodedHeight = 0;
        RETURN_IF_FAILED(GetNonEmptySize(frame.Get(), decodedWidth, decodedHeight));

        const GifControlBlock walked = index < walkedControls.size() ? walkedControls[index] : GifControlBlock{};
        const GifFrameInfo info = ReadFrameInfo(frame.Get(), decodedWidth, decodedHeight, walked);
        if (info.width > 0 && info.height > 0) {
            const WICRect rect = {0, 0, static_cast<INT>(info.width), static_cast<INT>(info.height)};
            RETURN_IF_FAILED(CopyPixelsToBuffer(converter.Get(), &rect, info.width * 4, info.height, framePixels));
        }
        canvas.Compose(info, framePixels.data());

        ComPtr<IWICBitmap> snapshot;
        RETURN_IF_FAILED(CreateBitmapFromPixels(factory.Get(), canvasWidth, canvasHeight,
                                                GUID_WICPixelFormat32bppPBGRA, static_cast<UINT>(canvas.Stride()),
                                                canvas.Pixels(), canvas.ByteSize(), snapshot));
        AppendFrame(std::move(snapshot), info.delayMs);
        canvas.Dispose(info);
    }
    return S_OK;
}

} // namespace Quivane
