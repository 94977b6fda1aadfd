#pragma once
// Scales one composited frame ourselves, to a thumbnail or to a preview far
// smaller than a huge frame, because the platform scaler is not the same
// everywhere (some give nearest neighbour whatever mode is asked for). Along
// an axis that shrinks every target pixel is the exact area average of what
// it covers, so fine patterns do not alias; along an axis that grows it
// interpolates linearly between pixel centres (edge pixels held), so small
// pictures do not turn blocky.
#include <cstddef>
#include <cstdint>

namespace Quivane {

// Both pictures are premultiplied BGRA, 4 bytes a pixel, top-down rows
// `stride` bytes apart; premultiplied in gives premultiplied out (no channel
// exceeds alpha), and averaging pixels that are all equal returns them exactly.
// Returns false, having written nothing, for a null picture, a side of 0 or
// above kMaxCanvasSide, a stride shorter than a row, or when its working
// memory cannot be had: a few rows, never the whole picture.
bool ScalePremultipliedBgra(const std::uint8_t* source, std::uint32_t sourceWidth, std::uint32_t sourceHeight,
                            std::size_t sourceStride, std::uint8_t* target, std::uint32_t targetWidth,
                            std::uint32_t targetHeight, std::size_t targetStride) noexcept;

} // namespace Quivane
