#include "formats/png/PngImageDecoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>

using namespace Quivane;

namespace {

// zlib itself writes the streams the decoder must read.
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& data, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, 15, 8, strategy), Z_OK);
    std::vector<std::uint8_t> out(deflateBound(&stream, data.size()));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Splits bytes into pieces of irregular sizes, some empty.
std::vector<ByteSpan> Pieces(const std::vector<std::uint8_t>& bytes) {
    std::vector<ByteSpan> pieces;
    for (std::size_t at = 0, step = 0; at < bytes.size(); ++step) {
        const std::size_t size = std::min<std::size_t>(bytes.size() - at, (step * 7919) % 5000);
        pieces.push_back(ByteSpan{bytes.data() + at, size});
        at += size;
    }
    return pieces;
}

std::vector<std::uint8_t> MixedData(std::size_t size) {
    std::vector<std::uint8_t> data(size);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        // Stretches of noise, of runs, of repeats far back and of short
        // periods (matches nearer than their own length).
        const std::size_t stretch = (i / 3000) % 4;
        const std::size_t period = 2 + (i / 12000) % 7;
        data[i] = stretch == 0   ? static_cast<std::uint8_t>(state >> 24)
                  : stretch == 1 ? static_cast<std::uint8_t>(i / 500)
                  : stretch == 2 ? (i >= 20000 ? data[i - 20000] : 0)
                                 : data[i - period];
    }
    return data;
}

struct Image {
    PngImageFormat format;
    std::vector<std::uint8_t> bgra; // width * height pixels, as the decoder's runs placed them

    std::uint32_t At(std::uint32_t x, std::uint32_t y) const {
        const std::uint8_t* p = bgra.data() + (static_cast<std::size_t>(y) * format.width + x) * 4;
        return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }
};

PngImageEnd Decode(Image& image, const std::vector<std::uint8_t>& stream, const PngColours& colours = {}) {
    image.bgra.assign(static_cast<std::size_t>(image.format.width) * image.format.height * 4, 0xEE);
    PngImageDecoder decoder;
    const std::vector<ByteSpan> pieces = Pieces(stream);
    return decoder.Decode(image.format, colours, pieces,
                          [&](std::uint32_t row, std::uint32_t first, std::uint32_t step, const std::uint8_t* bgra,
                              std::uint32_t count) {
                              EXPECT_LT(row, image.format.height);
                              EXPECT_LE(first + (count - 1) * step, image.format.width - 1);
                              for (std::uint32_t i = 0; i < count; ++i) {
                                  std::copy(bgra + 4 * i, bgra + 4 * i + 4,
                                            image.bgra.begin() + (static_cast<std::size_t>(row) * image.format.width +
                                                                  first + i * step) * 4);
                              }
                              return true;
                          });
}

PngImageFormat Format(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t type,
                      bool interlaced = false) {
    std::array<std::uint8_t, 13> ihdr{0, 0, 0, static_cast<std::uint8_t>(width), 0, 0, 0, static_cast<std::uint8_t>(height),
                                      depth, type, 0, 0, static_cast<std::uint8_t>(interlaced)};
    PngImageFormat format;
    EXPECT_TRUE(ReadPngImageFormat(ihdr, format));
    return format;
}

PngColours Colours(const PngImageFormat& format, std::vector<std::uint8_t> palette, std::vector<std::uint8_t> alphas) {
    std::vector<PngChunk> chunks;
    if (!palette.empty()) chunks.push_back(PngChunk{{'P', 'L', 'T', 'E'}, ByteSpan{palette.data(), palette.size()}});
    if (!alphas.empty()) chunks.push_back(PngChunk{{'t', 'R', 'N', 'S'}, ByteSpan{alphas.data(), alphas.size()}});
    PngColours colours;
    EXPECT_TRUE(ReadPngColours(format, chunks, colours));
    return colours;
}

constexpr std::uint32_t Grey(std::uint32_t v) { return 0xFF000000u | v << 16 | v << 8 | v; }

