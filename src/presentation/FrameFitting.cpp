#include "FrameFitting.h"

#include <algorithm>
#include <cmath>

namespace Quivane {

RectF FitCentered(float targetWidth, float targetHeight, float bitmapWidth, float bitmapHeight) {
    // A 0x0 bitmap scales as if it were 1x1 rather than dividing by zero.
    const float scale = std::min(targetWidth / std::max(bitmapWidth, 1.0f),
                                 targetHeight / std::max(bitmapHeight, 1.0f));
    const float width = scale * bitmapWidth;
    const float height = scale * bitmapHeight;
    const float left = (targetWidth - width) * 0.5f;
    const float top = (targetHeight - height) * 0.5f;
    return RectF{left, top, left + width, top + height};
}

FramePlacement PlaceFrame(float targetWidth, float targetHeight, float bitmapWidth, float bitmapHeight,
                          bool pixelExact) {
    const float scale = std::min(targetWidth / std::max(bitmapWidth, 1.0f),
                                 targetHeight / std::max(bitmapHeight, 1.0f));
    if (!pixelExact || !(scale >= 2.0f)) {
        return FramePlacement{FitCentered(targetWidth, targetHeight, bitmapWidth, bitmapHeight), false};
    }
    const float multiple = std::floor(scale);
    const float width = multiple * bitmapWidth;
    const float height = multiple * bitmapHeight;
    const float left = std::floor((targetWidth - width) * 0.5f);
    const float top = std::floor((targetHeight - height) * 0.5f);
    return FramePlacement{RectF{left, top, left + width, top + height}, true};
}

} // namespace Quivane
