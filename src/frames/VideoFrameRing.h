#pragma once
// A video played forward: the few frames a worker has decoded ahead of the
// clock, in the order they play, and the choice of the one due on screen. No
// Windows header: the choice is tested natively with a fake clock.
#include "FramePixels.h"
#include "platform/StopToken.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace Quivane {

// One decoded frame of a video being played, fitted to the pane. Times in
// 100-ns units.
struct PlayedFrame {
    FramePixels picture;
    std::uint64_t position = 0; // on the video's time line
    std::uint64_t playTime = 0; // on playback's own line, which runs on across each loop
    std::uint64_t duration = 0; // how long it stands
};

// At most this many frames wait at the pane's size: a few frames' worth of time.
constexpr std::size_t kMaxRingFrames = 8;

struct DueChoice {
    std::size_t dropped = 0; // the frames before the one shown: late, never shown
    bool show = false;       // whether the frame after those is due now
};

// `playTimes` in play order, `now` on the same line. The last frame at or
// before `now` is shown and every one before it is dropped; none due: nothing changes.
DueChoice ChooseDueFrame(const std::uint64_t* playTimes, std::size_t count, std::uint64_t now);

class VideoFrameRing {
public:
    explicit VideoFrameRing(std::size_t capacity = kMaxRingFrames) : capacity_(capacity == 0 ? 1 : capacity) {
        times_.reserve(capacity_);
    }
    VideoFrameRing(const VideoFrameRing&) = delete;
    VideoFrameRing& operator=(const VideoFrameRing&) = delete;

    // Adds a frame at the back, waiting while the ring is full; false, the
    // frame dropped, once `stop` says so (looked at under the ring's lock, so
    // a frame of a run stopped before a Clear never lands after it).
    bool Push(PlayedFrame frame, const StopToken& stop);

    struct Taken {
        std::optional<PlayedFrame> frame; // the frame due now, if any
        std::size_t dropped = 0;
        bool empty = false; // nothing is left waiting
    };
    // Takes the frame due at `now` (see ChooseDueFrame), and drops those before it.
    Taken TakeDue(std::uint64_t now);
    void Clear();
    // A Push waiting for room looks at its stop token again.
    void Wake() { room_.notify_all(); }
    std::size_t Size() const;

private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable room_;
    std::deque<PlayedFrame> frames_;
    std::vector<std::uint64_t> times_; // the frames' play times, for the choice
};

} // namespace Quivane
