#include "formats/gif/GifImageDecoder.h"
#include "GifBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <utility>

using namespace Quivane;

namespace {

// A compressing LZW encoder, written apart from the decoder: the widths it
// writes follow what a decoder reading them must use.
std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& indices, std::uint32_t minimumWidth,
                                   bool clearWhenFull) {
    std::vector<std::uint8_t> out;
    std::uint64_t bits = 0;
    std::uint32_t count = 0;
    const auto put = [&](std::uint32_t code, std::uint32_t width) {
        bits |= static_cast<std::uint64_t>(code) << count;
        for (count += width; count >= 8; count -= 8, bits >>= 8) out.push_back(static_cast<std::uint8_t>(bits));
    };
    const std::uint32_t clear = 1u << minimumWidth;
    std::map<std::pair<std::uint32_t, std::uint8_t>, std::uint32_t> table;
    std::uint32_t next = clear + 2;
    std::uint32_t width = minimumWidth + 1;
    std::uint32_t emitted = 0; // codes since the last clear
    const auto reset = [&] {
        put(clear, width);
        table.clear();
        next = clear + 2;
        width = minimumWidth + 1;
        emitted = 0;
    };
    const auto emit = [&](std::uint32_t code) {
        put(code, width);
        // The decoder makes an entry on every code but the first after a clear.
        if (emitted++ > 0 && next < 4096 && ++next == (1u << width) && width < 12) ++width;
    };
    reset();
    std::uint32_t current = 0;
    bool any = false;
    for (std::uint8_t index : indices) {
        if (!any) {
            current = index;
            any = true;
            continue;
        }
        const auto found = table.find({current, index});
        if (found != table.end()) {
            current = found->second;
            continue;
        }
        emit(current);
        const std::uint32_t entry = clear + 2 + static_cast<std::uint32_t>(table.size());
        if (entry < 4096) table[{current, index}] = entry;
        if (entry + 1 >= 4096 && clearWhenFull) {
            emit(index);
            reset();
            any = false;
            continue;
        }
        current = index;
    }
    if (any) emit(current);
    put(clear + 1, width);
    if (count > 0) out.push_back(static_cast<std::uint8_t>(bits));
    return out;
}

// The minimum code size byte and the data in sub-blocks, as in a file.
std::vector<std::uint8_t> ImageData(const std::vector<std::uint8_t>& lzw, std::uint32_t minimumWidth) {
    std::vector<std::uint8_t> data{static_cast<std::uint8_t>(minimumWidth)};
    for (std::size_t at = 0; at < lzw.size(); at += 255) {
        const std::size_t length = std::min<std::size_t>(255, lzw.size() - at);
        data.push_back(static_cast<std::uint8_t>(length));
        data.insert(data.end(), lzw.begin() + static_cast<std::ptrdiff_t>(at), lzw.begin() + static_cast<std::ptrdiff_t>(at + length));
    }
    data.push_back(0);
    return data;
}

GifImageLayout Image(std::uint32_t width, std::uint32_t height, bool interlaced = false) {
    GifImageLayout image;
    image.width = width;
    image.height = height;
    image.interlaced = interlaced;
    return image;
}

// Index i shows as the colour whose every byte is i (alpha 255).
GifColours GreyColours() {
    GifColours colours{};
    for (std::uint32_t i = 0; i < 256; ++i) colours[i] = i | i << 8 | i << 16 | 0xFF000000u;
    return colours;
}

std::vector<std::uint8_t> Expected(const std::vector<std::uint8_t>& indices) {
    std::vector<std::uint8_t> bgra;
    for (std::uint8_t i : indices) bgra.insert(bgra.end(), {i, i, i, 255});
    return bgra;
}

struct Decoded {
    GifImageEnd end;
    std::vector<std::uint8_t> bgra;
};

Decoded DecodeAll(const std::vector<std::uint8_t>& data, const GifImageLayout& image, std::uint32_t columns,
                  std::uint32_t rows, const GifColours& colours = GreyColours()) {
    Decoded decoded;
    decoded.bgra.assign(static_cast<std::size_t>(columns) * rows * 4, 0);
    GifImageDecoder decoder;
    decoded.end = decoder.Decode(data.data(), data.size(), image, colours, columns, rows, decoded.bgra.data());
    return decoded;
}

std::vector<std::uint8_t> Noise(std::size_t count, std::uint32_t colours, std::uint32_t state) {
    std::vector<std::uint8_t> indices(count);
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        // Runs and repeats, so strings grow long and a code can name the entry being made.
        indices[i] = static_cast<std::uint8_t>(((state >> 28) < 6 && i > 0) ? indices[i - 1] : (state >> 16) % colours);
    }
    return indices;
}

} // namespace

