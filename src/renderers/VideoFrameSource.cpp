// Videos through the platform's source reader: the still search over its
// samples, and the checks a file passes before the reader sees it.
#include "VideoFrameSource.h"

#include "MediaBoxWalk.h"
#include "Nv12Picture.h"
#include "VideoSampleSource.h"
#include "platform/HResult.h"
#include "platform/MediaFoundation.h"
#include "platform/OwnedHandles.h"

#include <wrl/client.h>

#include <cstring>
#include <limits>
#include <new>

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

constexpr std::uint32_t kStillDelayMs = 1000;

// A media buffer locked for reading, unlocked on every way out.
class LockedMediaBuffer {
public:
    LockedMediaBuffer() = default;
    ~LockedMediaBuffer() {
        if (buffer_) buffer_->Unlock();
    }
    LockedMediaBuffer(const LockedMediaBuffer&) = delete;
    LockedMediaBuffer& operator=(const LockedMediaBuffer&) = delete;

    HRESULT Lock(IMFMediaBuffer* buffer) {
        RETURN_IF_FAILED(buffer->Lock(&data, nullptr, &length));
        buffer_ = buffer;
        return S_OK;
    }

    BYTE* data = nullptr;
    DWORD length = 0;

private:
    ComPtr<IMFMediaBuffer> buffer_;
};

// Size and row layout of a sample of an RGB32 media type: stride width x 4
// when the type has none; negative means bottom-up.
struct SampleGeometry {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int32_t stride = 0;
    std::uint64_t rowLength = 0;
};

HRESULT ReadSampleGeometry(IMFMediaType* type, SampleGeometry& geometry) {
    UINT64 size = 0;
    RETURN_IF_FAILED(type->GetUINT64(MF_MT_FRAME_SIZE, &size));
    geometry.width = static_cast<std::uint32_t>(size >> 32);
    geometry.height = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
    if (geometry.width == 0 || geometry.height == 0 || geometry.width > (1u << 28)) return E_FAIL;
    UINT32 strideValue = 0;
    geometry.stride = static_cast<std::int32_t>(geometry.width * 4);
    if (SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &strideValue))) {
        geometry.stride = static_cast<std::int32_t>(strideValue);
    }
    geometry.rowLength = geometry.stride < 0 ? -static_cast<std::int64_t>(geometry.stride) : geometry.stride;
    if (geometry.rowLength < static_cast<std::uint64_t>(geometry.width) * 4) return E_FAIL;
    return S_OK;
}

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

// The NV12 layout of the current type. Without a stride in the type, one
// that the buffer's length fits exactly is taken, else the width.
HRESULT ReadNv12Layout(IMFMediaType* type, std::size_t bufferLength, Nv12Layout& layout) {
    UINT64 size = 0;
    RETURN_IF_FAILED(type->GetUINT64(MF_MT_FRAME_SIZE, &size));
    layout.width = static_cast<std::uint32_t>(size >> 32);
    layout.height = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
    if (layout.width == 0 || layout.height == 0 || layout.width > (1u << 28) || layout.height > (1u << 28)) {
        return E_FAIL;
    }
    UINT32 stride = 0;
    const std::uint64_t rows = static_cast<std::uint64_t>(layout.height) + (layout.height + 1) / 2;
    if (SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride)) && static_cast<INT32>(stride) >= static_cast<INT32>(layout.width)) {
        layout.stride = stride;
    } else if (bufferLength % rows == 0 && bufferLength / rows >= layout.width && bufferLength / rows < (1u << 30)) {
        layout.stride = static_cast<std::uint32_t>(bufferLength / rows);
    } else {
        layout.stride = layout.width;
    }
    UINT32 matrix = 0, range = 0;
    // Untagged video is taken as BT.601, as common software decoders take it.
    layout.matrix = SUCCEEDED(type->GetUINT32(MF_MT_YUV_MATRIX, &matrix)) && matrix == MFVideoTransferMatrix_BT709
                        ? YuvMatrix::Bt709
                        : YuvMatrix::Bt601;
    layout.fullRange = SUCCEEDED(type->GetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, &range)) && range == MFNominalRange_0_255;
    return Nv12Bytes(layout) != 0 ? S_OK : E_FAIL;
}

} // namespace

