#pragma once
// How the user asked the preview to be shown: the information line, the
// playback speed, a checkerboard behind transparent pixels, pixel-exact
// scaling and whether videos start playing as soon as they are shown.
// Remembered per user; every field's default is today's picture.
#include <cstddef>
#include <cstdint>

namespace Quivane {

// The speeds [ and ] step through, in percent of the files' own timing.
constexpr std::uint32_t kPlaybackSpeedsPercent[] = {25, 50, 100, 200, 400};
constexpr std::size_t kPlaybackSpeedCount = sizeof(kPlaybackSpeedsPercent) / sizeof(kPlaybackSpeedsPercent[0]);
constexpr std::uint32_t kNormalSpeedStep = 2;

struct ViewOptions {
    bool infoLine = false;
    bool checkerboard = false;
    bool pixelExact = false;
    bool autoPlayVideos = false;
    std::uint32_t speedStep = kNormalSpeedStep; // an index into kPlaybackSpeedsPercent

    std::uint32_t SpeedPercent() const {
        return kPlaybackSpeedsPercent[speedStep < kPlaybackSpeedCount ? speedStep : kNormalSpeedStep];
    }
    // One step faster or slower; false at either end.
    bool Faster() {
        if (speedStep + 1 >= kPlaybackSpeedCount) return false;
        ++speedStep;
        return true;
    }
    bool Slower() {
        if (speedStep == 0 || speedStep >= kPlaybackSpeedCount) return false;
        --speedStep;
        return true;
    }
    bool operator==(const ViewOptions& other) const {
        return infoLine == other.infoLine && checkerboard == other.checkerboard && pixelExact == other.pixelExact &&
               speedStep == other.speedStep && autoPlayVideos == other.autoPlayVideos;
    }
    bool operator!=(const ViewOptions& other) const { return !(*this == other); }
};

} // namespace Quivane
