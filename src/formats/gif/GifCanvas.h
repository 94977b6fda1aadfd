#pragma once
// The GIF canvas: a frame's placement and disposal over the premultiplied
// blend. Pure byte arithmetic so it is tested and fuzzed natively.
#include "imaging/CompositionCanvas.h"

#include <cstdint>

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

class GifCanvas final : public CompositionCanvas {
public:
    using CompositionCanvas::CompositionCanvas;

    // Remembers the part of the canvas `frame` covers when it will be
    // disposed to the previous picture; a frame drawn straight onto
    // MutablePixels() calls it first.
    void BeginFrame(const GifFrameInfo& frame);
    // Draws one frame's pixels (frame.width x frame.height premultiplied BGRA,
    // tightly packed) at its place, after remembering the canvas when the
    // frame will be disposed to the previous picture.
    void Compose(const GifFrameInfo& frame, const std::uint8_t* pixels);

    // Applies the frame's disposal once its picture has been taken.
    void Dispose(const GifFrameInfo& frame);
};

} // namespace Quivane
