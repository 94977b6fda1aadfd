#include "SharedFrameBitmap.h"

#include <cstring>
#include <exception>
#include <new>

namespace Quivane {
namespace {

class SharedFrameBitmap final : public IWICBitmapSource {
public:
    explicit SharedFrameBitmap(std::shared_ptr<const FramePixels> frame)
        : width(frame->width), height(frame->height), frame(std::move(frame)) {}
    SharedFrameBitmap(std::uint32_t width, std::uint32_t height, FrameComposer compose)
        : width(width), height(height), compose(std::move(compose)) {}

    IFACEMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IWICBitmapSource) {
            *out = static_cast<IWICBitmapSource*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references)); }
    IFACEMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&references);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    IFACEMETHODIMP GetSize(UINT* width, UINT* height) override {
        if (width == nullptr || height == nullptr) return E_INVALIDARG;
        *width = this->width;
        *height = this->height;
        return S_OK;
    }
    IFACEMETHODIMP GetPixelFormat(WICPixelFormatGUID* format) override {
        if (format == nullptr) return E_INVALIDARG;
        *format = GUID_WICPixelFormat32bppPBGRA;
        return S_OK;
    }
    IFACEMETHODIMP GetResolution(double* dpiX, double* dpiY) override {
        if (dpiX == nullptr || dpiY == nullptr) return E_INVALIDARG;
        *dpiX = *dpiY = 96.0;
        return S_OK;
    }
    IFACEMETHODIMP CopyPalette(IWICPalette*) override { return WINCODEC_ERR_PALETTEUNAVAILABLE; }

    IFACEMETHODIMP CopyPixels(const WICRect* rect, UINT stride, UINT size, BYTE* buffer) override {
        if (!frame) {
            const HRESULT composed = ComposeOnce();
            if (FAILED(composed)) return composed;
        }
        const WICRect whole = {0, 0, static_cast<INT>(frame->width), static_cast<INT>(frame->height)};
        const WICRect area = rect != nullptr ? *rect : whole;
        if (buffer == nullptr) return E_INVALIDARG;
        if (area.X < 0 || area.Y < 0 || area.Width < 0 || area.Height < 0 ||
            static_cast<UINT>(area.X) + static_cast<UINT>(area.Width) > frame->width ||
            static_cast<UINT>(area.Y) + static_cast<UINT>(area.Height) > frame->height) {
            return E_INVALIDARG;
        }
        const std::size_t rowBytes = static_cast<std::size_t>(area.Width) * 4;
        if (area.Height == 0 || rowBytes == 0) return S_OK;
        if (stride < rowBytes || static_cast<std::size_t>(stride) * (area.Height - 1) + rowBytes > size) {
            return E_INVALIDARG;
        }
        for (INT row = 0; row < area.Height; ++row) {
            const std::uint8_t* from = frame->pixels.data() + (static_cast<std::size_t>(area.Y + row) * frame->Stride()) +
                                       static_cast<std::size_t>(area.X) * 4;
            std::memcpy(buffer + static_cast<std::size_t>(row) * stride, from, rowBytes);
        }
        return S_OK;
    }

private:
    ~SharedFrameBitmap() = default;

    HRESULT ComposeOnce() {
        try {
            auto made = std::make_shared<FramePixels>();
            const HRESULT hr = compose(*made);
            if (FAILED(hr)) return hr;
            if (made->width != width || made->height != height || made->pixels.size() != made->Stride() * height) {
                return E_UNEXPECTED;
            }
            frame = std::move(made);
            return S_OK;
        } catch (const std::exception&) {
            return E_OUTOFMEMORY; // no exception leaves a COM method
        }
    }

    LONG references = 1;
    std::uint32_t width;
    std::uint32_t height;
    std::shared_ptr<const FramePixels> frame; // null until a composed frame is first read
    FrameComposer compose;
};

} // namespace

HRESULT CreateComposedFrameBitmap(std::uint32_t width, std::uint32_t height, FrameComposer compose,
                                  IWICBitmapSource** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (width == 0 || height == 0 || !compose) return E_INVALIDARG;
    *out = new (std::nothrow) SharedFrameBitmap(width, height, std::move(compose));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateSharedFrameBitmap(std::shared_ptr<const FramePixels> frame, IWICBitmapSource** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!frame || frame->pixels.size() != frame->Stride() * frame->height) return E_INVALIDARG;
    *out = new (std::nothrow) SharedFrameBitmap(std::move(frame));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

} // namespace Quivane
