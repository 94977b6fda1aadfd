#pragma once
// Premultiplied BGRA pixel work on a canvas: clipping a rectangle to it, the
// "over" blend and clearing. Every animated format composes with these.
#include <cstddef>
#include <cstdint>

namespace Quivane {

// The part of a frame rectangle that lies on the canvas.
struct CanvasRegion {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t columns = 0;
    std::uint32_t rows = 0;
};

CanvasRegion ClipToCanvas(std::uint32_t canvasWidth, std::uint32_t canvasHeight, std::uint32_t left, std::uint32_t top,
                          std::uint32_t width, std::uint32_t height);

// Blends `region.columns` x `region.rows` premultiplied BGRA pixels (rows of
// `sourceStride` bytes) over the canvas at the region's corner. Every byte
// becomes min(255, src + (dst * (255 - a) + 127) / 255).
void BlendOverPremultiplied(std::uint8_t* canvas, std::size_t canvasStride, const CanvasRegion& region,
                            const std::uint8_t* source, std::size_t sourceStride);

// The same from straight-alpha BGRA, each colour premultiplied on the way as
// floor(c * a / 255), as libwebp premultiplies: one pass where premultiplying
// the source first would be two.
void BlendStraightOverPremultiplied(std::uint8_t* canvas, std::size_t canvasStride, const CanvasRegion& region,
                                    const std::uint8_t* source, std::size_t sourceStride);

// Transparent black over the region.
void ClearRegion(std::uint8_t* canvas, std::size_t canvasStride, const CanvasRegion& region);

} // namespace Quivane