TEST(GifImageDecoder, DecodesWhatAnEncoderWroteAtEveryWidthWithAndWithoutClearingAFullTable) {
    for (std::uint32_t minimumWidth : {2u, 3u, 5u, 8u}) {
        for (bool clearWhenFull : {false, true}) {
            const auto indices = Noise(173 * 151, 1u << minimumWidth, minimumWidth);
            const auto data = ImageData(Compress(indices, minimumWidth, clearWhenFull), minimumWidth);
            const Decoded decoded = DecodeAll(data, Image(173, 151), 173, 151);
            EXPECT_EQ(decoded.end, GifImageEnd::Complete) << minimumWidth;
            EXPECT_EQ(decoded.bgra, Expected(indices)) << minimumWidth << (clearWhenFull ? " clearing" : " full");
        }
    }
}

TEST(GifImageDecoder, InterlacedRowsLandInTheirPlacesAndOnlyTheCanvasPartIsWritten) {
    for (std::uint32_t height : {1u, 2u, 5u, 9u, 30u}) {
        std::vector<std::uint8_t> rowOrder; // rows as an interlaced file sends them: 0, 8, ...; 4, 12, ...; 2, ...; 1, ...
        for (std::uint32_t pass = 0; pass < 4; ++pass) {
            for (std::uint32_t y = (pass == 0 ? 0 : 8u >> pass); y < height; y += (pass <= 1 ? 8 : 8u >> (pass - 1))) {
                for (std::uint32_t x = 0; x < 7; ++x) rowOrder.push_back(static_cast<std::uint8_t>(y * 7 + x));
            }
        }
        const auto data = ImageData(Compress(rowOrder, 8, false), 8);
        const std::uint32_t rows = height > 3 ? height - 3 : height;
        const Decoded decoded = DecodeAll(data, Image(7, height, true), 4, rows);
        std::vector<std::uint8_t> expected;
        for (std::uint32_t y = 0; y < rows; ++y) {
            for (std::uint32_t x = 0; x < 4; ++x) expected.push_back(static_cast<std::uint8_t>(y * 7 + x));
        }
        EXPECT_EQ(decoded.end, GifImageEnd::Complete) << height;
        EXPECT_EQ(decoded.bgra, Expected(expected)) << height;
    }
}

TEST(GifImageDecoder, ColoursComeFromTheTableInEffectWithTransparencyAndMissingEntriesClear) {
    // Header, a two-entry global table, then a four-entry local one.
    const std::vector<std::uint8_t> file = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0,
                                            10, 20, 30, 40, 50, 60,
                                            1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13};
    GifImageLayout image = Image(1, 1);
    image.colourTableOffset = 13;
    image.colourTableEntries = 2;
    image.control.transparentIndex = 0;
    GifColours colours = ReadGifColours(file.data(), file.size(), image);
    EXPECT_EQ(colours[0], 0u);                   // transparent
    EXPECT_EQ(colours[1], 0xFF28323Cu);          // red 40, green 50, blue 60
    EXPECT_EQ(colours[2], 0u);                   // past the table
    image.colourTableOffset = 19;
    image.colourTableEntries = 4;
    image.control.transparentIndex = -1;
    colours = ReadGifColours(file.data(), file.size(), image);
    EXPECT_EQ(colours[3], 0xFF0B0C0Du);
    image.colourTableEntries = 8;                // a table the file is too short to hold
    EXPECT_EQ(ReadGifColours(file.data(), file.size(), image), GifColours{});
}

TEST(GifImageDecoder, DamagedDataStopsWherePicturesStopAndLeavesTheRestClear) {
    const auto indices = Noise(64 * 64, 16, 9);
    const auto lzw = Compress(indices, 4, false);
    const auto whole = ImageData(lzw, 4);
    const auto full = DecodeAll(whole, Image(64, 64), 64, 64);
    ASSERT_EQ(full.bgra, Expected(indices));

    // Cut short: the rows decoded are right, the rest is still clear.
    std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
    const auto partial = DecodeAll(cut, Image(64, 64), 64, 64);
    EXPECT_EQ(partial.end, GifImageEnd::ShortData);
    const std::size_t firstClear = partial.bgra.size() - 4 * 64 * 20;
    EXPECT_TRUE(std::equal(partial.bgra.begin(), partial.bgra.begin() + 4 * 64 * 10, full.bgra.begin()));
    EXPECT_TRUE(std::all_of(partial.bgra.begin() + static_cast<std::ptrdiff_t>(firstClear), partial.bgra.end(),
                            [](std::uint8_t b) { return b == 0; }));

    // A code past the next free entry, a non-literal after a clear, and widths that are no GIF's.
    for (const std::vector<std::uint8_t>& bad : {std::vector<std::uint8_t>{2, 2, 0xCC, 0x01, 0},
                                                 std::vector<std::uint8_t>{2, 1, 0x04 | (6 << 3), 0},
                                                 std::vector<std::uint8_t>{0, 1, 0xFF, 0},
                                                 std::vector<std::uint8_t>{1, 1, 0x00, 0},
                                                 std::vector<std::uint8_t>{9, 1, 0xFF, 0}}) {
        EXPECT_EQ(DecodeAll(bad, Image(4, 4), 4, 4).end, GifImageEnd::BadCode);
    }
    EXPECT_EQ(DecodeAll({}, Image(4, 4), 4, 4).end, GifImageEnd::ShortData);
}

