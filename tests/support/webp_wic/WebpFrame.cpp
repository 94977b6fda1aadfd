// One frame: the composited canvas picture of that moment of the animation.
#include "WebpDecoder.h"

#include <cstring>
#include <new>

namespace QuivaneTestWebp {

namespace {

class Frame final : public IWICBitmapFrameDecode {
public:
    Frame(std::shared_ptr<const DecodedImage> image, UINT index) : image_(std::move(image)), index_(index) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IWICBitmapSource && iid != IID_IWICBitmapFrameDecode) {
            return E_NOINTERFACE;
        }
        *out = static_cast<IWICBitmapFrameDecode*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetSize(UINT* width, UINT* height) override {
        if (width == nullptr || height == nullptr) return E_INVALIDARG;
        *width = image_->width;
        *height = image_->height;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override {
        if (format == nullptr) return E_INVALIDARG;
        *format = GUID_WICPixelFormat32bppPBGRA;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetResolution(double* dpiX, double* dpiY) override {
        if (dpiX == nullptr || dpiY == nullptr) return E_INVALIDARG;
        *dpiX = 96.0;
        *dpiY = 96.0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette*) override { return WINCODEC_ERR_PALETTEUNAVAILABLE; }

    HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT stride, UINT bufferSize, BYTE* buffer) override {
        const WICRect whole{0, 0, static_cast<INT>(image_->width), static_cast<INT>(image_->height)};
        const WICRect area = rect != nullptr ? *rect : whole;
        if (area.X < 0 || area.Y < 0 || area.Width < 0 || area.Height < 0 ||
            std::int64_t{area.X} + area.Width > std::int64_t{image_->width} ||
            std::int64_t{area.Y} + area.Height > std::int64_t{image_->height}) {
            return E_INVALIDARG;
        }
        if (buffer == nullptr) return E_INVALIDARG;
        if (area.Width == 0 || area.Height == 0) return S_OK;
        const std::uint64_t rowBytes = std::uint64_t{static_cast<UINT>(area.Width)} * 4;
        if (stride < rowBytes) return E_INVALIDARG;
        const std::uint64_t needed = std::uint64_t{stride} * (static_cast<UINT>(area.Height) - 1) + rowBytes;
        if (bufferSize < needed) return WINCODEC_ERR_INSUFFICIENTBUFFER;

        const std::uint8_t* pixels = image_->frames[index_].pixels.data();
        const size_t sourceStride = static_cast<size_t>(image_->width) * 4;
        for (INT row = 0; row < area.Height; ++row) {
            const std::uint8_t* from = pixels + (static_cast<size_t>(area.Y) + row) * sourceStride +
                                       static_cast<size_t>(area.X) * 4;
            std::memcpy(buffer + static_cast<size_t>(row) * stride, from, static_cast<size_t>(rowBytes));
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader** reader) override {
        if (reader == nullptr) return E_INVALIDARG;
        *reader = nullptr;
        return CreateFrameMetadataReader(image_->animated, image_->frames[index_].durationMs, reader);
    }

    HRESULT STDMETHODCALLTYPE GetColorContexts(UINT, IWICColorContext**, UINT* actual) override {
        if (actual == nullptr) return E_INVALIDARG;
        *actual = 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource** thumbnail) override {
        if (thumbnail != nullptr) *thumbnail = nullptr;
        return WINCODEC_ERR_CODECNOTHUMBNAIL;
    }

private:
    ServerReference server_;
    std::atomic<ULONG> references_{1};
    const std::shared_ptr<const DecodedImage> image_;
    const UINT index_;
};

} // namespace

HRESULT CreateFrame(std::shared_ptr<const DecodedImage> image, UINT index, IWICBitmapFrameDecode** out) {
    auto* frame = new (std::nothrow) Frame(std::move(image), index);
    if (frame == nullptr) return E_OUTOFMEMORY;
    *out = frame;
    return S_OK;
}

} // namespace QuivaneTestWebp
