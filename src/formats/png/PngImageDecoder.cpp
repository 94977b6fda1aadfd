#include "PngImageDecoder.h"

#include "PngDataInflater.h"

#include <algorithm>
#include <cstring>
#include <cstdlib>

namespace Quivane {
namespace {

struct Interlace {
    std::uint32_t firstColumn, firstRow, columnStep, rowStep;
};

constexpr Interlace kWholeImage = {0, 0, 1, 1};
constexpr Interlace kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

std::uint32_t ReadU32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

unsigned Channels(std::uint8_t colourType) {
    switch (colourType) {
    case kPngRgb: return 3;
    case kPngGreyAlpha: return 2;
    case kPngRgba: return 4;
    default: return 1;
    }
}

bool IsType(const PngChunk& chunk, const char (&type)[5]) {
    return std::equal(chunk.type.begin(), chunk.type.end(), type);
}

// (sample * alpha + 127) / 255, rounded the same for every sample and alpha,
// without a division or a branch, so that a row of pixels vectorises.
inline std::uint32_t MultiplyByAlpha(std::uint32_t sample, std::uint32_t alpha) {
    const std::uint32_t product = sample * alpha + 128;
    return (product + (product >> 8)) >> 8;
}

inline std::uint32_t Premultiplied(std::uint32_t red, std::uint32_t green, std::uint32_t blue, std::uint32_t alpha) {
    return MultiplyByAlpha(blue, alpha) | MultiplyByAlpha(green, alpha) << 8 | MultiplyByAlpha(red, alpha) << 16 |
           alpha << 24;
}

// Pixels are little-endian words: blue in the low byte, alpha in the high one.
inline void Store(std::uint8_t* out, std::uint32_t pixel) { std::memcpy(out, &pixel, 4); }

inline std::uint32_t Sample16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0]) << 8 | p[1]; }

// Samples of fewer than eight bits, packed from the high bit of each byte.
inline std::uint32_t PackedSample(const std::uint8_t* row, std::uint32_t index, unsigned depth) {
    const std::uint32_t bit = index * depth;
    return (row[bit >> 3] >> (8 - depth - (bit & 7))) & ((1u << depth) - 1);
}

// Eight-bit indices, eight at a time where they are all the same, as in the
// flat areas of drawings and screenshots.
void ConvertPaletteRow(const std::array<std::uint32_t, 256>& palette, const std::uint8_t* row, std::uint32_t count,
                       std::uint8_t* out) {
    constexpr std::uint64_t kEveryByte = 0x0101010101010101u;
    std::uint32_t i = 0;
    for (; i + 8 <= count; i += 8, out += 32) {
        std::uint64_t indices;
        std::memcpy(&indices, row + i, 8);
        if (indices == (indices & 0xFF) * kEveryByte) {
            const std::uint32_t pixel = palette[indices & 0xFF];
            for (int k = 0; k < 8; ++k) Store(out + 4 * k, pixel);
        } else {
            for (int k = 0; k < 8; ++k) Store(out + 4 * k, palette[row[i + k]]);
        }
    }
    for (; i < count; ++i, out += 4) Store(out, palette[row[i]]);
}

