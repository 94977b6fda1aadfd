#pragma once
// What the still search needs of a video: read the next sample, convert the
// sample just read into a frame, seek. The product reads through Media
// Foundation's source reader; tests script a source of their own.
#include "platform/StopToken.h"
#include "VideoFrame.h"
#include "frames/FramePixels.h"

#include <windows.h>

#include <optional>

namespace Quivane {

class VideoSampleSource {
public:
    virtual ~VideoSampleSource() = default;
    // One read: the reader's flags, the timestamp and whether a sample came.
    [[nodiscard]] virtual HRESULT ReadSample(DWORD& flags, LONGLONG& timestamp, bool& hasSample) = 0;
    // Converts the sample the last read delivered.
    [[nodiscard]] virtual HRESULT ConvertSample(DecodedVideoFrame& frame) = 0;
    // The same sample fitted inside maxWidth x maxHeight (FitInside) as
    // opaque BGRA, for playing; by default converted whole, then scaled.
    [[nodiscard]] virtual HRESULT ConvertSampleFitted(std::uint32_t maxWidth, std::uint32_t maxHeight,
                                                      FramePixels& frame);
    // Whether that sample passes the darkness test; a source that can look at
    // the decoder's buffer answers without converting it.
    [[nodiscard]] virtual HRESULT TestSampleBrightness(bool& bright) {
        DecodedVideoFrame frame;
        const HRESULT hr = ConvertSample(frame);
        bright = SUCCEEDED(hr) && PassesDarknessTest(frame);
        return hr;
    }
    // How long the sample last read stands, in 100-ns units; 0 when unknown.
    virtual std::uint64_t SampleDuration() { return 0; }
    [[nodiscard]] virtual HRESULT Seek(std::uint64_t position) = 0;
    virtual std::uint64_t Duration() = 0; // 0 when the source reports none
};

constexpr int kMaxStillReads = 512;

struct StillSearchResult {
    HRESULT hr = E_FAIL;
    DecodedVideoFrame frame;
    std::uint64_t target = 0;
};

// Finds the still to show: in exact mode the first frame at or after the
// position, otherwise the first frame that is not nearly black from a third
// of the way in (reading once more from the start if the end comes first).
// The first frame converted stands in when nothing better is found.
// `lastHeld`, for a file that ends before its samples do, is when the last
// sample it holds starts: the search seeks no later, and reads no further
// than that sample, as no later one will ever come. Once `stop` says so the
// search ends with StopResult, after the read that follows a seek.
StillSearchResult FindVideoStill(VideoSampleSource& source, bool exact, std::uint64_t position,
                                 std::optional<std::uint64_t> lastHeld = std::nullopt, const StopToken& stop = {});

} // namespace Quivane
