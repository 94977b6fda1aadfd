#include "VideoFrameRing.h"

#include <chrono>

namespace Quivane {

DueChoice ChooseDueFrame(const std::uint64_t* playTimes, std::size_t count, std::uint64_t now) {
    DueChoice choice;
    std::size_t due = 0;
    while (due < count && playTimes[due] <= now) ++due;
    if (due == 0) return choice;
    choice.dropped = due - 1;
    choice.show = true;
    return choice;
}

bool VideoFrameRing::Push(PlayedFrame frame, const StopToken& stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    // The stop token has no signal of its own: a waiting push looks again now and then.
    while (frames_.size() >= capacity_ && !stop.ShouldStop()) room_.wait_for(lock, std::chrono::milliseconds(20));
    if (stop.ShouldStop()) return false;
    frames_.push_back(std::move(frame));
    return true;
}

VideoFrameRing::Taken VideoFrameRing::TakeDue(std::uint64_t now) {
    Taken taken;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        times_.clear(); // within its reserved room: the ring never holds more than its capacity
        for (const PlayedFrame& frame : frames_) times_.push_back(frame.playTime);
        const DueChoice choice = ChooseDueFrame(times_.data(), times_.size(), now);
        taken.dropped = choice.dropped;
        for (std::size_t i = 0; i < choice.dropped; ++i) frames_.pop_front();
        if (choice.show) {
            taken.frame = std::move(frames_.front());
            frames_.pop_front();
        }
        taken.empty = frames_.empty();
    }
    room_.notify_all();
    return taken;
}

void VideoFrameRing::Clear() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        frames_.clear();
    }
    room_.notify_all();
}

std::size_t VideoFrameRing::Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.size();
}

} // namespace Quivane
