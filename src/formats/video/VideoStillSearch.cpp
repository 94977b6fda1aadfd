#include "platform/StopResult.h"
#include "VideoSampleSource.h"

#include "platform/MediaFoundation.h"

#include <algorithm>

namespace Quivane {

StillSearchResult FindVideoStill(VideoSampleSource& source, bool exact, std::uint64_t position,
                                 std::optional<std::uint64_t> lastHeld, const StopToken& stop) {
    StillSearchResult result;
    const std::uint64_t duration = source.Duration();
    const auto held = [&](std::uint64_t at) { return lastHeld ? std::min(at, *lastHeld) : at; };
    bool seeked = false;
    if (exact) {
        result.target = held(LastShowablePosition(position, duration));
        if (FAILED(source.Seek(result.target))) {
            result.hr = E_FAIL;
            return result;
        }
    } else if (duration != 0) {
        seeked = SUCCEEDED(source.Seek(held(duration / 3)));
    }

    std::optional<DecodedVideoFrame> fallback;
    HRESULT leaving = S_OK;
    bool rewound = false;
    bool chosen = false;
    // A seek runs on in the platform's pipeline until a read returns; torn
    // down before that, the pipeline has crashed the platform's media
    // framework. So a read follows every seek, even when the load is stopped.
    bool seekInFlight = exact || seeked;
    for (int read = 0; read < kMaxStillReads && !chosen; ++read) {
        if (!seekInFlight && stop.ShouldStop()) {
            leaving = StopResult(stop);
            break;
        }
        DWORD flags = 0;
        LONGLONG timestamp = 0;
        bool hasSample = false;
        const HRESULT hr = source.ReadSample(flags, timestamp, hasSample);
        seekInFlight = false;
        if (FAILED(hr)) {
            leaving = hr;
            break;
        }
        if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) continue;
        if (flags & MF_SOURCE_READERF_ENDOFSTREAM) {
            // Start once more from the beginning when the search began a third of the way in.
            if (exact || rewound || !seeked || FAILED(source.Seek(0))) {
                leaving = E_FAIL;
                break;
            }
            rewound = true;
            seekInFlight = true;
            continue;
        }
        if (!hasSample) continue;
        if (stop.ShouldStop()) {
            leaving = StopResult(stop);
            break;
        }
        const bool lastOfFile = lastHeld && timestamp >= 0 && static_cast<std::uint64_t>(timestamp) >= *lastHeld;
        if (!exact && fallback) {
            // A dark frame after the first is passed over without being copied.
            bool bright = false;
            if (FAILED(source.TestSampleBrightness(bright)) || !bright) {
                if (lastOfFile) break;
                continue;
            }
        }
        DecodedVideoFrame frame;
        if (FAILED(source.ConvertSample(frame))) { // an unconvertible sample is skipped
            if (lastOfFile) break;
            continue;
        }
        if (exact) {
            const bool reached = frame.timestamp < 0 || static_cast<std::uint64_t>(frame.timestamp) >= result.target;
            fallback = std::move(frame);
            chosen = reached;
        } else {
            chosen = fallback.has_value() || PassesDarknessTest(frame); // a later frame got here bright
            fallback = std::move(frame); // the first frame stands in when nothing brighter comes
        }
        chosen = chosen || lastOfFile;
    }
    if (!fallback) {
        result.hr = FAILED(leaving) ? leaving : E_FAIL;
        return result;
    }
    result.frame = std::move(*fallback);
    result.hr = S_OK;
    return result;
}

} // namespace Quivane