TEST(PngImageDecoder, TurnsEverySampleLayoutIntoPremultipliedBgra) {
    struct Case {
        std::uint8_t depth, type;
        std::vector<std::uint8_t> row, palette, alphas;
        std::vector<std::uint32_t> expected;
    };
    const Case cases[] = {
        {1, kPngGrey, {0xA0}, {}, {}, {Grey(255), Grey(0), Grey(255)}},
        {2, kPngGrey, {0x1B}, {}, {}, {Grey(0), Grey(85), Grey(170), Grey(255)}},
        {4, kPngGrey, {0x8F}, {}, {}, {Grey(136), Grey(255)}},
        {8, kPngGrey, {7, 8}, {}, {0, 7}, {0, Grey(8)}},
        {16, kPngGrey, {0x80, 0x40, 0x12, 0x34}, {}, {0x12, 0x34}, {Grey(0x80), 0}},
        {8, kPngRgb, {1, 2, 3, 1, 2, 4}, {}, {0, 1, 0, 2, 0, 3}, {0, 0xFF010204u}},
        {16, kPngRgb, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, {}, {}, {0xFF12569Au}},
        {8, kPngGreyAlpha, {200, 128, 9, 0}, {}, {}, {0x80646464u, 0}},
        {16, kPngRgba, {255, 1, 0, 2, 100, 3, 255, 4}, {}, {}, {0xFFFF0064u}},
        {8, kPngRgba, {3, 128, 0, 128}, {}, {}, {0x80024000u}}, // premultiplied values round to nearest
        // Two colours, the first half transparent; an index past the palette is opaque black.
        {4, kPngPalette, {0x01, 0x50}, {255, 0, 0, 0, 0, 255}, {128}, {0x80800000u, 0xFF0000FFu, 0xFF000000u}},
    };
    for (const Case& c : cases) {
        Image image{Format(static_cast<std::uint32_t>(c.expected.size()), 1, c.depth, c.type), {}};
        std::vector<std::uint8_t> raw{0};
        raw.insert(raw.end(), c.row.begin(), c.row.end());
        ASSERT_EQ(Decode(image, Deflate(raw, 6), Colours(image.format, c.palette, c.alphas)), PngImageEnd::Complete);
        for (std::uint32_t x = 0; x < c.expected.size(); ++x) {
            EXPECT_EQ(image.At(x, 0), c.expected[x]) << int(c.type) << "/" << int(c.depth) << " pixel " << x;
        }
    }
}

// The filters as an encoder applies them, to rows of `step`-byte pixels.
std::vector<std::uint8_t> Filtered(const std::vector<std::vector<std::uint8_t>>& rows, std::size_t step) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> above(rows[0].size(), 0);
    for (std::size_t y = 0; y < rows.size(); ++y) {
        const std::uint8_t filter = static_cast<std::uint8_t>(y % 5);
        out.push_back(filter);
        const std::vector<std::uint8_t>& row = rows[y];
        for (std::size_t i = 0; i < row.size(); ++i) {
            const int left = i >= step ? row[i - step] : 0, up = above[i], upLeft = i >= step ? above[i - step] : 0;
            const int estimate = left + up - upLeft;
            const int pa = std::abs(estimate - left), pb = std::abs(estimate - up), pc = std::abs(estimate - upLeft);
            const int paeth = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
            const int predicted[5] = {0, left, up, (left + up) / 2, paeth};
            out.push_back(static_cast<std::uint8_t>(row[i] - predicted[filter]));
        }
        above = row;
    }
    return out;
}

