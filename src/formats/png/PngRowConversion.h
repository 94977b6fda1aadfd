#pragma once
// A PNG row's unfiltered samples as premultiplied BGRA, in every colour type
// and bit depth. Pure byte arithmetic, tested and fuzzed natively.
#include "PngImageDecoder.h"

#include <cstdint>

namespace Quivane {

// (sample * alpha + 127) / 255, rounded the same for every sample and alpha,
// without a division or a branch, so that a row of pixels vectorises.
inline std::uint32_t PngMultiplyByAlpha(std::uint32_t sample, std::uint32_t alpha) {
    const std::uint32_t product = sample * alpha + 128;
    return (product + (product >> 8)) >> 8;
}

inline std::uint32_t PngPremultiplied(std::uint32_t red, std::uint32_t green, std::uint32_t blue, std::uint32_t alpha) {
    return PngMultiplyByAlpha(blue, alpha) | PngMultiplyByAlpha(green, alpha) << 8 | PngMultiplyByAlpha(red, alpha) << 16 |
           alpha << 24;
}

inline std::uint32_t PngSample16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0]) << 8 | p[1]; }

// `count` pixels of an unfiltered row as premultiplied BGRA. Sixteen-bit
// samples keep their high byte, as the platform's conversion does.
void ConvertPngRow(const PngImageFormat& format, const PngColours& colours, const std::uint8_t* row,
                   std::uint32_t count, std::uint8_t* out);

} // namespace Quivane
