#pragma once
// Videos through the platform's media reader: one representative still (or
// the still at a position) of a file decoded straight from its stream.
#include "FrameSource.h"
#include "VideoFrame.h"

#include <mfobjects.h>

namespace Quivane {

// The still as an opaque picture, cut to its visible area.
[[nodiscard]] HRESULT CopyStillPixels(const DecodedVideoFrame& frame, FramePixels& still);

// Converts one RGB32 sample of the given media type: size, stride (width x 4
// when the type has none; negative means bottom-up), visible area from the
// apertures, rows copied upright.
[[nodiscard]] HRESULT ReadVideoFrame(IMFMediaType* type, IMFSample* sample, DecodedVideoFrame& frame);

// The darkness test on an RGB32 sample where the decoder left it, without a copy.
[[nodiscard]] HRESULT TestVideoSampleBrightness(IMFMediaType* type, IMFSample* sample, bool& bright);

// The outermost structure of a video file, checked before the platform's
// parser sees it: a size it must not be trusted with fails with E_FAIL.
[[nodiscard]] HRESULT CheckVideoContainer(IStream* stream);

} // namespace Quivane
