#pragma once
// Scales one composited frame ourselves, to a thumbnail or to a preview far
// smaller than a huge frame, because the platform scaler is not the same
// everywhere (some give nearest neighbour whatever mode is asked for). Along
// an axis that shrinks every target pixel is the exact area average of what
// it covers, so fine patterns do not alias; along an axis that grows it
// interpolates linearly between pixel centres (edge pixels held), so small
// pictures do not turn blocky.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace Quivane {

// Both pictures are premultiplied BGRA, 4 bytes a pixel, top-down rows
// `stride` bytes apart; premultiplied in gives premultiplied out (no channel
// exceeds alpha), and averaging pixels that are all equal returns them exactly.
// Returns false, having written nothing, for a null picture, a side of 0, a
// stride shorter than a row, or when its working memory cannot be had: a few
// rows, never the whole picture.
bool ScalePremultipliedBgra(const std::uint8_t* source, std::uint32_t sourceWidth, std::uint32_t sourceHeight,
                            std::size_t sourceStride, std::uint8_t* target, std::uint32_t targetWidth,
                            std::uint32_t targetHeight, std::size_t targetStride) noexcept;

// The same scaling fed one source row at a time, top to bottom, so a picture
// larger than memory allows is scaled as its decoder hands out rows. It holds
// one source row and the few target rows still open, and writes each target
// row once the last source row it covers has come. Any side up to 2^31 - 1;
// up to kMaxCanvasSide it gives what ScalePremultipliedBgra gives when that
// one takes the rows first.
class AreaRowScaler {
public:
    AreaRowScaler();
    ~AreaRowScaler();
    AreaRowScaler(const AreaRowScaler&) = delete;
    AreaRowScaler& operator=(const AreaRowScaler&) = delete;

    // False, having written nothing, for a side of 0, a null target, a target
    // stride shorter than a row, or when the working memory cannot be had.
    bool Begin(std::uint32_t sourceWidth, std::uint32_t sourceHeight, std::uint8_t* target, std::uint32_t targetWidth,
               std::uint32_t targetHeight, std::size_t targetStride) noexcept;
    // Source row `row`: `count` premultiplied pixels from column `firstColumn`
    // on, the rest of the row transparent. Rows come in increasing order; a row
    // never given is transparent. A row out of order or past the picture is ignored.
    void AddRow(std::uint32_t row, std::uint32_t firstColumn, const std::uint8_t* bgra, std::uint32_t count) noexcept;
    // Writes every target row not written yet: the source rows not given are transparent.
    void Finish() noexcept;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace Quivane
