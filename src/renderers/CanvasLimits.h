#pragma once
#include <cstdint>

namespace Quivane {

// Direct2D cannot draw a bitmap wider or taller than this, and a canvas this
// size already costs 1 GiB per frame: larger canvases are refused up front
// rather than committing memory for pictures that could never be shown.
constexpr std::uint32_t kMaxCanvasSide = 16384;

} // namespace Quivane