HRESULT ReadVideoFrame(IMFMediaType* type, IMFSample* sample, DecodedVideoFrame& frame) {
    if (type == nullptr || sample == nullptr) return E_POINTER;
    SampleGeometry geometry;
    RETURN_IF_FAILED(ReadSampleGeometry(type, geometry));
    frame.width = geometry.width;
    frame.height = geometry.height;
    frame.stride = static_cast<std::uint32_t>(geometry.rowLength);
    LONGLONG time = 0;
    if (SUCCEEDED(sample->GetSampleTime(&time))) frame.timestamp = time;

    ComPtr<IMFMediaBuffer> buffer;
    RETURN_IF_FAILED(sample->ConvertToContiguousBuffer(&buffer));
    LockedMediaBuffer locked;
    RETURN_IF_FAILED(locked.Lock(buffer.Get()));
    const std::uint64_t needed = geometry.rowLength * frame.height;
    if (locked.length < needed) return E_FAIL;
    frame.visibleArea = ReadVisibleArea(type, frame.width, frame.height);
    frame.pixels.resize(static_cast<std::size_t>(needed));
    CopyRowsUpright(locked.data, geometry.stride, frame.stride, frame.height, frame.pixels.data());
    return S_OK;
}

HRESULT TestVideoSampleBrightness(IMFMediaType* type, IMFSample* sample, bool& bright) {
    bright = false;
    if (type == nullptr || sample == nullptr) return E_POINTER;
    SampleGeometry geometry;
    RETURN_IF_FAILED(ReadSampleGeometry(type, geometry));
    ComPtr<IMFMediaBuffer> buffer;
    RETURN_IF_FAILED(sample->ConvertToContiguousBuffer(&buffer));
    LockedMediaBuffer locked;
    RETURN_IF_FAILED(locked.Lock(buffer.Get()));
    if (locked.length < geometry.rowLength * geometry.height) return E_FAIL;
    bright = PassesDarknessTest(locked.data, locked.length, geometry.stride, geometry.width, geometry.height);
    return S_OK;
}


HRESULT CopyStillPixels(const DecodedVideoFrame& frame, FramePixels& still) {
    std::size_t offset = 0;
    std::uint32_t width = frame.width, height = frame.height;
    if (frame.visibleArea) {
        offset = static_cast<std::size_t>(frame.visibleArea->y) * frame.stride +
                 static_cast<std::size_t>(frame.visibleArea->x) * 4;
        if (offset >= frame.pixels.size()) return E_FAIL;
        width = frame.visibleArea->width;
        height = frame.visibleArea->height;
    }
    if (width == 0 || height == 0) return E_FAIL;
    // The area's last row need not reach the end of the buffer, but must lie inside it.
    if (static_cast<std::uint64_t>(height - 1) * frame.stride + static_cast<std::uint64_t>(width) * 4 >
        frame.pixels.size() - offset) {
        return E_FAIL;
    }
    still.width = width;
    still.height = height;
    still.delayMs = kStillDelayMs;
    still.pixels.resize(static_cast<std::size_t>(width) * height * 4);
    for (std::uint32_t row = 0; row < height; ++row) {
        const std::uint8_t* from = frame.pixels.data() + offset + static_cast<std::size_t>(row) * frame.stride;
        std::uint8_t* to = still.pixels.data() + static_cast<std::size_t>(row) * width * 4;
        for (std::uint32_t x = 0; x < width; ++x, from += 4, to += 4) {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
            to[3] = 255; // the fourth byte of a video sample means nothing
        }
    }
    return S_OK;
}

