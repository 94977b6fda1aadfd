#pragma once
// A WebP file's container read by libwebp's demuxer: the canvas and, in
// order, each frame's place, timing, blend and disposal rules and its
// bitstream. A still picture is one frame covering the canvas.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

struct WebPFrameInfo {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t delayMs = 100;
    bool blend = false;               // alpha-blend over the canvas, else replace its region
    bool disposeToBackground = false; // the region turns transparent once the frame has been shown
    bool opaque = false;   // a lossy bitstream without alpha: every pixel it draws is opaque
    // The canvas before this frame does not show through it or after it:
    // composing may start here on a transparent canvas.
    bool keyFrame = false;
    const std::uint8_t* bitstream = nullptr; // into the file's bytes: the frame's ALPH and VP8, or VP8L
    std::size_t bitstreamSize = 0;
};

class WebPAnimation {
public:
    // Reads the container of `bytes`, which must outlive the frames. A file
    // cut short keeps its complete frames; false when it holds none, or is
    // no WebP container at all.
    bool Parse(const std::uint8_t* bytes, std::size_t size);

    std::uint32_t CanvasWidth() const { return canvasWidth_; }
    std::uint32_t CanvasHeight() const { return canvasHeight_; }
    const std::vector<WebPFrameInfo>& Frames() const { return frames_; }
    // The last key frame at or before `index` (0 at most).
    std::uint32_t KeyFrameAtOrBefore(std::uint32_t index) const;

private:
    std::uint32_t canvasWidth_ = 0;
    std::uint32_t canvasHeight_ = 0;
    std::vector<WebPFrameInfo> frames_;
};

} // namespace Quivane
