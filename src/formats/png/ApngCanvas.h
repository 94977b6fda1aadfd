#pragma once
// The APNG canvas: region checks, the SOURCE copy and the OVER blend,
// disposal, and the delay rule. Pure byte arithmetic, shared blend helpers
// with GIF.
#include "PngChunks.h"
#include "imaging/CompositionCanvas.h"

#include <cstdint>
#include <vector>

namespace Quivane {

constexpr std::uint8_t kApngDisposeBackground = 1;
constexpr std::uint8_t kApngDisposePrevious = 2;
constexpr std::uint8_t kApngBlendSource = 0;

// delay_num / delay_den seconds in milliseconds (a 0 denominator means 100);
// a result of 0 becomes 10.
std::uint32_t ApngDelayMs(std::uint16_t delayNum, std::uint16_t delayDen);

// Whether a frame region lies wholly on a width x height canvas.
bool ApngRegionFits(std::uint32_t width, std::uint32_t height, const ApngFrameControl& control);

// A control without size or data produces no frame.
bool IsSkippedControl(const ApngFrameControl& control);

class ApngCanvas final : public CompositionCanvas {
public:
    using CompositionCanvas::CompositionCanvas;

    // Draws a decoded region (width x height premultiplied BGRA, tightly
    // packed) whose place has been checked with ApngRegionFits.
    void Draw(const ApngFrameControl& control, const std::uint8_t* pixels);
    // The same a run at a time, as a decoder hands out rows: BeginFrame once,
    // then `count` pixels of the region's row `row` at columns firstColumn,
    // firstColumn + columnStep, ... for every run.
    void BeginFrame(const ApngFrameControl& control);
    void DrawRun(const ApngFrameControl& control, std::uint32_t row, std::uint32_t firstColumn,
                 std::uint32_t columnStep, const std::uint8_t* pixels, std::uint32_t count);
    // Applies the frame's disposal after its picture has been taken.
    void Dispose(const ApngFrameControl& control);
};

} // namespace Quivane