HRESULT CheckVideoContainer(IStream* stream) {
    if (stream == nullptr) return E_POINTER;
    STATSTG stat = {};
    RETURN_IF_FAILED(stream->Stat(&stat, STATFLAG_NONAME));
    const std::uint64_t fileSize = stat.cbSize.QuadPart;
    const MediaReadAt readAt = [stream](std::uint64_t offset, std::uint8_t* out, std::size_t count) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        ULONG read = 0;
        return offset <= static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max()) &&
               SUCCEEDED(stream->Seek(at, STREAM_SEEK_SET, nullptr)) &&
               SUCCEEDED(stream->Read(out, static_cast<ULONG>(count), &read)) && read == count;
    };
    std::uint8_t head[64] = {};
    ULONG headSize = 0;
    RETURN_IF_FAILED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr));
    RETURN_IF_FAILED(stream->Read(head, sizeof(head), &headSize));
    MediaBoxCheck check = MediaBoxCheck::Unrecognised;
    if (LooksLikeIsoMedia(head, headSize)) {
        check = CheckTopLevelBoxes(head, headSize, fileSize, readAt);
    } else {
        check = CheckAsfHeader(head, headSize, fileSize, readAt);
    }
    RETURN_IF_FAILED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr));
    // A container of some other kind is the platform's to judge.
    return check == MediaBoxCheck::Plausible || check == MediaBoxCheck::Unrecognised ? S_OK : E_FAIL;
}

namespace {

// The platform's source reader, asked for the decoder's own NV12 pictures
// (converted only when kept) or else for 32-bit RGB.
class SourceReaderSamples final : public VideoSampleSource {
public:
    SourceReaderSamples() = default;
    SourceReaderSamples(const SourceReaderSamples&) = delete;
    SourceReaderSamples& operator=(const SourceReaderSamples&) = delete;
    // The reader is quiet before it goes: the platform's pipeline may still be
    // delivering a sample it read ahead, and tearing it down under that
    // delivery has crashed its media framework.
    ~SourceReaderSamples() override {
        if (reader_) static_cast<void>(reader_->Flush(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS)));
    }

    HRESULT Open(const MediaFoundationApi& api, IStream* stream) {
        stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
        ComPtr<IMFByteStream> byteStream;
        RETURN_IF_FAILED(api.createByteStreamOnStream(stream, &byteStream));
        ComPtr<IMFAttributes> attributes;
        RETURN_IF_FAILED(api.createAttributes(&attributes, 1));
        RETURN_IF_FAILED(attributes->SetUINT32(MF_READWRITE_DISABLE_CONVERTERS, FALSE));
        RETURN_IF_FAILED(attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE));
        RETURN_IF_FAILED(api.createSourceReaderFromByteStream(byteStream.Get(), attributes.Get(), &reader_));
        nv12_ = SUCCEEDED(RequestSubtype(api, MFVideoFormat_NV12));
        return nv12_ ? S_OK : RequestSubtype(api, MFVideoFormat_RGB32);
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
        ComPtr<IMFMediaType> type;
        RETURN_IF_FAILED(CurrentType(type));
        if (!nv12_) return ReadVideoFrame(type.Get(), sample_.Get(), frame);
        return WithNv12Sample(type.Get(), [&](const BYTE* data, DWORD length, const Nv12Layout& layout) {
            if (!ConvertNv12(data, length, layout, frame)) return E_FAIL;
            LONGLONG time = 0;
            frame.timestamp = SUCCEEDED(sample_->GetSampleTime(&time)) ? time : 0;
            frame.visibleArea = ReadVisibleArea(type.Get(), frame.width, frame.height);
            return S_OK;
        });
    }

    HRESULT TestSampleBrightness(bool& bright) override {
        bright = false;
        ComPtr<IMFMediaType> type;
        RETURN_IF_FAILED(CurrentType(type));
        if (!nv12_) return TestVideoSampleBrightness(type.Get(), sample_.Get(), bright);
        return WithNv12Sample(type.Get(), [&](const BYTE* data, DWORD length, const Nv12Layout& layout) {
            bright = PassesNv12DarknessTest(data, length, layout);
            return S_OK;
        });
    }

    HRESULT Seek(std::uint64_t position) override {
        ScopedPropVariant value;
        value.Get().vt = VT_I8;
        value.Get().hVal.QuadPart = position > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max())
                                        ? std::numeric_limits<LONGLONG>::max()
                                        : static_cast<LONGLONG>(position);
        return reader_->SetCurrentPosition(GUID_NULL, value.Get());
    }

    std::uint64_t Duration() override {
        ScopedPropVariant value;
        if (FAILED(reader_->GetPresentationAttribute(static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE), MF_PD_DURATION,
                                                     value.Address())) ||
            value.Get().vt != VT_UI8) {
            return 0;
        }
        return value.Get().uhVal.QuadPart;
    }

