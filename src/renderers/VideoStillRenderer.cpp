#include "VideoStillRenderer.h"

#include "VideoSampleSource.h"
#include "platform/HResult.h"
#include "platform/MediaFoundation.h"
#include "platform/WicImaging.h"

#include <cstring>
#include <limits>

namespace Quivane {
namespace {

constexpr std::uint32_t kStillDelayMs = 1000;

// The platform's source reader, asked for 32-bit RGB.
class SourceReaderSamples final : public VideoSampleSource {
public:
    HRESULT Open(IStream* stream) {
        stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
        ComPtr<IMFByteStream> byteStream;
        RETURN_IF_FAILED(MFCreateMFByteStreamOnStream(stream, &byteStream));
        ComPtr<IMFAttributes> attributes;
        RETURN_IF_FAILED(MFCreateAttributes(&attributes, 1));
        RETURN_IF_FAILED(attributes->SetUINT32(MF_READWRITE_DISABLE_CONVERTERS, FALSE));
        RETURN_IF_FAILED(attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE));
        RETURN_IF_FAILED(MFCreateSourceReaderFromByteStream(byteStream.Get(), attributes.Get(), &reader_));
        ComPtr<IMFMediaType> type;
        RETURN_IF_FAILED(MFCreateMediaType(&type));
        RETURN_IF_FAILED(type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
        RETURN_IF_FAILED(type->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32));
        return reader_->SetCurrentMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), nullptr,
                                            type.Get());
    }

    HRESULT ReadSample(DWORD& flags, LONGLONG& timestamp, bool& hasSample) override {
        sample_.Reset();
        DWORD stream = 0;
        const HRESULT hr = reader_->ReadSample(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), 0, &stream,
                                               &flags, &timestamp, &sample_);
        hasSample = sample_ != nullptr;
        return hr;
    }

    HRESULT ConvertSample(DecodedVideoFrame& frame) override {
        if (!reader_ || !sample_) return E_POINTER;
        // The current type, so a size change during reading is followed.
        ComPtr<IMFMediaType> type;
        RETURN_IF_FAILED(reader_->GetCurrentMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), &type));
        return ReadVideoFrame(type.Get(), sample_.Get(), frame);
    }

    HRESULT Seek(std::uint64_t position) override {
        PROPVARIANT value;
        PropVariantInit(&value);
        value.vt = VT_I8;
        value.hVal.QuadPart = position > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max())
                                  ? std::numeric_limits<LONGLONG>::max()
                                  : static_cast<LONGLONG>(position);
        return reader_->SetCurrentPosition(GUID_NULL, value);
    }

    std::uint64_t Duration() override {
        PROPVARIANT value;
        PropVariantInit(&value);
        std::uint64_t duration = 0;
        if (SUCCEEDED(reader_->GetPresentationAttribute(static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE), MF_PD_DURATION,
                                                        &value)) &&
            value.vt == VT_UI8) {
            duration = value.uhVal.QuadPart;
        }
        PropVariantClear(&value);
        return duration;
    }

private:
    ComPtr<IMFSourceReader> reader_;
    ComPtr<IMFSample> sample_;
};

// The aperture to show, when the current type names one other than the whole frame.
std::optional<VisibleArea> ReadVisibleArea(IMFMediaType* type, std::uint32_t width, std::uint32_t height) {
    for (const GUID& key : {MF_MT_MINIMUM_DISPLAY_APERTURE, MF_MT_GEOMETRIC_APERTURE}) {
        MFVideoArea area = {};
        UINT32 size = 0;
        if (SUCCEEDED(type->GetBlobSize(key, &size)) && size == sizeof(area) &&
            SUCCEEDED(type->GetBlob(key, reinterpret_cast<UINT8*>(&area), sizeof(area), nullptr))) {
            return ChooseVisibleArea(width, height, area.OffsetX.value, area.OffsetY.value,
                                     static_cast<std::uint32_t>(area.Area.cx), static_cast<std::uint32_t>(area.Area.cy));
        }
    }
    return std::nullopt;
}

} // namespace

