#pragma once
#include "VideoFrame.h"
#include "WicAnimatedRenderer.h"

#include <mfobjects.h>

namespace Quivane {

// Renderer for .mp4 and .wmv files: one representative still, decoded by the
// platform's media framework, on a time line with the video's duration.
class VideoStillRenderer : public WicAnimatedRenderer {
public:
    bool IsTimeBased() const override { return duration > 0; }
    std::uint64_t GetDuration() const override { return duration; }
    std::uint64_t GetPosition() const override { return position; }
    HRESULT LoadAtPosition(IStream* stream, std::uint64_t target) override;
    HRESULT DecodeStream(IStream* stream) override;

private:
    HRESULT DecodeVideoStill(IStream* stream, bool exact, std::uint64_t target);

    std::uint64_t duration = 0;
    std::uint64_t position = 0;
};

// The still as a 32bppBGR bitmap, cut to its visible area.
HRESULT MakeStillBitmap(const DecodedVideoFrame& frame, ComPtr<IWICBitmap>& bitmap);

// Converts one RGB32 sample of the given media type: size, stride (width x 4
// when the type has none; negative means bottom-up), visible area from the
// apertures, rows copied upright.
HRESULT ReadVideoFrame(IMFMediaType* type, IMFSample* sample, DecodedVideoFrame& frame);

} // namespace Quivane