TEST(PngImageDecoder, UndoesEveryFilterAndPlacesInterlacedPasses) {
    // A 16-bit RGB picture: pixels six bytes apart, so the filters' left neighbour is a pixel back.
    const std::uint32_t width = 37, height = 30;
    const auto sample = [](std::uint32_t x, std::uint32_t y, int channel) {
        const std::uint32_t hash = (x * 73856093u) ^ (y * 19349663u) ^ (static_cast<std::uint32_t>(channel) * 83492791u);
        return static_cast<std::uint8_t>(x * 3 + y * 5 + hash % 7); // gentle slopes with noise: Paeth's ties happen
    };
    std::vector<std::vector<std::uint8_t>> rows(height);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            for (int c = 0; c < 6; ++c) rows[y].push_back(sample(x, y, c));
        }
    }
    Image plain{Format(width, height, 16, kPngRgb), {}};
    ASSERT_EQ(Decode(plain, Deflate(Filtered(rows, 6), 9)), PngImageEnd::Complete);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            ASSERT_EQ(plain.At(x, y), 0xFF000000u | sample(x, y, 0) << 16 | sample(x, y, 2) << 8 | sample(x, y, 4))
                << x << "," << y;
        }
    }

    // The same picture in its seven interlaced passes, each filtered on its own.
    const std::uint32_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    std::vector<std::uint8_t> data;
    for (const auto& pass : passes) {
        std::vector<std::vector<std::uint8_t>> passRows;
        for (std::uint32_t y = pass[1]; y < height; y += pass[3]) {
            passRows.emplace_back();
            for (std::uint32_t x = pass[0]; x < width; x += pass[2]) {
                passRows.back().insert(passRows.back().end(), rows[y].begin() + x * 6, rows[y].begin() + x * 6 + 6);
            }
        }
        if (!passRows.empty() && !passRows[0].empty()) {
            const std::vector<std::uint8_t> filtered = Filtered(passRows, 6);
            data.insert(data.end(), filtered.begin(), filtered.end());
        }
    }
    Image interlaced{Format(width, height, 16, kPngRgb, true), {}};
    ASSERT_EQ(Decode(interlaced, Deflate(data, 9)), PngImageEnd::Complete);
    EXPECT_EQ(interlaced.bgra, plain.bgra);
}

TEST(PngImageDecoder, FailsOnBadDataAndStopsWhenAsked) {
    const PngImageFormat format = Format(4, 3, 8, kPngGrey);
    std::vector<std::uint8_t> raw(15, 0);
    Image image{format, {}};
    EXPECT_EQ(Decode(image, Deflate(raw, 6)), PngImageEnd::Complete);
    EXPECT_EQ(Decode(image, Deflate(std::vector<std::uint8_t>(raw.begin(), raw.end() - 1), 6)), PngImageEnd::BadData);
    // A header naming another method, too large a window or a preset
    // dictionary, or failing its own check.
    const std::vector<std::uint8_t> good = Deflate(raw, 6);
    for (const std::uint8_t method : {0x77, 0x88, 0x78}) {
        std::uint8_t flags = method == 0x78 ? 0x20 : 0;
        while ((method << 8 | flags) % 31 != 0) ++flags;
        std::vector<std::uint8_t> stream = good;
        stream[0] = method;
        stream[1] = flags;
        EXPECT_EQ(Decode(image, stream), PngImageEnd::BadData) << int(method);
    }
    std::vector<std::uint8_t> badCheck = good;
    badCheck[1] ^= 1;
    EXPECT_EQ(Decode(image, badCheck), PngImageEnd::BadData);
    raw[5] = 5; // no such filter
    EXPECT_EQ(Decode(image, Deflate(raw, 6)), PngImageEnd::BadData);

    PngImageDecoder decoder;
    const std::vector<std::uint8_t> stream = Deflate(std::vector<std::uint8_t>(15, 0), 6);
    int rowsSeen = 0;
    EXPECT_EQ(decoder.Decode(format, {}, {ByteSpan{stream.data(), stream.size()}},
                             [&](std::uint32_t, std::uint32_t, std::uint32_t, const std::uint8_t*, std::uint32_t) {
                                 return ++rowsSeen < 2;
                             }),
              PngImageEnd::Stopped);
    EXPECT_EQ(rowsSeen, 2);

    PngColours colours;
    const PngImageFormat paletted = Format(4, 3, 8, kPngPalette);
    EXPECT_FALSE(ReadPngColours(paletted, {}, colours));
    EXPECT_EQ(decoder.Decode(paletted, colours, {ByteSpan{stream.data(), stream.size()}},
                             [](std::uint32_t, std::uint32_t, std::uint32_t, const std::uint8_t*, std::uint32_t) {
                                 return true;
                             }),
              PngImageEnd::BadData);

    PngImageFormat unused;
    for (const auto& [depth, type] : {std::pair{8, 1}, {4, 2}, {16, 3}, {3, 0}, {1, 6}}) {
        const std::array<std::uint8_t, 13> ihdr{0, 0, 0, 1, 0, 0, 0, 1, static_cast<std::uint8_t>(depth),
                                                static_cast<std::uint8_t>(type), 0, 0, 0};
        EXPECT_FALSE(ReadPngImageFormat(ihdr, unused)) << depth << "/" << type;
    }
}

