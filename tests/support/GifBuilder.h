#pragma once
// Writes small, valid GIF files byte by byte so tests can state exactly the
// header, descriptors and control blocks a case needs.
#include <cstdint>
#include <optional>
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

// A frame of one colour index.
GifFrameSpec SolidFrame(std::uint16_t left, std::uint16_t top, std::uint16_t width, std::uint16_t height,
                        std::uint8_t index);

} // namespace QuivaneTest
