#pragma once
// Where a frame lands in a render target: scaled to touch the target on one
// axis, centred on the other, never cropped.

namespace Quivane {

struct FitRect {
    float left, top, right, bottom;
};

FitRect FitCentered(float targetWidth, float targetHeight, float bitmapWidth, float bitmapHeight);

} // namespace Quivane
