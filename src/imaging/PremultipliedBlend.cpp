#include "PremultipliedBlend.h"

#include <algorithm>
#include <cstring>

namespace Quivane {
namespace {

// Saturates: a decoder's premultiplied pixels never exceed 255 here, but a
// colour above its alpha must not wrap around.
inline std::uint8_t BlendByte(std::uint32_t src, std::uint32_t dst, std::uint32_t inverseAlpha) {
    return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, src + (dst * inverseAlpha + 127) / 255));
}

// floor(c * a / 255) for any two bytes, as libwebp premultiplies its pixels.
inline std::uint32_t Premultiply(std::uint32_t colour, std::uint32_t alpha) { return (colour * alpha * 32897u) >> 23; }

// kStraight: the source's colours are not yet multiplied by its alpha.
template <bool kStraight>
inline void BlendPixel(const std::uint8_t* src, std::uint8_t* dst) {
    const std::uint32_t alpha = src[3];
    if (alpha == 255) {
        std::memcpy(dst, src, 4);
    } else if (alpha != 0) {
        const std::uint32_t inverse = 255 - alpha;
        for (int i = 0; i < 3; ++i) dst[i] = BlendByte(kStraight ? Premultiply(src[i], alpha) : src[i], dst[i], inverse);
        dst[3] = BlendByte(alpha, dst[3], inverse);
    }
}

constexpr std::uint32_t kBlockPixels = 8;

// GIF pixels (and most of an animated WebP's) are either opaque or fully
// transparent, so a block of pixels is usually a plain select between source
// and canvas, which the compiler turns into vector code; only blocks with
// translucent pixels take the formula.
// Pixels are read as little-endian 32-bit words, alpha in the top byte.
template <bool kStraight>
void BlendRow(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t columns) {
    std::uint32_t x = 0;
    for (; x + kBlockPixels <= columns; x += kBlockPixels, src += 4 * kBlockPixels, dst += 4 * kBlockPixels) {
        std::uint32_t source[kBlockPixels];
        std::memcpy(source, src, sizeof(source));
        std::uint32_t translucent = 0;
        for (std::uint32_t i = 0; i < kBlockPixels; ++i) translucent |= ((source[i] >> 24) + 1) & 0xFE;
        if (translucent == 0) {
            std::uint32_t canvas[kBlockPixels];
            std::memcpy(canvas, dst, sizeof(canvas));
            for (std::uint32_t i = 0; i < kBlockPixels; ++i) {
                const std::uint32_t fromSource = static_cast<std::uint32_t>(static_cast<std::int32_t>(source[i]) >> 31);
                canvas[i] = (source[i] & fromSource) | (canvas[i] & ~fromSource);
            }
            std::memcpy(dst, canvas, sizeof(canvas));
        } else {
            for (std::uint32_t i = 0; i < kBlockPixels; ++i) BlendPixel<kStraight>(src + 4 * i, dst + 4 * i);
        }
    }
    for (; x < columns; ++x, src += 4, dst += 4) BlendPixel<kStraight>(src, dst);
}

template <bool kStraight>
void BlendRegion(std::uint8_t* canvas, std::size_t canvasStride, const CanvasRegion& region, const std::uint8_t* source,
                 std::size_t sourceStride) {
    if (region.rows == 0) return; // an empty canvas has no rows to point into
    std::uint8_t* row = canvas + region.top * canvasStride + static_cast<std::size_t>(region.left) * 4;
    for (std::uint32_t y = 0; y < region.rows; ++y, row += canvasStride, source += sourceStride) {
        BlendRow<kStraight>(source, row, region.columns);
    }
}

} // namespace

CanvasRegion ClipToCanvas(std::uint32_t canvasWidth, std::uint32_t canvasHeight, std::uint32_t left, std::uint32_t top,
                          std::uint32_t width, std::uint32_t height) {
    CanvasRegion region;
    region.left = left;
    region.top = top;
    region.columns = left >= canvasWidth ? 0 : std::min(canvasWidth - left, width);
    region.rows = top >= canvasHeight ? 0 : std::min(canvasHeight - top, height);
    if (region.columns == 0 || region.rows == 0) region.columns = region.rows = 0;
    return region;
}

void BlendOverPremultiplied(std::uint8_t* canvas, std::size_t canvasStride, const CanvasRegion& region,
                            const std::uint8_t* source, std::size_t sourceStride) {
    BlendRegion<false>(canvas, canvasStride, region, source, sourceStride);
}

void BlendStraightOverPremultiplied(std::uint8_t* canvas, std::size_t canvasStride, const CanvasRegion& region,
                                    const std::uint8_t* source, std::size_t sourceStride) {
    BlendRegion<true>(canvas, canvasStride, region, source, sourceStride);
}

void ClearRegion(std::uint8_t* canvas, std::size_t canvasStride, const CanvasRegion& region) {
    if (region.rows == 0) return;
    std::uint8_t* row = canvas + region.top * canvasStride + static_cast<std::size_t>(region.left) * 4;
    for (std::uint32_t y = 0; y < region.rows; ++y, row += canvasStride) {
        std::memset(row, 0, static_cast<std::size_t>(region.columns) * 4);
    }
}

} // namespace Quivane
