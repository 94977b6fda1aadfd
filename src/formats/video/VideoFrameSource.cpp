// Videos through the platform's source reader: the still search over its
// samples, and the checks a file passes before the reader sees it.
#include "VideoFrameSource.h"

#include "MediaBoxWalk.h"
#include "MediaDataStart.h"
#include "MediaSampleReading.h"
#include "PlatformCallWatch.h"
#include "VideoCodecNames.h"
#include "SourceReaderSamples.h"
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
