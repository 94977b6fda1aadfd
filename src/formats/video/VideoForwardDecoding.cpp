#include "VideoForwardDecoding.h"

#include "imaging/AreaScale.h"
#include "platform/HResult.h"
#include "platform/StopResult.h"

#include <algorithm>

namespace Quivane {

namespace {

// Reads in a row that give no sample before a round counts as ended.
constexpr int kMaxEmptyReads = 64;
// How long a frame stands until the file says otherwise: 30 frames a second.
// Every frame standing a while, each round moves playing time on.
constexpr std::uint64_t kAssumedFrameDuration = 10'000'000 / 30;

struct Round {
    std::uint64_t frames = 0;
    std::uint64_t end = 0; // where the last frame kept ends, on the video's time line
};

} // namespace

HRESULT VideoSampleSource::ConvertSampleFitted(std::uint32_t maxWidth, std::uint32_t maxHeight, FramePixels& frame) {
    DecodedVideoFrame decoded;
    RETURN_IF_FAILED(ConvertSample(decoded));
    FramePixels whole;
    RETURN_IF_FAILED(CopyStillPixels(decoded, whole));
    std::uint32_t width = whole.width, height = whole.height;
    FitInside(width, height, maxWidth, maxHeight);
    if (width == whole.width && height == whole.height) {
        frame = std::move(whole);
        return S_OK;
    }
    FramePixels fitted;
    fitted.width = width;
    fitted.height = height;
    fitted.pixels.resize(fitted.Stride() * height);
    if (!ScalePremultipliedBgra(whole.pixels.data(), whole.width, whole.height, whole.Stride(), fitted.pixels.data(),
                                width, height, fitted.Stride())) {
        return E_OUTOFMEMORY;
    }
    frame = std::move(fitted);
    return S_OK;
}

HRESULT DecodeVideoForward(VideoSampleSource& source, const ForwardDecodeRequest& request, VideoFrameRing& ring,
                           const StopToken& stop) {
    std::uint64_t target = request.lastHeld ? std::min(request.from, *request.lastHeld) : request.from;
    std::uint64_t base = 0; // added to each frame's position for its play time
    std::uint64_t lastDuration = kAssumedFrameDuration;
    for (;;) {
        RETURN_IF_FAILED(source.Seek(target));
        Round round;
        // A read follows every seek before a stop is obeyed: the platform's
        // pipeline torn down under a seek in flight has crashed.
        bool seekInFlight = true;
        for (int empty = 0; empty < kMaxEmptyReads;) {
            if (!seekInFlight && stop.ShouldStop()) return StopResult(stop);
            DWORD flags = 0;
            LONGLONG timestamp = 0;
            bool hasSample = false;
            const HRESULT read = source.ReadSample(flags, timestamp, hasSample);
            seekInFlight = false;
            if (FAILED(read) || (flags & MF_SOURCE_READERF_ENDOFSTREAM)) break;
            if ((flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) || !hasSample) {
                ++empty;
                continue;
            }
            empty = 0;
            if (stop.ShouldStop()) return StopResult(stop);
            const std::uint64_t at = timestamp > 0 ? static_cast<std::uint64_t>(timestamp) : 0;
            const std::uint64_t duration = source.SampleDuration();
            if (duration != 0) lastDuration = duration;
            const bool lastOfFile = request.lastHeld && at >= *request.lastHeld;
            if (at + lastDuration <= target && !lastOfFile) continue; // decoded on the way to the target
            PlayedFrame frame;
            if (SUCCEEDED(source.ConvertSampleFitted(request.maxWidth, request.maxHeight, frame.picture))) {
                frame.position = at;
                frame.playTime = base + at;
                frame.duration = lastDuration;
                if (!ring.Push(std::move(frame), stop)) return StopResult(stop);
                ++round.frames;
                round.end = at + lastDuration;
            }
            if (lastOfFile) break;
        }
        if (round.frames == 0 && target == 0) RETURN_FAILURE(kDamagedVideoFile); // nothing to play, ever
        // The next round starts where this one ended on the play time line.
        base += round.frames != 0 ? round.end : target;
        target = 0;
    }
}

HRESULT PlayingVideo::Open(IStream* stream) {
    if (stream == nullptr) return E_POINTER;
    const MediaFoundationApi* api = nullptr;
    RETURN_IF_FAILED(MediaFoundation(api));
    VideoSampleReach reach;
    RETURN_IF_FAILED(CheckVideoContainer(stream, &reach));
    if (reach.CutShort()) lastHeld_ = reach.lastLeadingTime;
    return reader_.Open(*api, stream, progress_);
}

HRESULT PlayingVideo::Play(ForwardDecodeRequest request, VideoFrameRing& ring, const StopToken& stop) {
    request.lastHeld = lastHeld_;
    return DecodeVideoForward(reader_, request, ring, stop);
}

} // namespace Quivane
