#pragma once
// A video decoder's own picture layout, NV12: a plane of luma, then one row
// of interleaved blue- and red-difference samples for every two rows. The
// still search reads what the decoder gives and converts only the frame it
// keeps, rather than having every frame it passes over converted to RGB.
// No Windows header: tested natively.
#include "VideoFrame.h"
#include "frames/FramePixels.h"

#include <cstddef>
#include <cstdint>

namespace Quivane {

enum class YuvMatrix { Bt601, Bt709 };

struct Nv12Layout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t stride = 0; // bytes from one luma row to the next, and from one chroma row to the next
    YuvMatrix matrix = YuvMatrix::Bt601;
    bool fullRange = false; // luma 0..255 rather than 16..235
};

// The bytes the layout needs; 0 when the stride cannot hold a row.
std::uint64_t Nv12Bytes(const Nv12Layout& layout);

// The darkness test of converted frames restated on luma: mean under 10 and
// no sample reaching 24 on the 0..255 scale, limited-range luma mapped onto
// it first ((Y - 16) * 255 / 219). False when `length` is short.
bool PassesNv12DarknessTest(const std::uint8_t* data, std::size_t length, const Nv12Layout& layout);

// The picture as top-down B G R x rows; false when `length` is short.
bool ConvertNv12(const std::uint8_t* data, std::size_t length, const Nv12Layout& layout, DecodedVideoFrame& frame);

// The picture's `area` (the whole picture when none) fitted inside
// maxWidth x maxHeight (FitInside) as opaque BGRA: each row is converted and
// area-scaled as it comes, so no picture of the full size is made. What
// ConvertNv12, a copy of the area and ScalePremultipliedBgra give, in one
// pass. False when `length` is short, the area lies outside, or memory lacks.
bool ConvertNv12Fitted(const std::uint8_t* data, std::size_t length, const Nv12Layout& layout,
                       const std::optional<VisibleArea>& area, std::uint32_t maxWidth, std::uint32_t maxHeight,
                       FramePixels& frame);

} // namespace Quivane