HRESULT ReadVideoFrame(IMFMediaType* type, IMFSample* sample, DecodedVideoFrame& frame) {
    if (type == nullptr || sample == nullptr) return E_POINTER;
    UINT64 size = 0;
    RETURN_IF_FAILED(type->GetUINT64(MF_MT_FRAME_SIZE, &size));
    frame.width = static_cast<std::uint32_t>(size >> 32);
    frame.height = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
    if (frame.width == 0 || frame.height == 0) return E_FAIL;
    UINT32 strideValue = 0;
    std::int32_t stride = static_cast<std::int32_t>(frame.width * 4);
    if (SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &strideValue))) stride = static_cast<std::int32_t>(strideValue);
    const std::uint64_t rowLength = stride < 0 ? -static_cast<std::int64_t>(stride) : stride;
    if (rowLength < static_cast<std::uint64_t>(frame.width) * 4) return E_FAIL;
    frame.stride = static_cast<std::uint32_t>(rowLength);
    LONGLONG time = 0;
    if (SUCCEEDED(sample->GetSampleTime(&time))) frame.timestamp = time;

    ComPtr<IMFMediaBuffer> buffer;
    RETURN_IF_FAILED(sample->ConvertToContiguousBuffer(&buffer));
    BYTE* data = nullptr;
    DWORD length = 0;
    RETURN_IF_FAILED(buffer->Lock(&data, nullptr, &length));
    const std::uint64_t needed = rowLength * frame.height;
    if (length < needed) {
        buffer->Unlock();
        return E_FAIL;
    }
    frame.visibleArea = ReadVisibleArea(type, frame.width, frame.height);
    frame.pixels.resize(static_cast<std::size_t>(needed));
    CopyRowsUpright(data, stride, frame.stride, frame.height, frame.pixels.data());
    buffer->Unlock();
    return S_OK;
}

HRESULT MakeStillBitmap(const DecodedVideoFrame& frame, ComPtr<IWICBitmap>& bitmap) {
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(CreateImagingFactory(factory));
    std::size_t offset = 0;
    std::uint32_t width = frame.width, height = frame.height;
    if (frame.visibleArea) {
        offset = static_cast<std::size_t>(frame.visibleArea->y) * frame.stride +
                 static_cast<std::size_t>(frame.visibleArea->x) * 4;
        if (offset >= frame.pixels.size()) return E_FAIL;
        width = frame.visibleArea->width;
        height = frame.visibleArea->height;
    }
    // The area's last row need not reach the end of the buffer, but must lie inside it.
    if (static_cast<std::uint64_t>(height - 1) * frame.stride + static_cast<std::uint64_t>(width) * 4 >
        frame.pixels.size() - offset) {
        return E_FAIL;
    }
    return CreateBitmapFromPixels(factory.Get(), width, height, GUID_WICPixelFormat32bppBGR, frame.stride,
                                  frame.pixels.data() + offset, frame.pixels.size() - offset, bitmap);
}

HRESULT VideoStillRenderer::DecodeStream(IStream* stream) { return DecodeVideoStill(stream, false, 0); }

HRESULT VideoStillRenderer::LoadAtPosition(IStream* stream, std::uint64_t target) {
    ClearFrames();
    const HRESULT hr = DecodeVideoStill(stream, true, target);
    if (FAILED(hr)) {
        ClearFrames();
        return hr;
    }
    FinishLoad();
    return S_OK;
}

HRESULT VideoStillRenderer::DecodeVideoStill(IStream* stream, bool exact, std::uint64_t target) {
    duration = 0;
    position = 0;
    if (stream == nullptr) return E_POINTER;
    RETURN_IF_FAILED(EnsureMediaFoundationStarted());
    SourceReaderSamples source;
    RETURN_IF_FAILED(source.Open(stream));
    const std::uint64_t sourceDuration = source.Duration();
    StillSearchResult found = FindVideoStill(source, exact, target);
    RETURN_IF_FAILED(found.hr);
    ComPtr<IWICBitmap> bitmap;
    RETURN_IF_FAILED(MakeStillBitmap(found.frame, bitmap));
    AppendFrame(bitmap, kStillDelayMs);
    duration = sourceDuration;
    position = StillPosition(exact, found.target, found.frame.timestamp, duration);
    return S_OK;
}

} // namespace Quivane
