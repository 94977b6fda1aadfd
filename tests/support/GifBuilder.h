#pragma once
// Writes small, valid GIF files byte by byte so tests can state exactly the
// header, descriptors and control blocks a case needs.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace QuivaneTest {

struct Rgb {
    std::uint8_t r, g, b;
};

struct GifFrameSpec {
    std::uint16_t left = 0;
    std::uint16_t top = 0;
    std::uint16_t width = 1;
    std::uint16_t height = 1;
    std::vector<std::uint8_t> indices;           // width * height palette indices
    std::vector<Rgb> localPalette;               // a local colour table of 256 entries; empty: none
    bool hasControlBlock = true;                 // false: no Graphic Control Extension at all
    std::uint16_t delayHundredths = 10;
    std::uint8_t disposal = 0;
    std::optional<std::uint8_t> transparentIndex;
    bool applicationBlockAfterControl = false;   // as ImageMagick writes its gamma block
    std::uint8_t minimumCodeSize = 8;            // as written; the data is coded for 8 whatever it says
    std::optional<std::vector<std::uint8_t>> lzw; // written as the data instead of the indices' own
};

class GifBuilder {
public:
    GifBuilder(std::uint16_t screenWidth, std::uint16_t screenHeight, std::vector<Rgb> palette,
               std::uint8_t backgroundIndex = 0);
    GifBuilder& AddFrame(const GifFrameSpec& frame);
    std::vector<std::uint8_t> Build() const;

private:
    std::vector<std::uint8_t> bytes_;
};

// A built GIF without its global colour table: with no local tables, a file
// with no colour table at all.
std::vector<std::uint8_t> WithoutGlobalColourTable(std::vector<std::uint8_t> gif);

struct NamedGif {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

// GIFs from which no image decodes a pixel, one per way it happens: every
// LZW minimum code size a GIF cannot have, random bytes as the data, no data
// at all, no colour table anywhere, and an image of zero width.
std::vector<NamedGif> GifsWithNothingToShow();

// A frame of one colour index.
GifFrameSpec SolidFrame(std::uint16_t left, std::uint16_t top, std::uint16_t width, std::uint16_t height,
                        std::uint8_t index);

} // namespace QuivaneTest
