#pragma once
// Where a frame lands in a render target: scaled to touch the target on one
// axis, centred on the other, never cropped.

#include "RectF.h"

namespace Quivane {

RectF FitCentered(float targetWidth, float targetHeight, float bitmapWidth, float bitmapHeight);

} // namespace Quivane
