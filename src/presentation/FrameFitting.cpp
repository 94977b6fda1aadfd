#include "FrameFitting.h"

#include <algorithm>

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

} // namespace Quivane
