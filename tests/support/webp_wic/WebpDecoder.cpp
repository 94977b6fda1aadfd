// The decoder object: reads the whole stream, has libwebp's animation decoder
// composite every frame onto the canvas up front, and hands out frames over
// those pictures. After Initialize nothing changes, so frames share the
// pictures and outlive the decoder.
#include "WebpDecoder.h"

#include <webp/demux.h>

#include <cstring>
#include <mutex>
#include <new>

namespace QuivaneTestWebp {

namespace {

// Far beyond any test picture; keeps a hostile header from asking for gigabytes.
constexpr std::uint64_t kMaxStreamBytes = 256ull << 20;
constexpr std::uint64_t kMaxDecodedBytes = 1ull << 30;

struct AnimDecoderDelete {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// The whole stream from its start: WIC's pattern match leaves it part way in.
HRESULT ReadWholeStream(IStream* stream, std::vector<std::uint8_t>& bytes) {
    LARGE_INTEGER start{};
    HRESULT hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    bytes.clear();
    constexpr ULONG kChunk = 64 * 1024;
    for (;;) {
        const size_t used = bytes.size();
        if (used > kMaxStreamBytes) return E_OUTOFMEMORY;
        bytes.resize(used + kChunk);
        ULONG read = 0;
        hr = stream->Read(bytes.data() + used, kChunk, &read);
        if (FAILED(hr)) return hr;
        bytes.resize(used + (read < kChunk ? read : kChunk));
        if (hr == S_FALSE || read == 0) return S_OK;
    }
}

bool HasWebpHeader(const std::uint8_t* bytes, ULONG count) {
    return count >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WEBP", 4) == 0;
}

class Decoder final : public IWICBitmapDecoder {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IWICBitmapDecoder) return E_NOINTERFACE;
        *out = static_cast<IWICBitmapDecoder*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // Looks at the header only, and leaves the stream where it was.
    HRESULT STDMETHODCALLTYPE QueryCapability(IStream* stream, DWORD* capability) override {
        if (stream == nullptr || capability == nullptr) return E_INVALIDARG;
        *capability = 0;
        if (Image()) return WINCODEC_ERR_WRONGSTATE;
        LARGE_INTEGER zero{};
        ULARGE_INTEGER position{};
        HRESULT hr = stream->Seek(zero, STREAM_SEEK_CUR, &position);
        if (FAILED(hr)) return hr;
        hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        std::uint8_t header[12] = {};
        ULONG read = 0;
        if (SUCCEEDED(hr)) hr = stream->Read(header, sizeof(header), &read);
        LARGE_INTEGER back{};
        back.QuadPart = static_cast<LONGLONG>(position.QuadPart);
        const HRESULT restored = stream->Seek(back, STREAM_SEEK_SET, nullptr);
        if (FAILED(hr)) return hr;
        if (FAILED(restored)) return restored;
        if (HasWebpHeader(header, read)) {
            *capability = WICBitmapDecoderCapabilityCanDecodeAllImages | WICBitmapDecoderCapabilityCanDecodeSomeImages;
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, WICDecodeOptions) override {
        if (stream == nullptr) return E_INVALIDARG;
        try {
            std::lock_guard<std::mutex> lock(mutex_);
            if (image_) return WINCODEC_ERR_WRONGSTATE;
            std::vector<std::uint8_t> bytes;
            HRESULT hr = ReadWholeStream(stream, bytes);
            if (FAILED(hr)) return hr;
            auto image = std::make_shared<DecodedImage>();
            hr = DecodeWebp(bytes.data(), bytes.size(), *image);
            if (FAILED(hr)) return hr;
            image_ = std::move(image);
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

    HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* format) override {
        if (format == nullptr) return E_INVALIDARG;
        *format = GUID_ContainerFormatWebp;
        return S_OK;
    }

    // The component information the registration describes.
    HRESULT STDMETHODCALLTYPE GetDecoderInfo(IWICBitmapDecoderInfo** info) override {
        if (info == nullptr) return E_INVALIDARG;
        *info = nullptr;
        ComPtr<IWICImagingFactory> factory;
        HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory));
        if (FAILED(hr)) return hr;
        ComPtr<IWICComponentInfo> component;
        hr = factory->CreateComponentInfo(CLSID_QuivaneTestWebpDecoder, &component);
        if (FAILED(hr)) return hr;
        return component->QueryInterface(IID_PPV_ARGS(info));
    }

    HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette*) override { return WINCODEC_ERR_PALETTEUNAVAILABLE; }

    HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader** reader) override {
        if (reader != nullptr) *reader = nullptr;
        return WINCODEC_ERR_UNSUPPORTEDOPERATION;
    }

    HRESULT STDMETHODCALLTYPE GetPreview(IWICBitmapSource** preview) override {
        if (preview != nullptr) *preview = nullptr;
        return WINCODEC_ERR_UNSUPPORTEDOPERATION;
    }

    HRESULT STDMETHODCALLTYPE GetColorContexts(UINT, IWICColorContext**, UINT* actual) override {
        if (actual != nullptr) *actual = 0;
        return WINCODEC_ERR_UNSUPPORTEDOPERATION;
    }

    HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource** thumbnail) override {
        if (thumbnail != nullptr) *thumbnail = nullptr;
        return WINCODEC_ERR_UNSUPPORTEDOPERATION;
    }

    HRESULT STDMETHODCALLTYPE GetFrameCount(UINT* count) override {
        if (count == nullptr) return E_INVALIDARG;
        *count = 0;
        const auto image = Image();
        if (!image) return WINCODEC_ERR_NOTINITIALIZED;
        *count = static_cast<UINT>(image->frames.size());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetFrame(UINT index, IWICBitmapFrameDecode** frame) override {
        if (frame == nullptr) return E_INVALIDARG;
        *frame = nullptr;
        try {
            auto image = Image();
            if (!image) return WINCODEC_ERR_NOTINITIALIZED;
            if (index >= image->frames.size()) return WINCODEC_ERR_FRAMEMISSING;
            return CreateFrame(std::move(image), index, frame);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

private:
    std::shared_ptr<const DecodedImage> Image() {
        std::lock_guard<std::mutex> lock(mutex_);
        return image_;
    }

    ServerReference server_;
    std::atomic<ULONG> references_{1};
    std::mutex mutex_;
    std::shared_ptr<const DecodedImage> image_;
};

} // namespace

HRESULT DecodeWebp(const std::uint8_t* data, size_t size, DecodedImage& out) {
    if (data == nullptr || size == 0) return WINCODEC_ERR_BADIMAGE;
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return E_FAIL;
    // Premultiplied, as WIC's 32bppPBGRA wants it.
    options.color_mode = MODE_bgrA;
    options.use_threads = 0;
    const WebPData webp{data, size};
    std::unique_ptr<WebPAnimDecoder, AnimDecoderDelete> decoder(WebPAnimDecoderNew(&webp, &options));
    if (!decoder) return WINCODEC_ERR_BADIMAGE;
    WebPAnimInfo info{};
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) return WINCODEC_ERR_BADIMAGE;
    if (info.canvas_width == 0 || info.canvas_height == 0 || info.frame_count == 0) return WINCODEC_ERR_BADIMAGE;

    const std::uint64_t frameBytes = std::uint64_t{info.canvas_width} * info.canvas_height * 4;
    if (frameBytes * info.frame_count > kMaxDecodedBytes) return E_OUTOFMEMORY;

    const WebPDemuxer* demuxer = WebPAnimDecoderGetDemuxer(decoder.get());
    out.width = info.canvas_width;
    out.height = info.canvas_height;
    out.animated = (WebPDemuxGetI(demuxer, WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG) != 0;
    out.frames.clear();
    out.frames.reserve(info.frame_count);

    // Timestamps are each frame's end time, the sum of the durations so far.
    int previousEnd = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        std::uint8_t* canvas = nullptr;
        int end = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &end) || canvas == nullptr) return WINCODEC_ERR_BADIMAGE;
        DecodedFrame frame;
        frame.pixels.assign(canvas, canvas + frameBytes);
        frame.durationMs = static_cast<std::uint32_t>(end - previousEnd);
        previousEnd = end;
        out.frames.push_back(std::move(frame));
    }
    if (out.frames.size() != info.frame_count) return WINCODEC_ERR_BADIMAGE;
    return S_OK;
}

HRESULT CreateDecoder(REFIID iid, void** out) {
    auto* decoder = new (std::nothrow) Decoder();
    if (decoder == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = decoder->QueryInterface(iid, out);
    decoder->Release();
    return hr;
}

} // namespace QuivaneTestWebp
