#pragma once
// A video decoded forward for playing: from a position to the end and round
// again from the start, each frame fitted to the pane and put in the ring
// that playback shows from.
#include "SourceReaderSamples.h"
#include "VideoSampleSource.h"
#include "frames/VideoFrameRing.h"
#include "platform/StopToken.h"

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>
#include <optional>

namespace Quivane {

struct ForwardDecodeRequest {
    std::uint64_t from = 0;        // the position playing starts at
    std::uint32_t maxWidth = 0;    // frames are fitted inside this box, never enlarged
    std::uint32_t maxHeight = 0;
    std::optional<std::uint64_t> lastHeld; // a file cut short: when its last sample starts
};

// Decodes `source` forward from `request.from` into `ring` until `stop` says
// so, starting again from the beginning at the end (or at the last frame a
// file cut short holds) on a play time line that runs on. Frames before the
// position are decoded but not kept. A read that fails ends the round as the
// end of the file does; a round from the start that yields no frame ends the
// decoding with a failure, so a file that holds none never spins. Returns
// StopResult(stop) once stopped.
[[nodiscard]] HRESULT DecodeVideoForward(VideoSampleSource& source, const ForwardDecodeRequest& request,
                                         VideoFrameRing& ring, const StopToken& stop);

// A file opened for playing through the platform's source reader. Used on
// one thread, in the multithreaded apartment.
class PlayingVideo {
public:
    [[nodiscard]] HRESULT Open(IStream* stream);
    // As DecodeVideoForward; the request's lastHeld is the file's.
    [[nodiscard]] HRESULT Play(ForwardDecodeRequest request, VideoFrameRing& ring, const StopToken& stop);

private:
    PlatformProgress progress_;
    SourceReaderSamples reader_;
    std::optional<std::uint64_t> lastHeld_;
};

} // namespace Quivane
