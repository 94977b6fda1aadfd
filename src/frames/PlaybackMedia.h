#pragma once
// What playback asks of the frames it plays: how many there are, how long
// each is shown, whether it is decoded yet; for a video, its time line.
#include <cstdint>

namespace Quivane {

class PlaybackMedia {
public:
    virtual ~PlaybackMedia() = default;
    virtual std::uint64_t FrameCount() const = 0;
    virtual std::uint32_t FrameDelay(std::uint32_t index) const = 0; // milliseconds
    virtual bool IsFrameReady(std::uint32_t index) const = 0;
    virtual bool IsTimeBased() const = 0;
    virtual std::uint64_t Duration() const = 0; // 100-nanosecond units, as VideoPosition
    virtual std::uint64_t Position() const = 0;
};

} // namespace Quivane
