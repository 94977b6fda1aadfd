#include "VideoFrame.h"

#include <climits>

#include <algorithm>
#include <cstring>

namespace Quivane {

bool PassesDarknessTest(const DecodedVideoFrame& frame) {
    if (frame.stride > static_cast<std::uint32_t>(INT32_MAX)) return false;
    return PassesDarknessTest(frame.pixels.data(), frame.pixels.size(), static_cast<std::int32_t>(frame.stride),
                              frame.width, frame.height);
}

bool PassesDarknessTest(const std::uint8_t* pixels, std::size_t length, std::int32_t stride, std::uint32_t width,
                        std::uint32_t height) {
    if (pixels == nullptr || width == 0 || height == 0 || length == 0) return false;
    const std::uint64_t rowLength = stride < 0 ? -static_cast<std::int64_t>(stride) : stride;
    if (rowLength < static_cast<std::uint64_t>(width) * 4) return false;
    if (rowLength * height > length) return false;
    const std::uint32_t columnStep = std::max<std::uint32_t>(1, width / 32);
    const std::uint32_t rowStep = std::max<std::uint32_t>(1, height / 24);
    std::uint64_t total = 0;
    std::uint64_t count = 0;
    std::uint32_t brightest = 0;
    for (std::uint32_t y = 0; y < height; y += rowStep) {
        const std::uint32_t stored = stride < 0 ? height - 1 - y : y; // row y of the upright picture
        const std::uint8_t* row = pixels + static_cast<std::size_t>(stored) * rowLength;
        for (std::uint32_t x = 0; x < width; x += columnStep) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * 4;
            const std::uint32_t luma = (54u * p[2] + 183u * p[1] + 19u * p[0]) >> 8;
            total += luma;
            ++count;
            brightest = std::max(brightest, luma);
        }
    }
    return total / count >= 10 || brightest >= 24;
}

std::optional<VisibleArea> ChooseVisibleArea(std::uint32_t width, std::uint32_t height, std::int32_t offsetX,
                                             std::int32_t offsetY, std::uint32_t areaWidth, std::uint32_t areaHeight) {
    const std::uint32_t x = static_cast<std::uint32_t>(std::max(0, offsetX));
    const std::uint32_t y = static_cast<std::uint32_t>(std::max(0, offsetY));
    if (areaWidth == 0 || areaHeight == 0 || x >= width || y >= height) return std::nullopt;
    VisibleArea area{x, y, std::min(areaWidth, width - x), std::min(areaHeight, height - y)};
    if (area.width == 0 || area.height == 0) return std::nullopt;
    if (area.x == 0 && area.y == 0 && area.width == width && area.height == height) return std::nullopt;
    return area;
}

void CopyRowsUpright(const std::uint8_t* source, std::int32_t stride, std::uint32_t rowBytes, std::uint32_t height,
                     std::uint8_t* target) {
    const std::size_t rowLength = static_cast<std::size_t>(stride < 0 ? -static_cast<std::int64_t>(stride) : stride);
    for (std::uint32_t i = 0; i < height; ++i) {
        const std::uint32_t sourceRow = stride < 0 ? height - 1 - i : i;
        std::memcpy(target + static_cast<std::size_t>(i) * rowLength, source + sourceRow * rowLength, rowBytes);
    }
}

std::uint64_t LastShowablePosition(std::uint64_t position, std::uint64_t duration) {
    return (duration != 0 && position >= duration) ? duration - 1 : position;
}

std::uint64_t StillPosition(bool exact, std::uint64_t target, std::int64_t timestamp, std::uint64_t duration) {
    const std::uint64_t position = exact ? target : (timestamp >= 0 ? static_cast<std::uint64_t>(timestamp) : 0);
    return LastShowablePosition(position, duration);
}

void FitInside(std::uint32_t& width, std::uint32_t& height, std::uint32_t maxWidth, std::uint32_t maxHeight) {
    if (maxWidth == 0 || maxHeight == 0 || (width <= maxWidth && height <= maxHeight)) return;
    // Compared as products, so the side that binds is exact.
    if (static_cast<std::uint64_t>(width) * maxHeight >= static_cast<std::uint64_t>(height) * maxWidth) {
        height = static_cast<std::uint32_t>(
            std::max<std::uint64_t>(1, (static_cast<std::uint64_t>(height) * maxWidth + width / 2) / width));
        width = maxWidth;
    } else {
        width = static_cast<std::uint32_t>(
            std::max<std::uint64_t>(1, (static_cast<std::uint64_t>(width) * maxHeight + height / 2) / height));
        height = maxHeight;
    }
}

} // namespace Quivane
