// Videos through the platform's source reader: the still search over its
// samples, and the checks a file passes before the reader sees it.
#include "VideoFrameSource.h"

#include "MediaBoxWalk.h"
#include "MediaDataStart.h"
#include "MediaSampleReading.h"
#include "PlatformCallWatch.h"
#include "VideoCodecNames.h"
#include "VideoSampleSource.h"
#include "platform/HResult.h"
#include "platform/MediaFoundation.h"
#include "platform/OwnedHandles.h"

#include <mferror.h>
#include <wrl/client.h>

#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>

namespace Quivane {

using Microsoft::WRL::ComPtr;

HRESULT CheckVideoContainer(IStream* stream, VideoSampleReach* reach) {
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
        check = CheckTopLevelBoxes(head, headSize, fileSize, readAt, reach);
    } else if (LooksLikeAvi(head, headSize)) {
        check = CheckAviData(head, headSize, fileSize, readAt);
    } else if (LooksLikeMatroska(head, headSize)) {
        check = CheckMatroskaData(head, headSize, fileSize, readAt);
    } else {
        check = CheckAsfHeader(head, headSize, fileSize, readAt, reach);
    }
    RETURN_IF_FAILED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr));
    switch (check) {
    case MediaBoxCheck::Plausible:
    case MediaBoxCheck::Unrecognised: return S_OK; // a container of some other kind is the platform's to judge
    case MediaBoxCheck::Malformed:
    case MediaBoxCheck::NoSampleData: RETURN_FAILURE(kDamagedVideoFile);
    default: return E_FAIL; // unreadable, or more boxes than any real file has
    }
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

    HRESULT Open(const MediaFoundationApi& api, IStream* stream, PlatformProgress& progress) {
        progress_ = &progress;
        stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
        ComPtr<IMFByteStream> byteStream;
        RETURN_IF_FAILED(api.createByteStreamOnStream(stream, &byteStream));
        ComPtr<IMFAttributes> attributes;
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
        ComPtr<IMFMediaType> native;
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
    PlatformProgress* progress_ = nullptr; // the session's
    bool nv12_ = false;
    VideoCodecName codec_;
};

// What the platform's calls touch, owned jointly by the source and each call:
// a call the source stops waiting for keeps it until the call returns.
struct VideoSession {
    std::shared_ptr<PlatformProgress> progress = std::make_shared<PlatformProgress>();
    SourceReaderSamples reader;
    std::optional<std::uint64_t> lastHeld;
    std::uint64_t duration = 0;
    StillSearchResult found;
    std::mutex codecMutex; // the codec is told also when opening failed or was given up
    VideoCodecName codec;
};

class VideoFrameSource final : public FrameSource {
public:
    explicit VideoFrameSource(const StopToken& stop) : FrameSource(stop) {}

    HRESULT Open(IStream* stream) override {
        if (stream == nullptr) return E_POINTER;
        const MediaFoundationApi* api = nullptr;
        RETURN_IF_FAILED(MediaFoundation(api));
        auto session = std::make_shared<VideoSession>();
        const HRESULT opened = CallPlatformWatched(
            [session, api, held = ComPtr<IStream>(stream)](const StopToken&) {
                VideoSampleReach reach;
                RETURN_IF_FAILED(CheckVideoContainer(held.Get(), &reach));
                // A recording cut short: the still comes from the samples the file holds.
                if (reach.CutShort()) session->lastHeld = reach.lastLeadingTime;
                const HRESULT readerOpened = session->reader.Open(*api, held.Get(), *session->progress);
                {
                    std::lock_guard<std::mutex> lock(session->codecMutex);
                    session->codec = session->reader.Codec();
                }
                RETURN_IF_FAILED(readerOpened);
                session->duration = session->reader.Duration();
                return S_OK;
            },
            session->progress, Stop());
        {
            std::lock_guard<std::mutex> lock(session->codecMutex);
            codec_ = session->codec;
        }
        RETURN_IF_FAILED(opened);
        session_ = std::move(session);
        return S_OK;
    }

    std::uint32_t FrameCount() const override { return 1; }
    bool IsVideo() const override { return true; }
    std::uint64_t Duration() const override { return session_ ? session_->duration : 0; }
    std::uint64_t ShownPosition() const override { return shown_; }
    void DescribeMedia(MediaFacts& facts) const override {
        if (codec_.name != nullptr) facts.codec = codec_.name;
        if (codec_.storeExtension != nullptr) facts.codecExtension = codec_.storeExtension;
    }

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
        if (!session_) return E_UNEXPECTED;
        const HRESULT hr = CallPlatformWatched(
            [session = session_, exact, target](const StopToken& stop) {
                session->found = FindVideoStill(session->reader, exact, target, session->lastHeld, stop);
                return session->found.hr;
            },
            session_->progress, Stop());
        // A reader given up may still be inside the session: no later read touches it.
        if (hr == HRESULT_FROM_WIN32(WAIT_TIMEOUT)) session_.reset();
        RETURN_IF_FAILED(hr);
        const StillSearchResult& found = session_->found;
        RETURN_IF_FAILED(CopyStillPixels(found.frame, frame));
        shown_ = StillPosition(exact, found.target, found.frame.timestamp, session_->duration);
        return S_OK;
    }

    std::shared_ptr<VideoSession> session_; // once opened
    VideoCodecName codec_;
    std::uint64_t shown_ = 0;
};

} // namespace

FrameSource* CreateVideoFrameSource(const StopToken& stop) { return new (std::nothrow) VideoFrameSource(stop); }

} // namespace Quivane
