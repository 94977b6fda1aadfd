#pragma once
#include <cstdint>

namespace Quivane {

// Direct2D cannot draw a bitmap wider or taller than this: a frame kept for
// showing is reduced to fit within it, whatever the canvas's size.
constexpr std::uint32_t kMaxCanvasSide = 16384;

// A whole canvas is one allocation handed to the platform, whose pixel calls
// take 32-bit byte counts.
constexpr std::uint64_t kMostCanvasBytes = 0xFFFFFFFFull;

// Whether a whole canvas (a frame composed at full size) may be made: its
// bytes within one 32-bit count and within a quarter of the machine's physical
// memory (0: not known). Its sides alone never refuse it: a picture that
// streams its rows needs no canvas for its thumbnail or its preview.
inline bool CanvasFits(std::uint32_t width, std::uint32_t height, std::uint64_t physicalMemory) {
    if (width == 0 || height == 0) return false;
    const std::uint64_t bytes = static_cast<std::uint64_t>(width) * height * 4;
    return bytes <= kMostCanvasBytes && (physicalMemory == 0 || bytes <= physicalMemory / 4);
}

// What decoding one row and scaling it costs per pixel of the row, at most:
// the decoder's two rows of up to 8 bytes a pixel and its BGRA row, the
// scaler's row, and room for the rest.
constexpr std::uint64_t kRowBytesPerPixel = 64;
// Without a known memory size, rows may take this much.
constexpr std::uint64_t kRowBytesWhenMemoryUnknown = 256ull << 20;

// Whether a picture this wide can be decoded and scaled row by row.
inline bool RowsFit(std::uint32_t width, std::uint64_t physicalMemory) {
    if (width == 0) return false;
    const std::uint64_t bytes = static_cast<std::uint64_t>(width) * kRowBytesPerPixel;
    return bytes <= (physicalMemory != 0 ? physicalMemory / 4 : kRowBytesWhenMemoryUnknown);
}

} // namespace Quivane
