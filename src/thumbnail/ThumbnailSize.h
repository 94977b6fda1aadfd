#pragma once
// The size of a thumbnail: the longer side is exactly the requested one, the
// other follows the picture's aspect ratio, rounded, at least 1.
#include <cstdint>

namespace Quivane {

struct ThumbnailSize {
    std::uint32_t width;
    std::uint32_t height;
};

ThumbnailSize FitThumbnail(std::uint32_t pictureWidth, std::uint32_t pictureHeight, std::uint32_t longerSide);

} // namespace Quivane
