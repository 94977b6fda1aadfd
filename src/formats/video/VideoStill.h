#pragma once
// A video reaches the screen the way a picture does: its still in a one-frame
// store, with the time line the still stands on.
#include "formats/FormatRow.h"
#include "frames/FrameSource.h"
#include "platform/StopToken.h"
#include "frames/StoreMedia.h"

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>
#include <optional>

namespace Quivane {

struct VideoStill {
    FramePixels frame;
    VideoTimeline timeline;
    MediaFacts facts; // the format and, as far as it was learnt, the codec: also when reading failed
};

// Opens a source for the format on `stream` (from its start) and reads the
// video's representative still or, given a position, the first still at or
// after it. E_NOTIMPL for a format that is no video. The source goes before
// this returns: the still holds nothing of the stream.
// The source gives up once `stop` says so.
[[nodiscard]] HRESULT ReadVideoStill(const FormatRow& format, IStream* stream, std::optional<std::uint64_t> position,
                                     VideoStill& still, const StopToken& stop = {});

// The still as the preview shows it.
std::unique_ptr<StoreMedia> CreateStillMedia(VideoStill&& still);

} // namespace Quivane
