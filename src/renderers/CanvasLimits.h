#pragma once
#include <cstdint>

namespace Quivane {

// Direct2D cannot draw a bitmap wider or taller than this, and a canvas this
// size already costs 1 GiB per frame: larger canvases are refused up front
// rather than committing memory for pictures that could never be shown.
constexpr std::uint32_t kMaxCanvasSide = 16384;

// Whether a canvas may be made at all: both sides within the limit, and its
// bytes within a quarter of the machine's physical memory (0: not known).
inline bool CanvasFits(std::uint32_t width, std::uint32_t height, std::uint64_t physicalMemory) {
    if (width == 0 || height == 0 || width > kMaxCanvasSide || height > kMaxCanvasSide) return false;
    const std::uint64_t bytes = static_cast<std::uint64_t>(width) * height * 4;
    return physicalMemory == 0 || bytes <= physicalMemory / 4;
}

} // namespace Quivane
