// Animated WebP: the platform's WebP codec hands out each frame already
// composited, with its duration in the frame's metadata.
#include "WebPFrameSource.h"

#include "frames/FrameSource.h"
#include "WebPFrameDelay.h"
#include "platform/HResult.h"
#include "platform/WicImaging.h"
#include "imaging/CanvasSize.h"

#include <new>

namespace Quivane {
namespace {

// Frame `index` of the platform's decoder, whose frames are whole pictures,
// converted to premultiplied BGRA once its size passes CheckCanvasSize; its
// decoded frame is handed back too, for its metadata.
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

class WebPFrameSource final : public FrameSource {
public:
    explicit WebPFrameSource(const StopToken& stop) : FrameSource(stop) {}

    HRESULT Open(IStream* stream) override {
        if (stream == nullptr) return E_POINTER;
        RETURN_IF_FAILED(CreateImagingFactory(factory_));
        RETURN_IF_FAILED(CreateDecoder(factory_.Get(), stream, decoder_));
        RETURN_IF_FAILED(decoder_->GetFrameCount(&count_));
        return count_ == 0 ? WINCODEC_ERR_BADIMAGE : S_OK; // a codec that finds no frame found nothing to show
    }

    std::uint32_t FrameCount() const override { return count_; }

    HRESULT ReadFrame(std::uint32_t index, FramePixels& frame) override {
        if (!decoder_) return E_UNEXPECTED;
        if (index >= count_) return E_INVALIDARG;
        if (Stop().ShouldStop()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        ComPtr<IWICBitmapFrameDecode> decoded;
        RETURN_IF_FAILED(ReadDecodedFrame(factory_.Get(), decoder_.Get(), index, frame, &decoded));
        ComPtr<IWICMetadataQueryReader> reader;
        if (FAILED(decoded->GetMetadataQueryReader(&reader))) reader.Reset(); // no metadata: the default delay
        frame.delayMs = WebPFrameDelayMs(reader.Get());
        return S_OK;
    }

private:
    ComPtr<IWICImagingFactory> factory_;
    ComPtr<IWICBitmapDecoder> decoder_;
    UINT count_ = 0;
};

} // namespace

FrameSource* CreateWebPFrameSource(const StopToken& stop) { return new (std::nothrow) WebPFrameSource(stop); }

} // namespace Quivane
