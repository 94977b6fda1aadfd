#pragma once
// Decodes one PNG image (a frame of an animated PNG) row by row into
// premultiplied BGRA handed to the caller, who draws each row on its canvas.
// Our own decoder rather than the platform's: the platform's keeps a whole
// decoded copy of every frame it is given, which for a huge canvas doubles
// what a preview or a thumbnail holds. Pure byte arithmetic, tested and
// fuzzed natively.
#include "PngChunks.h"

#include <array>
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

class PngImageDecoder {
public:
    PngImageEnd Decode(const PngImageFormat& format, const PngColours& colours, const std::vector<ByteSpan>& pieces,
                       const PngRowSink& sink);

private:
    std::vector<std::uint8_t> rows_; // the row above, unfiltered, and the next few rows as inflated
    std::vector<std::uint8_t> bgra_;
};

} // namespace Quivane
