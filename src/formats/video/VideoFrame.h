#pragma once
// One converted video sample and the rules applied to it: the darkness test
// that rejects nearly black stills, the visible area inside a coded frame,
// rows turned upright, and the positions a still stands for. No Windows
// header: these are tested natively.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace Quivane {

struct VisibleArea {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct DecodedVideoFrame {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t stride = 0; // bytes per row, always positive here
    std::int64_t timestamp = 0;
    std::optional<VisibleArea> visibleArea;
    std::vector<std::uint8_t> pixels; // height rows of stride bytes, top row first, B G R x
};

// False for frames whose sampled pixels are nearly black: mean luma under 10
// and no pixel reaching 24. Frames too small for their stride fail too.
bool PassesDarknessTest(const DecodedVideoFrame& frame);
// The same test on pixels where the decoder left them: `length` bytes of rows
// `stride` bytes apart (negative: bottom-up, as CopyRowsUpright reads them),
// so a frame is copied only once it is chosen.
bool PassesDarknessTest(const std::uint8_t* pixels, std::size_t length, std::int32_t stride, std::uint32_t width,
                        std::uint32_t height);

// The part of a width x height frame to show, from an aperture's offsets and
// size; none when the aperture is empty, outside the frame or the whole frame.
std::optional<VisibleArea> ChooseVisibleArea(std::uint32_t width, std::uint32_t height, std::int32_t offsetX,
                                             std::int32_t offsetY, std::uint32_t areaWidth, std::uint32_t areaHeight);

// Copies `height` rows of `rowBytes` from a buffer whose rows are `stride`
// bytes apart (negative: bottom-up) so that the first row is the top one.
void CopyRowsUpright(const std::uint8_t* source, std::int32_t stride, std::uint32_t rowBytes, std::uint32_t height,
                     std::uint8_t* target);

// Fits width x height inside maxWidth x maxHeight keeping its shape (each
// side at least 1); never enlarges, and a box with a side of 0 leaves it whole.
void FitInside(std::uint32_t& width, std::uint32_t& height, std::uint32_t maxWidth, std::uint32_t maxHeight);

// Positions in 100-ns units: a target at or past the end is the last unit.
std::uint64_t LastShowablePosition(std::uint64_t position, std::uint64_t duration);

// The position a found still stands for.
std::uint64_t StillPosition(bool exact, std::uint64_t target, std::int64_t timestamp, std::uint64_t duration);

} // namespace Quivane
