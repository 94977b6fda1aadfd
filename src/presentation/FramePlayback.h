#pragma once
// The playback of one preview: which frame is wanted and which is shown, the
// clock that moves an animation on, frame commands and pause, and a video's
// position. It moves the seek bar's thumb and yields to the user dragging it.
#include "FrameClock.h"
#include "frames/PlaybackMedia.h"
#include "PlaybackState.h"
#include "SeekBar.h"

#include <cstdint>

namespace Quivane {

// A video shows its still until played; once played, a pause shows the badge.
enum class VideoPlay { Still, Playing, Paused };

class FramePlayback {
public:
    static constexpr std::uint32_t kNoFrame = UINT32_MAX;

    explicit FramePlayback(SeekBar& bar) : bar(bar) {}
    FramePlayback(const FramePlayback&) = delete;
    FramePlayback& operator=(const FramePlayback&) = delete;

    // New media (null: none); nothing has been shown of it yet. It must
    // outlive its use here.
    void SetMedia(const PlaybackMedia* media);
    // Starts again from the media's first frame or its current position.
    void Sync();

    bool HasTimeline() const;
    // One timer tick at `now` (milliseconds): feeds the time since
    // `lastTickTime` to AdvanceTime. Returns whether a new picture is due.
    bool Tick(std::uint64_t now, std::uint64_t& lastTickTime);
    bool AdvanceTime(std::uint32_t elapsedMs);
    // Frame delays are divided by the speed (percent of the file's own);
    // a video's stills have no delays to divide.
    void SetSpeedPercent(std::uint32_t percent) { speedPercent = percent; }
    bool TogglePause();
    void GoToFirstFrame();
    void GoToLastFrame();
    void NextFrame();
    void PreviousFrame();
    void StepFrameByWheel(std::int16_t delta);

    void SetVideoPosition(std::uint64_t position);
    // Whether a video plays; kept across the stills a seek loads.
    void SetVideoPlay(VideoPlay play) {
        videoPlay = play;
        state.paused = play == VideoPlay::Paused;
    }
    VideoPlay VideoPlayState() const { return videoPlay; }
    std::uint64_t StepVideoPosition(std::int32_t seconds) const;
    std::uint64_t EndSeekPosition() const;

    // Ends a drag of the bar. A video asks for the position the thumb was
    // dragged to (returns true with it in `position`); an animation settles on
    // the thumb's frame.
    bool ReleaseBar(std::uint64_t* position);

    // Before a picture: a dragged thumb picks the frame. Returns the frame to show.
    std::uint32_t SelectFrame();
    // The frame to draw when `wanted` is asked for: the one last drawn stays
    // while the wanted one is still being decoded.
    std::uint32_t FrameToDraw(std::uint32_t wanted);
    void FrameDrawn(std::uint32_t index) { shownFrame = index; }
    // The frame a copy of the picture takes: the thumb's while dragged, and
    // what the screen shows while the wanted one is not decoded.
    std::uint32_t CurrentFrame() const;

    const PlaybackState& State() const { return state; }
    std::uint32_t Clock() const { return clock; }
    std::uint32_t ShownFrame() const { return shownFrame; }
    std::uint64_t VideoPosition() const { return videoPosition; }

private:
    bool FollowFrameCount();
    std::uint32_t WantedFrame() const;
    bool WantedFrameArrived() const;
    void ShowFrameChange();

    SeekBar& bar;
    const PlaybackMedia* media = nullptr;
    PlaybackState state;
    std::uint32_t clock = 0;
    std::uint32_t speedPercent = kNormalSpeedPercent;
    // The frame last drawn: it stays on screen while the one asked for is decoded.
    std::uint32_t shownFrame = kNoFrame;
    bool awaitingFrame = false; // the last draw wanted a frame not decoded yet
    std::uint64_t videoPosition = 0;
    VideoPlay videoPlay = VideoPlay::Still;
};

} // namespace Quivane
