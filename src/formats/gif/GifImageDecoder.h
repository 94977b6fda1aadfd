#pragma once
// Decodes one GIF image (its LZW data) straight into premultiplied BGRA, only
// the part that lies on the canvas. Our own decoder rather than the
// platform's: it decodes an image only when that frame is wanted, so a
// thumbnail stops at the frame it shows and the first frame of a preview does
// not wait for the whole file. Pure byte arithmetic, tested and fuzzed natively.
#include "GifControlBlocks.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace Quivane {

// Premultiplied BGRA for each of the 256 indices; an index outside the colour
// table, or the transparent one, is transparent black.
using GifColours = std::array<std::uint32_t, 256>;

// The image's colour table (its local one, else the global one) as RGB
// triples with its number of entries; null when it has none or the file cuts it short.
const std::uint8_t* FindGifColourTable(const std::uint8_t* data, std::size_t size, const GifImageLayout& image,
                                       std::uint32_t& entries);

// The image's colours: its local table, else the global one, else none (all transparent).
GifColours ReadGifColours(const std::uint8_t* data, std::size_t size, const GifImageLayout& image);

enum class GifImageEnd {
    Complete,  // every pixel of the image was decoded
    ShortData, // the data ended (or said it ended) before the last pixel
    BadCode,   // a code no decoder could give a meaning; decoding stopped there
};

// Takes each decoded row that lies on the canvas: its number within the image
// and the image's whole row of indices.
using GifRowTaker = std::function<void(std::uint32_t row, const std::uint8_t* indices)>;

class GifImageDecoder {
public:
    // Writes the image's top-left `columns` x `rows` pixels to `out` (rows of
    // columns * 4 bytes, which the caller has cleared). Pixels the data does
    // not reach stay as they were: transparent, as browsers leave them.
    GifImageEnd Decode(const std::uint8_t* data, std::size_t size, const GifImageLayout& image,
                       const GifColours& colours, std::uint32_t columns, std::uint32_t rows, std::uint8_t* out);
    // Draws the image's top-left `columns` x `rows` pixels straight over a
    // canvas of premultiplied BGRA, whose frame corner is at `canvas` and
    // whose rows are `stride` bytes apart: an opaque colour replaces the
    // canvas's pixel, a transparent index (or one outside the table) leaves
    // it, as blending would, and so do pixels the data does not reach.
    // `everyPixelOpaque` says whether every pixel of that part was drawn opaque.
    GifImageEnd DrawOver(const std::uint8_t* data, std::size_t size, const GifImageLayout& image,
                         const GifColours& colours, std::uint32_t columns, std::uint32_t rows, std::uint8_t* canvas,
                         std::size_t stride, bool& everyPixelOpaque);
    // The image's first `rows` rows as indices, for a caller that keeps
    // indices rather than colours.
    GifImageEnd DecodeRows(const std::uint8_t* data, std::size_t size, const GifImageLayout& image, std::uint32_t rows,
                           const GifRowTaker& take);
    // Whether the image's data gives at least one whole row: all a canvas
    // could ever show of it. Decodes no further than that row.
    bool DecodesARow(const std::uint8_t* data, std::size_t size, const GifImageLayout& image);
    // From a row taker: decoding ends once the row being taken returns
    // (ShortData), so a huge image stops when its load is given up.
    void StopAfterThisRow() { stopped_ = true; }

private:
    template <class Take>
    GifImageEnd DecodeInto(const std::uint8_t* data, std::size_t size, const GifImageLayout& image, std::uint32_t rows,
                           const Take& take);
    void WriteString(std::uint32_t code, std::uint8_t* out) const;

    bool firstRowOnly_ = false; // DecodesARow: stop at the first row, interlaced or not
    bool stopped_ = false;
    std::vector<std::uint8_t> compressed_; // the image's sub-blocks joined
    std::vector<std::uint8_t> line_;       // one row of indices
    // Each code's string is its prefix code's string (a whole number of
    // eight-byte pieces) and a last piece of one to eight bytes: a new code
    // costs one piece copied, never its whole string.
    std::array<std::array<std::uint8_t, 8>, 4096> pieces_{};
    std::array<std::uint16_t, 4096> prefix_{};
    std::array<std::uint16_t, 4096> lengthLess1_{};
    std::array<std::uint8_t, 4096> first_{};
    std::array<std::uint8_t, 4096 + 8> scratch_{}; // a string that runs past the row, with room to spare
};

} // namespace Quivane
