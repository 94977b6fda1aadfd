#pragma once
// Where a frame lands in a render target: scaled to touch the target on one
// axis, centred on the other, never cropped.

#include "RectF.h"

namespace Quivane {

RectF FitCentered(float targetWidth, float targetHeight, float bitmapWidth, float bitmapHeight);

// Where a frame lands and whether its pixels are repeated rather than blended.
struct FramePlacement {
    RectF rect;
    bool nearestNeighbour = false;
};

// With `pixelExact`, a frame that fits at 2x or more is scaled by the whole
// multiple below that and centred on whole pixels, each of its pixels a
// square of the same colour; otherwise, and by default, FitCentered.
FramePlacement PlaceFrame(float targetWidth, float targetHeight, float bitmapWidth, float bitmapHeight,
                          bool pixelExact);

} // namespace Quivane
