#include "GifBuilder.h"

#include <algorithm>

namespace QuivaneTest {
namespace {

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// LZW data that uses only literal codes at 9 bits, with a clear code often
// enough that the decoder's table never grows to the next code width.
std::vector<std::uint8_t> LiteralLzw(const std::vector<std::uint8_t>& indices) {
    const unsigned clear = 256;
    const unsigned end = 257;
    std::vector<unsigned> codes{clear};
    unsigned sinceClear = 0;
    for (std::uint8_t index : indices) {
        if (sinceClear == 200) {
            codes.push_back(clear);
            sinceClear = 0;
        }
        codes.push_back(index);
        ++sinceClear;
    }
    codes.push_back(end);

    std::vector<std::uint8_t> packed;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (unsigned code : codes) {
        buffer |= code << bits;
        bits += 9;
        while (bits >= 8) {
            packed.push_back(static_cast<std::uint8_t>(buffer & 0xFF));
            buffer >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) packed.push_back(static_cast<std::uint8_t>(buffer & 0xFF));
    return packed;
}

} // namespace

GifBuilder::GifBuilder(std::uint16_t screenWidth, std::uint16_t screenHeight, std::vector<Rgb> palette,
                       std::uint8_t backgroundIndex) {
    palette.resize(256, Rgb{0, 0, 0});
    const std::uint8_t header[] = {'G', 'I', 'F', '8', '9', 'a'};
    bytes_.assign(std::begin(header), std::end(header));
    PutU16(bytes_, screenWidth);
    PutU16(bytes_, screenHeight);
    bytes_.push_back(0xF7); // 256-entry global table, 8-bit colour resolution
    bytes_.push_back(backgroundIndex);
    bytes_.push_back(0);
    for (const Rgb& c : palette) {
        bytes_.push_back(c.r);
        bytes_.push_back(c.g);
        bytes_.push_back(c.b);
    }
    // Netscape looping extension, as real animations carry.
    const std::uint8_t loop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E',
                                 '2',  '.',  '0',  0x03, 0x01, 0x00, 0x00, 0x00};
    bytes_.insert(bytes_.end(), std::begin(loop), std::end(loop));
}

GifBuilder& GifBuilder::AddFrame(const GifFrameSpec& frame) {
    if (frame.hasControlBlock) {
        bytes_.push_back(0x21);
        bytes_.push_back(0xF9);
        bytes_.push_back(0x04);
        bytes_.push_back(static_cast<std::uint8_t>(((frame.disposal & 7) << 2) | (frame.transparentIndex ? 1 : 0)));
        PutU16(bytes_, frame.delayHundredths);
        bytes_.push_back(frame.transparentIndex.value_or(0));
        bytes_.push_back(0x00);
    }
    if (frame.applicationBlockAfterControl) {
        const std::uint8_t gamma[] = {0x21, 0xFF, 0x0B, 'I', 'm', 'a', 'g', 'e', 'M', 'a', 'g', 'i', 'c', 'k', 0x0D,
                                      'g',  'a',  'm',  'm', 'a', '=', '0', '.', '4', '5', '4', '5', '5', 0x00};
        bytes_.insert(bytes_.end(), std::begin(gamma), std::end(gamma));
    }
    bytes_.push_back(0x2C);
    PutU16(bytes_, frame.left);
    PutU16(bytes_, frame.top);
    PutU16(bytes_, frame.width);
    PutU16(bytes_, frame.height);
    if (frame.localPalette.empty()) {
        bytes_.push_back(0x00); // no local table, not interlaced
    } else {
        bytes_.push_back(0x87); // a 256-entry local table
        for (std::size_t i = 0; i < 256; ++i) {
            const Rgb c = i < frame.localPalette.size() ? frame.localPalette[i] : Rgb{0, 0, 0};
            bytes_.insert(bytes_.end(), {c.r, c.g, c.b});
        }
    }
    bytes_.push_back(frame.minimumCodeSize);
    const std::vector<std::uint8_t> data = frame.lzw ? *frame.lzw : LiteralLzw(frame.indices);
    for (std::size_t offset = 0; offset < data.size(); offset += 255) {
        const std::size_t length = std::min<std::size_t>(255, data.size() - offset);
        bytes_.push_back(static_cast<std::uint8_t>(length));
        bytes_.insert(bytes_.end(), data.begin() + static_cast<std::ptrdiff_t>(offset),
                      data.begin() + static_cast<std::ptrdiff_t>(offset + length));
    }
    bytes_.push_back(0x00);
    return *this;
}

std::vector<std::uint8_t> GifBuilder::Build() const {
    std::vector<std::uint8_t> out = bytes_;
    out.push_back(0x3B);
    return out;
}

std::vector<std::uint8_t> WithoutGlobalColourTable(std::vector<std::uint8_t> gif) {
    gif[10] &= 0x7F; // no global table flag...
    gif.erase(gif.begin() + 13, gif.begin() + 13 + 768); // ...and no table
    return gif;
}

std::vector<NamedGif> GifsWithNothingToShow() {
    const std::vector<Rgb> palette = {{0, 0, 0}, {255, 0, 0}};
    const auto one = [&](const GifFrameSpec& frame) { return GifBuilder(16, 16, palette).AddFrame(frame).Build(); };
    std::vector<NamedGif> gifs;
    for (std::uint8_t size : {0, 1, 11, 12, 13, 255}) {
        GifFrameSpec frame = SolidFrame(0, 0, 16, 16, 1);
        frame.minimumCodeSize = size;
        gifs.push_back({"minimum code size " + std::to_string(size), one(frame)});
    }
    GifFrameSpec noise = SolidFrame(0, 0, 16, 16, 1);
    std::uint32_t state = 2026;
    noise.lzw.emplace(300);
    for (std::uint8_t& byte : *noise.lzw) byte = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    gifs.push_back({"random bytes as data", one(noise)});
    GifFrameSpec empty = SolidFrame(0, 0, 16, 16, 1);
    empty.lzw.emplace();
    gifs.push_back({"no data", one(empty)});
    gifs.push_back({"no colour table", WithoutGlobalColourTable(one(SolidFrame(0, 0, 16, 16, 1)))});
    gifs.push_back({"zero width", one(SolidFrame(0, 0, 0, 16, 1))});
    return gifs;
}

GifFrameSpec SolidFrame(std::uint16_t left, std::uint16_t top, std::uint16_t width, std::uint16_t height,
                        std::uint8_t index) {
    GifFrameSpec frame;
    frame.left = left;
    frame.top = top;
    frame.width = width;
    frame.height = height;
    frame.indices.assign(static_cast<std::size_t>(width) * height, index);
    return frame;
}

} // namespace QuivaneTest
