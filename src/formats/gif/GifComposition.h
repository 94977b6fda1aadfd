#pragma once
// GIF canvas composition: placement and disposal over the premultiplied
// blend. Pure byte arithmetic so it is tested and fuzzed natively.
#include "imaging/PremultipliedBlend.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

struct GifFrameInfo {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t delayMs = 100;
    std::uint32_t disposal = 0;
};

constexpr std::uint32_t kGifDisposeToTransparent = 2;
constexpr std::uint32_t kGifDisposeToPrevious = 3;

// A colour table's RGB triple as an opaque BGRA pixel (little-endian word).
inline std::uint32_t GifOpaqueColour(const std::uint8_t* rgb) {
    return static_cast<std::uint32_t>(rgb[2]) | static_cast<std::uint32_t>(rgb[1]) << 8 |
           static_cast<std::uint32_t>(rgb[0]) << 16 | 0xFF000000u;
}

// Delay in hundredths of a second to milliseconds; anything under 10 ms
// (including 0, which many encoders write meaning "as fast as possible") is 10 ms.
std::uint32_t GifDelayMs(std::uint32_t hundredths);

inline CanvasRegion ClipToCanvas(std::uint32_t canvasWidth, std::uint32_t canvasHeight, const GifFrameInfo& frame) {
    return ClipToCanvas(canvasWidth, canvasHeight, frame.left, frame.top, frame.width, frame.height);
}

class GifCanvas {
public:
    // Allocates a transparent-black canvas; throws std::bad_alloc when it cannot.
    GifCanvas(std::uint32_t width, std::uint32_t height);

    // Remembers the canvas when `frame` will be disposed to the previous
    // picture; a frame drawn straight onto MutablePixels() calls it first.
    void BeginFrame(const GifFrameInfo& frame);
    // Draws one frame's pixels (frame.width x frame.height premultiplied BGRA,
    // tightly packed) at its place, after remembering the canvas when the
    // frame will be disposed to the previous picture.
    void Compose(const GifFrameInfo& frame, const std::uint8_t* pixels);

    // Applies the frame's disposal once its picture has been taken.
    void Dispose(const GifFrameInfo& frame);

    // Puts back a picture taken from Pixels() between two frames; false when
    // its size is not the canvas's.
    bool Restore(const std::vector<std::uint8_t>& picture);

    const std::uint8_t* Pixels() const { return pixels_.data(); }
    // For painting the whole canvas at once, as from a canvas of indices.
    std::uint8_t* MutablePixels() { return pixels_.data(); }
    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }
    std::size_t Stride() const { return static_cast<std::size_t>(width_) * 4; }
    std::size_t ByteSize() const { return pixels_.size(); }

private:
    std::uint32_t width_;
    std::uint32_t height_;
    std::vector<std::uint8_t> pixels_;
    std::vector<std::uint8_t> saved_; // the part a "restore previous" frame covers, as it was
    CanvasRegion savedRegion_;
    bool hasSaved_ = false;
};

} // namespace Quivane
