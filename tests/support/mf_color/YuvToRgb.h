#pragma once
// Planar and packed 4:2:0 / 4:2:2 YUV to top-down BGRX, BT.601 limited range.
#include <cstddef>
#include <cstdint>

namespace QuivaneTestMf {

enum class YuvLayout { Nv12, I420, Yv12, Yuy2 };

struct YuvFrame {
    YuvLayout layout = YuvLayout::I420;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t lumaStride = 0;   // bytes a row of Y (YUY2: of the packed rows)
    std::uint32_t chromaStride = 0; // bytes a row of each chroma plane (NV12: of the UV plane)
};

// Bytes a frame of the given layout takes with those strides.
std::size_t FrameBytes(const YuvFrame& frame);

// Picks the strides for a buffer of `available` bytes with no stride given:
// Wine (GStreamer) rounds each row up to 4 bytes; a packed frame has none. The
// padded reading wins when the buffer is large enough for it.
bool GuessStrides(YuvFrame& frame, std::size_t available);

// Strides from a known luma (or packed) stride.
void StridesFromLuma(YuvFrame& frame, std::uint32_t lumaStride);

// Writes width * height BGRX pixels, rows of width * 4 bytes; `source` must
// hold FrameBytes(frame).
void ConvertToBgrx(const YuvFrame& frame, const std::uint8_t* source, std::uint8_t* target);

} // namespace QuivaneTestMf
