// GIF frames composed in order on one canvas from the platform's decoded
// images, with the file's own block walk checking each image before the
// decoder is asked for it.
#include "CanvasLimits.h"
#include "FrameSource.h"
#include "GifComposition.h"
#include "GifControlBlocks.h"
#include "LoadStopCondition.h"
#include "platform/HResult.h"
#include "platform/StreamBytes.h"
#include "platform/WicImaging.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>

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
    return CheckCanvasSize(width, height);
}

// `walked` is what the file itself says of this image; its control block
// stands in only when the platform reports none.
GifFrameInfo ReadFrameInfo(IWICBitmapFrameDecode* frame, UINT decodedWidth, UINT decodedHeight,
                           const GifImageLayout* walked) {
    GifFrameInfo info;
    info.width = decodedWidth;
    info.height = decodedHeight;
    if (walked != nullptr && walked->control.present) {
        // The file's own blocks say it all: no need to ask the platform's
        // metadata reader, which costs more than the frame's pixels.
        info.left = walked->left;
        info.top = walked->top;
        info.width = std::min<std::uint32_t>(walked->width, decodedWidth);
        info.height = std::min<std::uint32_t>(walked->height, decodedHeight);
        info.disposal = walked->control.disposal;
        info.delayMs = GifDelayMs(walked->control.delayHundredths);
        return info;
    }
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
    if (!controlReported && walked != nullptr && walked->control.present) {
        info.disposal = walked->control.disposal;
        info.delayMs = GifDelayMs(walked->control.delayHundredths);
    }
    // The descriptor may claim more than the codec decoded.
    info.width = std::min<std::uint32_t>(info.width, decodedWidth);
    info.height = std::min<std::uint32_t>(info.height, decodedHeight);
    return info;
}

class GifFrameSource final : public FrameSource {
public:
    HRESULT Open(IStream* stream) override {
        if (stream == nullptr) return E_POINTER;
        std::vector<std::uint8_t> bytes;
        if (SUCCEEDED(ReadWholeStream(stream, bytes))) layout_ = ReadGifLayout(bytes.data(), bytes.size());
        bytes.clear();
        bytes.shrink_to_fit();
        RETURN_IF_FAILED(CreateImagingFactory(factory_));
        RETURN_IF_FAILED(CreateDecoder(factory_.Get(), stream, decoder_));
        RETURN_IF_FAILED(decoder_->GetFrameCount(&frameCount_));
        if (frameCount_ == 0) return E_FAIL;
        RETURN_IF_FAILED(ChooseCanvasSize(decoder_.Get(), width_, height_));
        return S_OK;
    }

    std::uint32_t FrameCount() const override { return frameCount_; }

    HRESULT ReadFrame(std::uint32_t index, FramePixels& frame) override {
        if (!decoder_) return E_UNEXPECTED;
        if (index >= frameCount_) return E_INVALIDARG;
        if (!canvas_ || index < next_) {
            canvas_.reset();
            canvas_.reset(new GifCanvas(width_, height_));
            next_ = 0;
        }
        for (; next_ <= index; ++next_) {
            if (ShouldStopLoading()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
            GifFrameInfo info;
            RETURN_IF_FAILED(ComposeFrame(next_, info));
            if (next_ == index) {
                frame.width = width_;
                frame.height = height_;
                frame.delayMs = info.delayMs;
                frame.pixels.assign(canvas_->Pixels(), canvas_->Pixels() + canvas_->ByteSize());
            }
            canvas_->Dispose(info);
        }
        return S_OK;
    }

    bool ReadsAnyFrameDirectly() const override { return false; }

    HRESULT SaveCheckpoint(FrameCheckpoint& checkpoint) const override {
        if (!canvas_) return E_UNEXPECTED;
        checkpoint.nextFrame = next_;
        checkpoint.canvas.assign(canvas_->Pixels(), canvas_->Pixels() + canvas_->ByteSize());
        return S_OK;
    }

    HRESULT ResumeFrom(const FrameCheckpoint& checkpoint) override {
        if (!decoder_) return E_UNEXPECTED;
        if (checkpoint.nextFrame >= frameCount_) return E_INVALIDARG;
        if (!canvas_) canvas_.reset(new GifCanvas(width_, height_));
        if (!canvas_->Restore(checkpoint.canvas)) return E_INVALIDARG;
        next_ = checkpoint.nextFrame;
        return S_OK;
    }

private:
    // Draws image `index` on the canvas; `info` describes its part on the canvas.
    HRESULT ComposeFrame(std::uint32_t index, GifFrameInfo& info) {
        ComPtr<IWICBitmapFrameDecode> decoded;
        RETURN_IF_FAILED(decoder_->GetFrame(index, &decoded));
        UINT decodedWidth = 0;
        UINT decodedHeight = 0;
        RETURN_IF_FAILED(GetNonEmptySize(decoded.Get(), decodedWidth, decodedHeight));
        const GifImageLayout* walked = index < layout_.images.size() ? &layout_.images[index] : nullptr;
        info = ReadFrameInfo(decoded.Get(), decodedWidth, decodedHeight, walked);
        // Only the part on the canvas is ever converted, however large the image claims to be.
        const CanvasRegion region = ClipToCanvas(width_, height_, info);
        info.width = region.columns;
        info.height = region.rows;
        // An image with no colour table at all has no colours to show: it stays
        // transparent, as browsers show it, and the platform never converts it.
        const bool colourless = walked != nullptr && !walked->hasColourTable;
        if (region.rows == 0 || colourless) {
            framePixels_.assign(static_cast<std::size_t>(region.columns) * region.rows * 4, 0);
            canvas_->Compose(info, framePixels_.data());
            return S_OK;
        }
        ComPtr<IWICFormatConverter> converter;
        RETURN_IF_FAILED(CreateConverter(factory_.Get(), decoded.Get(), GUID_WICPixelFormat32bppPBGRA, converter));
        const WICRect rect = {0, 0, static_cast<INT>(region.columns), static_cast<INT>(region.rows)};
        RETURN_IF_FAILED(CopyPixelsToBuffer(converter.Get(), &rect, region.columns * 4, region.rows, framePixels_));
        canvas_->Compose(info, framePixels_.data());
        return S_OK;
    }

    GifLayout layout_;
    ComPtr<IWICImagingFactory> factory_;
    ComPtr<IWICBitmapDecoder> decoder_;
    UINT frameCount_ = 0;
    UINT width_ = 0;
    UINT height_ = 0;
    std::unique_ptr<GifCanvas> canvas_;
    std::uint32_t next_ = 0; // the frame the canvas is ready to receive
    std::vector<std::uint8_t> framePixels_;
};

} // namespace

FrameSource* CreateGifFrameSource() { return new (std::nothrow) GifFrameSource(); }

} // namespace Quivane
