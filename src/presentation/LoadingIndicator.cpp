#include "LoadingIndicator.h"

#include <algorithm>

namespace Quivane {

IndicatorGeometry LoadingIndicatorGeometry(float width, float height, std::uint32_t tick, float scale) {
    const float barHeight = 14.0f * scale;
    const float barWidth = std::min(0.6f * width, 280.0f * scale);
    const float x0 = (width - barWidth) * 0.5f;
    const float y0 = (height - barHeight) * 0.5f;
    const float blockWidth = 0.24f * barWidth;
    const float phase = static_cast<float>(static_cast<double>(tick % 1000) / 1000.0);
    const float x = phase * (blockWidth + barWidth) + (x0 - blockWidth);
    return IndicatorGeometry{RectF{x0, y0, x0 + barWidth, y0 + barHeight},
                             RectF{x, y0 + 2.0f * scale, x + blockWidth, y0 + 12.0f * scale}};
}

} // namespace Quivane
