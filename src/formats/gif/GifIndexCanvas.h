#pragma once
// A GIF canvas of colour indices rather than colours. Frames composed only to
// reach a later one (a thumbnail's middle frame, a jump ahead) then cost no
// colour lookups and half the memory traffic; the canvas becomes colours once,
// when a frame is shown. Each cell holds the colour table that drew it (a
// slot; 0 for none, which is transparent black) and the index within it.
// Pure byte arithmetic, tested natively against GifCanvas.
#include "GifCanvas.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

class GifIndexCanvas {
public:
    // Allocates an empty (transparent) canvas; throws std::bad_alloc when it cannot.
    GifIndexCanvas(std::uint32_t width, std::uint32_t height);

    // Prepares drawing `frame` (its part on the canvas) in the colour table of
    // `entries` RGB triples at `table` (null when none), where
    // `transparentIndex` leaves the canvas as it is (-1: no such index). The
    // same table is always passed at the same address. False, with nothing
    // changed, when the canvas already tells apart all the tables it can.
    bool BeginFrame(const GifFrameInfo& frame, const std::uint8_t* table, std::uint32_t entries,
                    std::int32_t transparentIndex);
    // Draws row `row` of the frame begun last from its indices, which start at the frame's left edge.
    void DrawRow(std::uint32_t row, const std::uint8_t* indices);
    // Applies the frame's disposal once it has been drawn.
    void Dispose(const GifFrameInfo& frame);

    // The canvas as premultiplied BGRA: Width() * Height() * 4 bytes.
    void WriteColours(std::uint8_t* out) const;

    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }

private:
    std::uint16_t SlotOf(const std::uint8_t* table, std::uint32_t entries);

    std::uint32_t width_;
    std::uint32_t height_;
    std::vector<std::uint16_t> cells_;
    std::vector<std::uint16_t> saved_;         // for "restore previous" frames
    std::vector<std::uint32_t> colours_;       // 256 premultiplied BGRA per slot; slot 0 transparent
    std::vector<const std::uint8_t*> tables_;  // the table of each slot after 0
    std::array<std::uint16_t, 256> drawn_{};   // the cell each index of the frame draws; 0 leaves the canvas
    CanvasRegion region_;
};

} // namespace Quivane
