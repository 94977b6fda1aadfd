#include "PngRowConversion.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define QUIVANE_PNG_CONVERT_SSSE3 1
#include <tmmintrin.h>
#endif

namespace Quivane {
namespace {

// Pixels are little-endian words: blue in the low byte, alpha in the high one.
inline void Store(std::uint8_t* out, std::uint32_t pixel) { std::memcpy(out, &pixel, 4); }

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
        const std::uint32_t green = PngMultiplyByAlpha((pixel >> 8) & 0xFF, alpha);
        Store(out + 4 * i, redBlue >> 16 | green << 8 | (redBlue & 0xFF) << 16 | alpha << 24);
    }
}

// Eight-bit RGB with no transparent colour: opaque, so nothing to multiply.
void ConvertOpaqueRgbRowBytewise(const std::uint8_t* row, std::size_t count, std::uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = row + 3 * i;
        Store(out + 4 * i, 0xFF000000u | static_cast<std::uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]);
    }
}

#if QUIVANE_PNG_CONVERT_SSSE3
// Four pixels per byte shuffle, while sixteen bytes of the row are left to
// read; chosen only once the CPU has said it has SSSE3.
__attribute__((target("ssse3"))) void ConvertOpaqueRgbRowSsse3(const std::uint8_t* row, std::size_t count,
                                                               std::uint8_t* out) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::size_t i = 0;
    for (; 3 * i + 16 <= 3 * count; i += 4) {
        const __m128i rgb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 3 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), _mm_or_si128(_mm_shuffle_epi8(rgb, order), alpha));
    }
    ConvertOpaqueRgbRowBytewise(row + 3 * i, count - i, out + 4 * i);
}

bool CpuHasSsse3() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}
#endif

void ConvertOpaqueRgbRow(const std::uint8_t* row, std::size_t count, std::uint8_t* out) {
#if QUIVANE_PNG_CONVERT_SSSE3
    static const bool ssse3 = CpuHasSsse3();
    if (ssse3) return ConvertOpaqueRgbRowSsse3(row, count, out);
#endif
    ConvertOpaqueRgbRowBytewise(row, count, out);
}

} // namespace

void ConvertPngRow(const PngImageFormat& format, const PngColours& colours, const std::uint8_t* row,
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
            const std::uint32_t sample = wide ? PngSample16(row + 2 * i) : depth == 8 ? row[i] : PackedSample(row, i, depth);
            const std::uint32_t grey = wide ? sample >> 8 : sample * scale;
            Store(out, colours.hasKey && sample == colours.key[0] ? 0 : PngPremultiplied(grey, grey, grey, 255));
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
            const std::uint32_t r = wide ? PngSample16(p) : p[0];
            const std::uint32_t g = wide ? PngSample16(p + 2) : p[1];
            const std::uint32_t b = wide ? PngSample16(p + 4) : p[2];
            const bool keyed = colours.hasKey && r == colours.key[0] && g == colours.key[1] && b == colours.key[2];
            Store(out, keyed ? 0 : wide ? PngPremultiplied(r >> 8, g >> 8, b >> 8, 255) : PngPremultiplied(r, g, b, 255));
        }
        break;
    case kPngGreyAlpha:
        for (std::uint32_t i = 0; i < count; ++i, out += 4) {
            const std::uint8_t* p = row + (wide ? 4 : 2) * i;
            const std::uint32_t grey = p[0];
            Store(out, PngPremultiplied(grey, grey, grey, wide ? p[2] : p[1]));
        }
        break;
    default: // RGBA
        if (!wide) {
            ConvertRgbaRow(row, count, out);
            break;
        }
        for (std::uint32_t i = 0; i < count; ++i, out += 4) {
            const std::uint8_t* p = row + (wide ? 8 : 4) * i;
            Store(out, wide ? PngPremultiplied(p[0], p[2], p[4], p[6]) : PngPremultiplied(p[0], p[1], p[2], p[3]));
        }
        break;
    }
}


} // namespace Quivane