// Grey rows of mixed data behind the "no filter" byte each row starts with.
std::vector<std::uint8_t> GreyRows(const std::vector<std::uint8_t>& samples, std::uint32_t width) {
    std::vector<std::uint8_t> raw;
    for (std::size_t at = 0; at < samples.size(); at += width) {
        raw.push_back(0);
        raw.insert(raw.end(), samples.begin() + static_cast<std::ptrdiff_t>(at),
                   samples.begin() + static_cast<std::ptrdiff_t>(at + width));
    }
    return raw;
}

void ExpectGrey(const Image& image, const std::vector<std::uint8_t>& samples) {
    for (std::uint32_t y = 0; y < image.format.height; ++y) {
        for (std::uint32_t x = 0; x < image.format.width; ++x) {
            ASSERT_EQ(image.At(x, y), Grey(samples[static_cast<std::size_t>(y) * image.format.width + x])) << x << "," << y;
        }
    }
}

TEST(PngImageDecoder, ReadsEveryBlockKindAcrossPiecesInNarrowAndWideRows) {
    const std::vector<std::uint8_t> samples = MixedData(200000);
    const std::pair<int, int> settings[] = {{0, Z_DEFAULT_STRATEGY}, {1, Z_DEFAULT_STRATEGY}, {9, Z_DEFAULT_STRATEGY},
                                            {6, Z_FIXED},            {6, Z_HUFFMAN_ONLY},     {6, Z_RLE}};
    // Rows far narrower than a deflate block, and rows wider than any buffer the decoder keeps.
    for (const std::uint32_t width : {100u, 40000u}) {
        const std::uint32_t height = static_cast<std::uint32_t>(samples.size() / width);
        for (const auto& [level, strategy] : settings) {
            Image image{PngImageFormat{width, height, 8, kPngGrey, false}, {}};
            ASSERT_EQ(Decode(image, Deflate(GreyRows(samples, width), level, strategy)), PngImageEnd::Complete)
                << width << " " << level << " " << strategy;
            ExpectGrey(image, samples);
        }
    }
}

TEST(PngImageDecoder, UnfiltersAgainstTheRowAboveWhereverTheInflatingBreaksOff) {
    // Filtered grey rows of more data than the decoder inflates at once: the
    // row above the first of each run of rows is one inflated before; and
    // rows wider than that, inflated one by one.
    for (const auto& [width, height] : {std::pair{3001u, 300u}, {300001u, 3u}}) {
        const std::vector<std::uint8_t> samples = MixedData(static_cast<std::size_t>(width) * height);
        std::vector<std::vector<std::uint8_t>> rows;
        for (std::size_t at = 0; at < samples.size(); at += width) {
            rows.emplace_back(samples.begin() + static_cast<std::ptrdiff_t>(at),
                              samples.begin() + static_cast<std::ptrdiff_t>(at + width));
        }
        Image image{PngImageFormat{width, height, 8, kPngGrey, false}, {}};
        ASSERT_EQ(Decode(image, Deflate(Filtered(rows, 1), 6)), PngImageEnd::Complete) << width;
        ExpectGrey(image, samples);
    }
}

TEST(PngImageDecoder, KeepsEveryRowAndSaysTheTailIsDamagedWhenTheStreamEndsWrong) {
    const std::uint32_t width = 300, height = 200;
    const std::vector<std::uint8_t> samples = MixedData(static_cast<std::size_t>(width) * height);
    const std::vector<std::uint8_t> raw = GreyRows(samples, width);
    const std::vector<std::uint8_t> good = Deflate(raw, 6);
    Image image{PngImageFormat{width, height, 8, kPngGrey, false}, {}};
    ASSERT_EQ(Decode(image, good), PngImageEnd::Complete);

    std::vector<std::uint8_t> wrongFirstSum = good;
    wrongFirstSum.back() ^= 1;
    std::vector<std::uint8_t> wrongSecondSum = good;
    wrongSecondSum[good.size() - 4] ^= 0x10;
    const std::vector<std::uint8_t> noChecksum(good.begin(), good.end() - 4);
    std::vector<std::uint8_t> longer = raw;
    longer.push_back(0);
    for (const std::vector<std::uint8_t>& stream : {wrongFirstSum, wrongSecondSum, noChecksum, Deflate(longer, 6)}) {
        EXPECT_EQ(Decode(image, stream), PngImageEnd::DamagedTail);
        ExpectGrey(image, samples);
    }
}

} // namespace
