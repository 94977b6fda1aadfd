#include "ApngCanvas.h"

#include "imaging/PremultipliedBlend.h"

#include <algorithm>
#include <cstring>

namespace Quivane {
namespace {

CanvasRegion RegionOf(const ApngFrameControl& control) {
    return CanvasRegion{control.x_offset, control.y_offset, control.width, control.height};
}

} // namespace

std::uint32_t ApngDelayMs(std::uint16_t delayNum, std::uint16_t delayDen) {
    const std::uint32_t denominator = delayDen == 0 ? 100 : delayDen;
    const std::uint32_t ms = static_cast<std::uint32_t>(delayNum) * 1000u / denominator;
    return ms == 0 ? 10 : ms;
}

bool ApngRegionFits(std::uint32_t width, std::uint32_t height, const ApngFrameControl& control) {
    return control.x_offset < width && control.y_offset < height && control.width <= width - control.x_offset &&
           control.height <= height - control.y_offset;
}

bool IsSkippedControl(const ApngFrameControl& control) {
    return control.width == 0 || control.height == 0 || control.pieces.empty();
}

void ApngCanvas::Draw(const ApngFrameControl& control, const std::uint8_t* pixels) {
    BeginFrame(control);
    const std::size_t rowBytes = static_cast<std::size_t>(control.width) * 4;
    for (std::uint32_t row = 0; row < control.height; ++row) DrawRun(control, row, 0, 1, pixels + row * rowBytes, control.width);
}

void ApngCanvas::BeginFrame(const ApngFrameControl& control) {
    if (control.dispose_op == kApngDisposePrevious) RememberPart(RegionOf(control));
}

void ApngCanvas::DrawRun(const ApngFrameControl& control, std::uint32_t row, std::uint32_t firstColumn,
                         std::uint32_t columnStep, const std::uint8_t* pixels, std::uint32_t count) {
    const std::uint32_t left = control.x_offset + firstColumn;
    const std::uint32_t top = control.y_offset + row;
    if (columnStep == 1) {
        if (control.blend_op == kApngBlendSource) {
            std::memcpy(MutablePixels() + (static_cast<std::size_t>(top) * Width() + left) * 4, pixels,
                        static_cast<std::size_t>(count) * 4);
        } else {
            BlendOverPremultiplied(MutablePixels(), Stride(), CanvasRegion{left, top, count, 1}, pixels, 0);
        }
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i, pixels += 4) {
        const std::uint32_t column = left + i * columnStep;
        if (control.blend_op == kApngBlendSource) {
            std::memcpy(MutablePixels() + (static_cast<std::size_t>(top) * Width() + column) * 4, pixels, 4);
        } else {
            BlendOverPremultiplied(MutablePixels(), Stride(), CanvasRegion{column, top, 1, 1}, pixels, 0);
        }
    }
}

void ApngCanvas::Dispose(const ApngFrameControl& control) {
    if (control.dispose_op == kApngDisposeBackground) {
        ClearPart(RegionOf(control));
    } else if (control.dispose_op == kApngDisposePrevious) {
        PutBackRemembered();
    }
}

} // namespace Quivane
