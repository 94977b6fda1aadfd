#pragma once

namespace Quivane {

// A rectangle in render-target pixels: left, top, right, bottom.
struct RectF {
    float left, top, right, bottom;
};

} // namespace Quivane