TEST(GifImageDecoder, ARowIsFoundOnlyWhereTheDataGivesAWholeOne) {
    const auto indices = Noise(64 * 64, 16, 3);
    const auto whole = ImageData(Compress(indices, 4, false), 4);
    const std::vector<std::uint8_t> lessThanARow(indices.begin(), indices.begin() + 63);
    const auto cut = ImageData(Compress(lessThanARow, 4, false), 4);
    auto badWidth = whole;
    badWidth[0] = 1;
    GifImageDecoder decoder;
    EXPECT_TRUE(decoder.DecodesARow(whole.data(), whole.size(), Image(64, 64)));
    EXPECT_TRUE(decoder.DecodesARow(whole.data(), whole.size(), Image(64, 64, true)));
    EXPECT_FALSE(decoder.DecodesARow(cut.data(), cut.size(), Image(64, 64)));
    EXPECT_FALSE(decoder.DecodesARow(badWidth.data(), badWidth.size(), Image(64, 64)));
    EXPECT_FALSE(decoder.DecodesARow(whole.data(), whole.size(), Image(0, 64)));
    // The same decoder then decodes a whole image as before.
    std::vector<std::uint8_t> bgra(64 * 64 * 4, 0);
    EXPECT_EQ(decoder.Decode(whole.data(), whole.size(), Image(64, 64), GreyColours(), 64, 64, bgra.data()),
              GifImageEnd::Complete);
    EXPECT_EQ(bgra, Expected(indices));
}

TEST(GifImageDecoder, NoImageOfADamagedFileGivesARow) {
    GifImageDecoder decoder;
    for (const QuivaneTest::NamedGif& gif : QuivaneTest::GifsWithNothingToShow()) {
        const GifLayout layout = ReadGifLayout(gif.bytes.data(), gif.bytes.size());
        ASSERT_TRUE(layout.valid) << gif.name;
        ASSERT_EQ(layout.images.size(), 1u) << gif.name;
        const GifImageLayout& image = layout.images[0];
        EXPECT_TRUE(image.dataComplete) << gif.name; // whole, yet nothing to show
        std::uint32_t entries = 0;
        const bool coloured = FindGifColourTable(gif.bytes.data(), gif.bytes.size(), image, entries) != nullptr;
        EXPECT_FALSE(coloured && decoder.DecodesARow(gif.bytes.data(), gif.bytes.size(), image)) << gif.name;
    }
}

// Drawn straight over a canvas, an image looks as it does decoded into a
// cleared frame and blended over the same canvas: whole, interlaced, with a
// transparent index, and cut short, in a canvas wider than the image.
TEST(GifImageDecoder, DrawingOverACanvasMatchesDecodingThenBlending) {
    const auto indices = Noise(40 * 30, 16, 5);
    const auto whole = ImageData(Compress(indices, 4, false), 4);
    const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
    constexpr std::uint32_t kCanvasWidth = 50, kCanvasHeight = 40, kLeft = 7, kTop = 5;
    for (const auto* data : {&whole, &cut}) {
        for (bool interlaced : {false, true}) {
            for (int transparent : {-1, 3}) {
                GifColours colours = GreyColours();
                if (transparent >= 0) colours[static_cast<std::size_t>(transparent)] = 0;
                std::vector<std::uint8_t> canvas(std::size_t{kCanvasWidth} * kCanvasHeight * 4);
                for (std::size_t i = 0; i < canvas.size(); ++i) canvas[i] = static_cast<std::uint8_t>(i * 7 + 1);
                std::vector<std::uint8_t> blended = canvas;
                const GifImageLayout image = Image(40, 30, interlaced);
                const std::size_t stride = std::size_t{kCanvasWidth} * 4;
                // A part of the image only: 38 x 29 pixels on the canvas.
                const auto decoded = DecodeAll(*data, image, 38, 29, colours);
                BlendOverPremultiplied(blended.data(), stride, CanvasRegion{kLeft, kTop, 38, 29}, decoded.bgra.data(),
                                       38 * 4);
                GifImageDecoder decoder;
                bool everyPixelOpaque = false;
                const GifImageEnd end = decoder.DrawOver(data->data(), data->size(), image, colours, 38, 29,
                                                         canvas.data() + kTop * stride + kLeft * 4, stride,
                                                         everyPixelOpaque);
                EXPECT_EQ(end, decoded.end);
                EXPECT_EQ(canvas, blended) << (data == &cut ? "cut, " : "whole, ") << interlaced << ", " << transparent;
                bool anyTransparent = false;
                for (std::size_t alpha = 3; alpha < decoded.bgra.size(); alpha += 4) anyTransparent |= decoded.bgra[alpha] == 0;
                EXPECT_EQ(everyPixelOpaque, !anyTransparent && end == GifImageEnd::Complete);
            }
        }
    }
}
