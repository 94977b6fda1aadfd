#include "ThumbnailSize.h"

#include <algorithm>

namespace Quivane {

ThumbnailSize FitThumbnail(std::uint32_t pictureWidth, std::uint32_t pictureHeight, std::uint32_t longerSide) {
    const std::uint64_t w = pictureWidth, h = pictureHeight, cx = longerSide;
    if (w >= h) {
        return {longerSide, static_cast<std::uint32_t>(std::max<std::uint64_t>(1, w == 0 ? 1 : (h * cx + w / 2) / w))};
    }
    return {static_cast<std::uint32_t>(std::max<std::uint64_t>(1, (w * cx + h / 2) / h)), longerSide};
}

} // namespace Quivane
