#pragma once
// Decodes one PNG image (a frame of an animated PNG) row by row into
// premultiplied BGRA handed to the caller, who draws each row on its canvas.
// Our own decoder rather than the platform's: the platform's keeps a whole
// decoded copy of every frame it is given, which for a huge canvas doubles
// what a preview or a thumbnail holds. Pure byte arithmetic, tested and
// fuzzed natively.
#include "PngChunks.h"
#include "PngWholeInflater.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace Quivane {

constexpr std::uint8_t kPngGrey = 0;
constexpr std::uint8_t kPngRgb = 2;
constexpr std::uint8_t kPngPalette = 3;
constexpr std::uint8_t kPngGreyAlpha = 4;
constexpr std::uint8_t kPngRgba = 6;

struct PngImageFormat {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t bitDepth = 0;
    std::uint8_t colourType = 0;
    bool interlaced = false;
};

// The format an IHDR chunk's 13 bytes declare; false for a combination PNG
// does not allow.
bool ReadPngImageFormat(const std::array<std::uint8_t, 13>& ihdr, PngImageFormat& format);

// What turns samples into colours: the palette with its alphas, or the one
// grey or RGB value (in the image's own bit depth) that is transparent.
struct PngColours {
    std::array<std::uint32_t, 256> palette{}; // premultiplied BGRA; entries past the palette opaque black
    bool hasPalette = false;
    bool hasKey = false;
    std::array<std::uint16_t, 3> key{}; // grey in [0], or red, green, blue
};

// From the chunks before the image data (PLTE, tRNS). False when the image
// needs a palette and has no valid one.
bool ReadPngColours(const PngImageFormat& format, const std::vector<PngChunk>& chunks, PngColours& colours);

enum class PngImageEnd {
    Complete, // every row was decoded and handed out
    BadData,  // the data ended early or is malformed
    // Every row was decoded and handed out, but the data goes on past the
    // image or fails its checksum: the picture stands, the file is damaged.
    DamagedTail,
    NoMemory, // the inflater could not have its state
    Stopped,  // the row sink asked to stop
};

// Receives `count` pixels of image row `row`, at columns firstColumn,
// firstColumn + columnStep, ... (an interlaced image comes in spaced runs).
// Returns false to stop decoding.
using PngRowSink = std::function<bool(std::uint32_t row, std::uint32_t firstColumn, std::uint32_t columnStep,
                                      const std::uint8_t* bgra, std::uint32_t count)>;

// Frames whose inflated rows fit in this many bytes are inflated whole, in
// one call; larger ones a few rows at a time, never held whole. Less in a
// 32-bit process, whose address space has less room for one long run.
constexpr std::size_t kPngWholeFrameLimit = sizeof(void*) >= 8 ? std::size_t{256} << 20 : std::size_t{64} << 20;
// A picture streamed into a scaler (a thumbnail) is inflated whole only when
// small: a few rows at a time is what keeps a huge picture's thumbnail small.
constexpr std::size_t kPngWholeFrameLimitWhileScaling = std::size_t{16} << 20;

// One interlace pass (or the whole image): where its pixels go and the size of its rows.
struct PngPass {
    std::uint32_t firstColumn = 0, firstRow = 0, columnStep = 1, rowStep = 1;
    std::uint32_t columns = 0, rows = 0;
    std::size_t rowBytes = 0;   // without the filter byte
    std::size_t filterStep = 1; // bytes per pixel, at least one
};

class PngImageDecoder {
public:
    PngImageEnd Decode(const PngImageFormat& format, const PngColours& colours, const std::vector<ByteSpan>& pieces,
                       const PngRowSink& sink, std::size_t wholeFrameLimit = kPngWholeFrameLimit);

private:
    // Undoes, converts and hands out `count` rows lying one after another,
    // each its filter byte and its bytes, from row `y` of the pass on; `above`
    // is the unfiltered row above the first. Continues the Adler-32 over them
    // when given one.
    PngImageEnd HandRows(const PngImageFormat& format, const PngColours& colours, const PngPass& pass,
                         std::uint8_t* rows, const std::uint8_t* above, std::size_t count, std::uint32_t y,
                         const PngRowSink& sink, std::uint32_t* checksum);
    PngImageEnd DecodeStreamed(const PngImageFormat& format, const PngColours& colours,
                               const std::vector<ByteSpan>& pieces, const PngPass* passes, int count,
                               const PngRowSink& sink);

    PngWholeInflater whole_;
    std::vector<std::uint8_t> rows_; // the row above, unfiltered, and the next few rows as inflated
    std::vector<std::uint8_t> bgra_;
};

} // namespace Quivane