// Eight-bit RGBA, a pixel as one word: red and blue multiplied together, a
// half of the word each (neither product reaches 16 bits), then swapped, so
// that the loop vectorises.
void ConvertRgbaRow(const std::uint8_t* row, std::size_t count, std::uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t pixel;
        std::memcpy(&pixel, row + 4 * i, 4); // red in the low byte, alpha in the high one
        const std::uint32_t alpha = pixel >> 24;
        std::uint32_t redBlue = (pixel & 0x00FF00FFu) * alpha + 0x00800080u;
        redBlue = ((redBlue + ((redBlue >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
        const std::uint32_t green = MultiplyByAlpha((pixel >> 8) & 0xFF, alpha);
        Store(out + 4 * i, redBlue >> 16 | green << 8 | (redBlue & 0xFF) << 16 | alpha << 24);
    }
}

// Eight-bit RGB with no transparent colour: opaque, so nothing to multiply.
void ConvertOpaqueRgbRow(const std::uint8_t* row, std::size_t count, std::uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = row + 3 * i;
        Store(out + 4 * i, 0xFF000000u | static_cast<std::uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]);
    }
}

// Sixteen-bit samples keep their high byte, as the platform's conversion does.
void ConvertRow(const PngImageFormat& format, const PngColours& colours, const std::uint8_t* row,
                std::uint32_t count, std::uint8_t* out) {
    const unsigned depth = format.bitDepth;
    const bool wide = depth == 16;
    switch (format.colourType) {
    case kPngPalette:
        if (depth == 8) {
            ConvertPaletteRow(colours.palette, row, count, out);
            break;
        }
        for (std::uint32_t i = 0; i < count; ++i, out += 4) Store(out, colours.palette[PackedSample(row, i, depth)]);
        break;
    case kPngGrey: {
        const std::uint32_t scale = depth >= 8 ? 1 : 255 / ((1u << depth) - 1);
        for (std::uint32_t i = 0; i < count; ++i, out += 4) {
            const std::uint32_t sample = wide ? Sample16(row + 2 * i) : depth == 8 ? row[i] : PackedSample(row, i, depth);
            const std::uint32_t grey = wide ? sample >> 8 : sample * scale;
            Store(out, colours.hasKey && sample == colours.key[0] ? 0 : Premultiplied(grey, grey, grey, 255));
        }
        break;
    }
    case kPngRgb:
        if (!wide && !colours.hasKey) {
            ConvertOpaqueRgbRow(row, count, out);
            break;
        }
        for (std::uint32_t i = 0; i < count; ++i, out += 4) {
            const std::uint8_t* p = row + (wide ? 6 : 3) * i;
            const std::uint32_t r = wide ? Sample16(p) : p[0];
            const std::uint32_t g = wide ? Sample16(p + 2) : p[1];
            const std::uint32_t b = wide ? Sample16(p + 4) : p[2];
            const bool keyed = colours.hasKey && r == colours.key[0] && g == colours.key[1] && b == colours.key[2];
            Store(out, keyed ? 0 : wide ? Premultiplied(r >> 8, g >> 8, b >> 8, 255) : Premultiplied(r, g, b, 255));
        }
        break;
    case kPngGreyAlpha:
        for (std::uint32_t i = 0; i < count; ++i, out += 4) {
            const std::uint8_t* p = row + (wide ? 4 : 2) * i;
            const std::uint32_t grey = p[0];
            Store(out, Premultiplied(grey, grey, grey, wide ? p[2] : p[1]));
        }
        break;
    default: // RGBA
        if (!wide) {
            ConvertRgbaRow(row, count, out);
            break;
        }
        for (std::uint32_t i = 0; i < count; ++i, out += 4) {
            const std::uint8_t* p = row + (wide ? 8 : 4) * i;
            Store(out, wide ? Premultiplied(p[0], p[2], p[4], p[6]) : Premultiplied(p[0], p[1], p[2], p[3]));
        }
        break;
    }
}

std::uint8_t Paeth(std::uint8_t left, std::uint8_t up, std::uint8_t upLeft) {
    const int estimate = left + up - upLeft;
    const int toLeft = std::abs(estimate - left);
    const int toUp = std::abs(estimate - up);
    const int toUpLeft = std::abs(estimate - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft) return left;
    return toUp <= toUpLeft ? up : upLeft;
}

bool Unfilter(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above, std::size_t size, std::size_t step) {
    switch (filter) {
    case 0: return true;
    case 1:
        for (std::size_t i = step; i < size; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - step]);
        return true;
    case 2:
        for (std::size_t i = 0; i < size; ++i) row[i] = static_cast<std::uint8_t>(row[i] + above[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned left = i >= step ? row[i - step] : 0;
            row[i] = static_cast<std::uint8_t>(row[i] + ((left + above[i]) >> 1));
        }
        return true;
    case 4:
        for (std::size_t i = 0; i < size; ++i) {
            const std::uint8_t left = i >= step ? row[i - step] : 0;
            const std::uint8_t upLeft = i >= step ? above[i - step] : 0;
            row[i] = static_cast<std::uint8_t>(row[i] + Paeth(left, above[i], upLeft));
        }
        return true;
    default:
        return false;
    }
}

// Rows are inflated this many bytes at a time, or one at a time when wider:
// after every call zlib copies up to 32 KiB of what it inflated into its own
// window, a cost that shrinks as the calls grow, and the rows still sit in the
// cache when they are converted.
constexpr std::size_t kRowWindowBytes = 256 * 1024;

PngImageEnd Ended(InflateResult failure) {
    return failure == InflateResult::NoMemory ? PngImageEnd::NoMemory : PngImageEnd::BadData;
}

} // namespace

bool ReadPngImageFormat(const std::array<std::uint8_t, 13>& ihdr, PngImageFormat& format) {
    format.width = ReadU32(ihdr.data());
    format.height = ReadU32(ihdr.data() + 4);
    format.bitDepth = ihdr[8];
    format.colourType = ihdr[9];
    format.interlaced = ihdr[12] == 1;
    if (format.width == 0 || format.height == 0 || format.width > 0x7FFFFFFFu || format.height > 0x7FFFFFFFu) {
        return false;
    }
    if (ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1) return false;
    const unsigned depth = format.bitDepth;
    switch (format.colourType) {
    case kPngGrey: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kPngPalette: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case kPngRgb:
    case kPngGreyAlpha:
    case kPngRgba: return depth == 8 || depth == 16;
    default: return false;
    }
}

