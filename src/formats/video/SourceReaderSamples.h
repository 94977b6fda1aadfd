#pragma once
// The platform's source reader as a VideoSampleSource: what the still search
// and forward playback read a video through.
#include "MediaSampleReading.h"
#include "PlatformCallWatch.h"
#include "VideoCodecNames.h"
#include "VideoFrameSource.h"
#include "VideoSampleSource.h"
#include "platform/HResult.h"
#include "platform/MediaFoundation.h"
#include "platform/OwnedHandles.h"

#include <mferror.h>
#include <wrl/client.h>

#include <limits>

namespace Quivane {

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

    HRESULT Open(const MediaFoundationApi& api, IStream* stream, PlatformProgress& progress) {
        progress_ = &progress;
        stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
        Microsoft::WRL::ComPtr<IMFByteStream> byteStream;
        RETURN_IF_FAILED(api.createByteStreamOnStream(stream, &byteStream));
        Microsoft::WRL::ComPtr<IMFAttributes> attributes;
        RETURN_IF_FAILED(api.createAttributes(&attributes, 1));
        RETURN_IF_FAILED(attributes->SetUINT32(MF_READWRITE_DISABLE_CONVERTERS, FALSE));
        RETURN_IF_FAILED(attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE));
        RETURN_IF_FAILED(api.createSourceReaderFromByteStream(byteStream.Get(), attributes.Get(), &reader_));
        progress.Note();
        ReadNativeCodec();
        nv12_ = SUCCEEDED(RequestSubtype(api, MFVideoFormat_NV12));
        if (nv12_) return S_OK;
        const HRESULT rgb = RequestSubtype(api, MFVideoFormat_RGB32);
        // A stream of a known type that no decoder takes needs a codec, which
        // the user can be told of; other failures keep their own reason.
        if (FAILED(rgb) && codec_.name != nullptr &&
            (rgb == kVideoCodecMissing || rgb == MF_E_INVALIDMEDIATYPE || rgb == MF_E_INVALIDREQUEST)) {
            RETURN_FAILURE(kVideoCodecMissing);
        }
        return rgb;
    }

    // The codec of the first video stream, as the file declares it.
    const VideoCodecName& Codec() const { return codec_; }

    HRESULT ReadSample(DWORD& flags, LONGLONG& timestamp, bool& hasSample) override {
        sample_.Reset();
        DWORD stream = 0;
        const HRESULT hr = reader_->ReadSample(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), 0, &stream,
                                               &flags, &timestamp, &sample_);
        progress_->Note();
        hasSample = sample_ != nullptr;
        return hr;
    }

    HRESULT ConvertSample(DecodedVideoFrame& frame) override {
        Microsoft::WRL::ComPtr<IMFMediaType> type;
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

    HRESULT ConvertSampleFitted(std::uint32_t maxWidth, std::uint32_t maxHeight, FramePixels& frame) override {
        if (!nv12_) return VideoSampleSource::ConvertSampleFitted(maxWidth, maxHeight, frame);
        Microsoft::WRL::ComPtr<IMFMediaType> type;
        RETURN_IF_FAILED(CurrentType(type));
        return WithNv12Sample(type.Get(), [&](const BYTE* data, DWORD length, const Nv12Layout& layout) {
            const std::optional<VisibleArea> area = ReadVisibleArea(type.Get(), layout.width, layout.height);
            return ConvertNv12Fitted(data, length, layout, area, maxWidth, maxHeight, frame) ? S_OK : E_FAIL;
        });
    }

    HRESULT TestSampleBrightness(bool& bright) override {
        bright = false;
        Microsoft::WRL::ComPtr<IMFMediaType> type;
        RETURN_IF_FAILED(CurrentType(type));
        if (!nv12_) return TestVideoSampleBrightness(type.Get(), sample_.Get(), bright);
        return WithNv12Sample(type.Get(), [&](const BYTE* data, DWORD length, const Nv12Layout& layout) {
            bright = PassesNv12DarknessTest(data, length, layout);
            return S_OK;
        });
    }

    std::uint64_t SampleDuration() override {
        LONGLONG duration = 0;
        if (sample_ && SUCCEEDED(sample_->GetSampleDuration(&duration)) && duration > 0) {
            return static_cast<std::uint64_t>(duration);
        }
        // Else one frame at the stream's rate.
        Microsoft::WRL::ComPtr<IMFMediaType> type;
        UINT32 numerator = 0, denominator = 0;
        if (FAILED(reader_->GetCurrentMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), &type)) ||
            FAILED(MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &numerator, &denominator)) || numerator == 0) {
            return 0;
        }
        return 10'000'000ull * denominator / numerator;
    }

    HRESULT Seek(std::uint64_t position) override {
        ScopedPropVariant value;
        value.Get().vt = VT_I8;
        value.Get().hVal.QuadPart = position > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max())
                                        ? std::numeric_limits<LONGLONG>::max()
                                        : static_cast<LONGLONG>(position);
        const HRESULT hr = reader_->SetCurrentPosition(GUID_NULL, value.Get());
        progress_->Note();
        return hr;
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
    void ReadNativeCodec() {
        Microsoft::WRL::ComPtr<IMFMediaType> native;
        GUID subtype = GUID_NULL;
        if (FAILED(reader_->GetNativeMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), 0, &native)) ||
            FAILED(native->GetGUID(MF_MT_SUBTYPE, &subtype))) {
            return;
        }
        if (subtype == MFVideoFormat_MPEG2) {
            codec_ = NameVideoCodec(0, 2);
            return;
        }
        // Only the platform's four-character-code GUIDs carry a code in their first field.
        GUID fourccBase = MFVideoFormat_Base;
        fourccBase.Data1 = subtype.Data1;
        if (IsEqualGUID(subtype, fourccBase)) codec_ = NameVideoCodec(static_cast<std::uint32_t>(subtype.Data1));
    }

    HRESULT RequestSubtype(const MediaFoundationApi& api, const GUID& subtype) {
        Microsoft::WRL::ComPtr<IMFMediaType> type;
        RETURN_IF_FAILED(api.createMediaType(&type));
        RETURN_IF_FAILED(type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
        RETURN_IF_FAILED(type->SetGUID(MF_MT_SUBTYPE, subtype));
        return reader_->SetCurrentMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), nullptr,
                                            type.Get());
    }

    // Hands `use` the sample's bytes, locked, with their layout.
    template <typename Use>
    HRESULT WithNv12Sample(IMFMediaType* type, Use use) {
        Microsoft::WRL::ComPtr<IMFMediaBuffer> buffer;
        RETURN_IF_FAILED(sample_->ConvertToContiguousBuffer(&buffer));
        LockedMediaBuffer locked;
        RETURN_IF_FAILED(locked.Lock(buffer.Get()));
        Nv12Layout layout;
        RETURN_IF_FAILED(ReadNv12Layout(type, locked.length, layout));
        return use(locked.data, locked.length, layout);
    }

    // The current type, so a size change during reading is followed.
    HRESULT CurrentType(Microsoft::WRL::ComPtr<IMFMediaType>& type) {
        if (!reader_ || !sample_) return E_POINTER;
        return reader_->GetCurrentMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), &type);
    }

    Microsoft::WRL::ComPtr<IMFSourceReader> reader_;
    Microsoft::WRL::ComPtr<IMFSample> sample_;
    PlatformProgress* progress_ = nullptr; // the session's
    bool nv12_ = false;
    VideoCodecName codec_;
};

} // namespace Quivane