private:
    HRESULT RequestSubtype(const MediaFoundationApi& api, const GUID& subtype) {
        ComPtr<IMFMediaType> type;
        RETURN_IF_FAILED(api.createMediaType(&type));
        RETURN_IF_FAILED(type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
        RETURN_IF_FAILED(type->SetGUID(MF_MT_SUBTYPE, subtype));
        return reader_->SetCurrentMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), nullptr,
                                            type.Get());
    }

    // Hands `use` the sample's bytes, locked, with their layout.
    template <typename Use>
    HRESULT WithNv12Sample(IMFMediaType* type, Use use) {
        ComPtr<IMFMediaBuffer> buffer;
        RETURN_IF_FAILED(sample_->ConvertToContiguousBuffer(&buffer));
        LockedMediaBuffer locked;
        RETURN_IF_FAILED(locked.Lock(buffer.Get()));
        Nv12Layout layout;
        RETURN_IF_FAILED(ReadNv12Layout(type, locked.length, layout));
        return use(locked.data, locked.length, layout);
    }

    // The current type, so a size change during reading is followed.
    HRESULT CurrentType(ComPtr<IMFMediaType>& type) {
        if (!reader_ || !sample_) return E_POINTER;
        return reader_->GetCurrentMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), &type);
    }

    ComPtr<IMFSourceReader> reader_;
    ComPtr<IMFSample> sample_;
    bool nv12_ = false;
};

class VideoFrameSource final : public FrameSource {
public:
    HRESULT Open(IStream* stream) override {
        if (stream == nullptr) return E_POINTER;
        const MediaFoundationApi* api = nullptr;
        RETURN_IF_FAILED(MediaFoundation(api));
        RETURN_IF_FAILED(CheckVideoContainer(stream));
        RETURN_IF_FAILED(reader_.Open(*api, stream));
        duration_ = reader_.Duration();
        opened_ = true;
        return S_OK;
    }

    std::uint32_t FrameCount() const override { return 1; }
    bool IsVideo() const override { return true; }
    std::uint64_t Duration() const override { return duration_; }
    std::uint64_t ShownPosition() const override { return shown_; }

    HRESULT ReadFrame(std::uint32_t index, FramePixels& frame) override {
        if (index != 0) return E_INVALIDARG;
        return ReadStill(false, 0, frame);
    }

    HRESULT ReadStillAt(std::uint64_t position, FramePixels& frame, std::uint64_t& shownPosition) override {
        const HRESULT hr = ReadStill(true, position, frame);
        shownPosition = shown_;
        return hr;
    }

private:
    HRESULT ReadStill(bool exact, std::uint64_t target, FramePixels& frame) {
        if (!opened_) return E_UNEXPECTED;
        StillSearchResult found = FindVideoStill(reader_, exact, target);
        RETURN_IF_FAILED(found.hr);
        RETURN_IF_FAILED(CopyStillPixels(found.frame, frame));
        shown_ = StillPosition(exact, found.target, found.frame.timestamp, duration_);
        return S_OK;
    }

    SourceReaderSamples reader_;
    bool opened_ = false;
    std::uint64_t duration_ = 0;
    std::uint64_t shown_ = 0;
};

} // namespace

FrameSource* CreateVideoFrameSource() { return new (std::nothrow) VideoFrameSource(); }

} // namespace Quivane