bool ReadPngColours(const PngImageFormat& format, const std::vector<PngChunk>& chunks, PngColours& colours) {
    colours = PngColours{};
    const PngChunk* palette = nullptr;
    const PngChunk* transparency = nullptr;
    for (const PngChunk& chunk : chunks) {
        if (IsType(chunk, "PLTE") && palette == nullptr) palette = &chunk;
        if (IsType(chunk, "tRNS") && transparency == nullptr) transparency = &chunk;
    }
    if (format.colourType == kPngPalette) {
        if (palette == nullptr || palette->data.size == 0 || palette->data.size % 3 != 0 || palette->data.size > 768) {
            return false;
        }
        colours.hasPalette = true;
        colours.palette.fill(0xFF000000u);
        const std::size_t entries = palette->data.size / 3;
        const std::size_t alphas = transparency != nullptr ? std::min(transparency->data.size, entries) : 0;
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint8_t* rgb = palette->data.data + 3 * i;
            colours.palette[i] = Premultiplied(rgb[0], rgb[1], rgb[2], i < alphas ? transparency->data.data[i] : 255);
        }
        return true;
    }
    // A key the wrong size for the image is ignored, as decoders commonly do.
    const std::uint32_t mask = (1u << format.bitDepth) - 1;
    if (transparency != nullptr && format.colourType == kPngGrey && transparency->data.size == 2) {
        colours.hasKey = true;
        colours.key[0] = static_cast<std::uint16_t>(Sample16(transparency->data.data) & mask);
    } else if (transparency != nullptr && format.colourType == kPngRgb && transparency->data.size == 6) {
        colours.hasKey = true;
        for (int i = 0; i < 3; ++i) {
            colours.key[i] = static_cast<std::uint16_t>(Sample16(transparency->data.data + 2 * i) & mask);
        }
    }
    return true;
}

PngImageEnd PngImageDecoder::Decode(const PngImageFormat& format, const PngColours& colours,
                                    const std::vector<ByteSpan>& pieces, const PngRowSink& sink) {
    if (format.colourType == kPngPalette && !colours.hasPalette) return PngImageEnd::BadData;
    PngDataInflater inflater(pieces);
    const std::uint64_t bitsPerPixel = static_cast<std::uint64_t>(Channels(format.colourType)) * format.bitDepth;
    const std::size_t filterStep = static_cast<std::size_t>(std::max<std::uint64_t>(1, bitsPerPixel / 8));
    const Interlace* passes = format.interlaced ? kAdam7 : &kWholeImage;
    const int passCount = format.interlaced ? 7 : 1;
    for (int pass = 0; pass < passCount; ++pass) {
        const Interlace& p = passes[pass];
        if (format.width <= p.firstColumn || format.height <= p.firstRow) continue; // an empty pass has no data
        const std::uint32_t columns = (format.width - p.firstColumn + p.columnStep - 1) / p.columnStep;
        const std::uint32_t rows = (format.height - p.firstRow + p.rowStep - 1) / p.rowStep;
        const std::size_t rowBytes = static_cast<std::size_t>((columns * bitsPerPixel + 7) / 8);
        // Rows are inflated several at a time straight into their slots, each
        // its filter byte and its bytes, and unfiltered in place; slot 0 holds
        // the row above the first of them.
        const std::size_t stride = rowBytes + 1;
        const std::size_t slots = std::max<std::size_t>(1, kRowWindowBytes / stride);
        rows_.resize(stride * (slots + 1));
        std::fill(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(stride), 0);
        bgra_.resize(static_cast<std::size_t>(columns) * 4);
        for (std::uint32_t y = 0; y < rows;) {
            const std::size_t wanted = std::min<std::size_t>(slots, rows - y);
            std::size_t produced = 0;
            const InflateResult read = inflater.Read(rows_.data() + stride, wanted * stride, produced);
            const std::size_t complete = produced / stride;
            for (std::size_t slot = 1; slot <= complete; ++slot, ++y) {
                std::uint8_t* row = rows_.data() + slot * stride;
                if (!Unfilter(row[0], row + 1, row + 1 - stride, rowBytes, filterStep)) return PngImageEnd::BadData;
                ConvertRow(format, colours, row + 1, columns, bgra_.data());
                if (!sink(p.firstRow + y * p.rowStep, p.firstColumn, p.columnStep, bgra_.data(), columns)) {
                    return PngImageEnd::Stopped;
                }
            }
            if (read != InflateResult::Ok) return Ended(read);
            std::memcpy(rows_.data() + 1, rows_.data() + complete * stride + 1, rowBytes);
        }
    }
    // Every row is drawn by now: a stream that goes on or whose checksum
    // fails leaves the rows as they are, and says the file is damaged.
    const InflateResult end = inflater.Finish();
    if (end == InflateResult::Ok) return PngImageEnd::Complete;
    return end == InflateResult::NoMemory ? PngImageEnd::NoMemory : PngImageEnd::DamagedTail;
}

} // namespace Quivane
