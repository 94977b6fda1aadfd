#pragma once
// One finished picture as the decoders hand it out. Free of Windows types so
// that what keeps frames can be tested natively.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

// 32-bit blue, green, red, alpha with premultiplied colour, rows of
// width * 4 bytes, top row first.
struct FramePixels {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;
    std::uint32_t delayMs = 100;
    std::size_t Stride() const { return static_cast<std::size_t>(width) * 4; }
};

} // namespace Quivane
