#include "PngUnfilter.h"

#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define QUIVANE_PNG_UNFILTER_SSE2 1
#include <emmintrin.h>
#endif

namespace Quivane {
namespace {

std::uint8_t Paeth(std::uint8_t left, std::uint8_t up, std::uint8_t upLeft) {
    const int estimate = left + up - upLeft;
    const int toLeft = std::abs(estimate - left);
    const int toUp = std::abs(estimate - up);
    const int toUpLeft = std::abs(estimate - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft) return left;
    return toUp <= toUpLeft ? up : upLeft;
}

#if QUIVANE_PNG_UNFILTER_SSE2
// The 32-bit build targets CPUs that may lack SSE2: these functions alone
// use it, and only once the CPU has said it has it.
#define QUIVANE_SSE2 __attribute__((target("sse2")))

// One pixel of Step bytes in the low lanes, the others zero.
template <std::size_t Step>
QUIVANE_SSE2 inline __m128i LoadPixel(const std::uint8_t* p) {
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, p, Step);
    return _mm_cvtsi32_si128(static_cast<int>(bytes));
}

template <std::size_t Step>
QUIVANE_SSE2 inline void StorePixel(std::uint8_t* p, __m128i pixel) {
    const std::uint32_t bytes = static_cast<std::uint32_t>(_mm_cvtsi128_si32(pixel));
    std::memcpy(p, &bytes, Step);
}

template <std::size_t Step>
QUIVANE_SSE2 void SubRow(std::uint8_t* row, std::size_t size) {
    __m128i left = _mm_setzero_si128();
    for (std::size_t i = 0; i < size; i += Step) {
        left = _mm_add_epi8(LoadPixel<Step>(row + i), left);
        StorePixel<Step>(row + i, left);
    }
}

// (left + up) >> 1 is the complement of the rounded-up average of the
// complements, so with the complement of each pixel carried along a pixel
// waits on the one to its left for two instructions only:
// ~pixel = avg(~left, ~up) - filtered.
template <std::size_t Step, int Pixel>
QUIVANE_SSE2 inline void AveragePixel(__m128i& notLeft, __m128i notUp, __m128i filtered, __m128i& notOut) {
    constexpr int kShift = static_cast<int>(Step) * Pixel;
    const __m128i lowBytes = _mm_srli_si128(_mm_set1_epi8(-1), 16 - static_cast<int>(Step));
    notLeft = _mm_sub_epi8(_mm_avg_epu8(notLeft, _mm_srli_si128(notUp, kShift)), _mm_srli_si128(filtered, kShift));
    notOut = _mm_or_si128(notOut, _mm_slli_si128(_mm_and_si128(notLeft, lowBytes), kShift));
}

template <std::size_t Step>
QUIVANE_SSE2 void AverageRow(std::uint8_t* row, const std::uint8_t* above, std::size_t size) {
    const __m128i ones = _mm_set1_epi8(-1);
    __m128i notLeft = ones; // the complement of no pixel, zero
    std::size_t i = 0;
    // Four pixels from each sixteen bytes while the row has them.
    for (; i + 16 <= size; i += 4 * Step) {
        const __m128i filtered = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i notUp = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(above + i)), ones);
        __m128i notOut = _mm_setzero_si128();
        AveragePixel<Step, 0>(notLeft, notUp, filtered, notOut);
        AveragePixel<Step, 1>(notLeft, notUp, filtered, notOut);
        AveragePixel<Step, 2>(notLeft, notUp, filtered, notOut);
        AveragePixel<Step, 3>(notLeft, notUp, filtered, notOut);
        const __m128i out = _mm_xor_si128(notOut, ones);
        if constexpr (Step == 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), out);
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(row + i), out);
            StorePixel<4>(row + i + 8, _mm_srli_si128(out, 8));
        }
    }
    for (; i < size; i += Step) {
        notLeft = _mm_sub_epi8(_mm_avg_epu8(notLeft, _mm_xor_si128(LoadPixel<Step>(above + i), ones)),
                               LoadPixel<Step>(row + i));
        StorePixel<Step>(row + i, _mm_xor_si128(notLeft, ones));
    }
}

QUIVANE_SSE2 inline __m128i Absolute(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

QUIVANE_SSE2 inline __m128i Choose(__m128i mask, __m128i ifSet, __m128i otherwise) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, otherwise));
}

// Paeth's three distances for every byte of a pixel at once, in 16-bit lanes:
// from the estimate to the left is |up - upLeft|, to the one above
// |left - upLeft|, to the upper left the two differences' sum.
template <std::size_t Step>
QUIVANE_SSE2 void PaethRow(std::uint8_t* row, const std::uint8_t* above, std::size_t size) {
    const __m128i zero = _mm_setzero_si128();
    __m128i left = zero;
    __m128i upLeft = zero;
    for (std::size_t i = 0; i < size; i += Step) {
        const __m128i up = _mm_unpacklo_epi8(LoadPixel<Step>(above + i), zero);
        const __m128i upDifference = _mm_sub_epi16(up, upLeft);
        const __m128i leftDifference = _mm_sub_epi16(left, upLeft);
        const __m128i toLeft = Absolute(upDifference);
        const __m128i toUp = Absolute(leftDifference);
        const __m128i toUpLeft = Absolute(_mm_add_epi16(upDifference, leftDifference));
        const __m128i nearest = _mm_min_epi16(toUpLeft, _mm_min_epi16(toLeft, toUp));
        const __m128i predicted = Choose(_mm_cmpeq_epi16(nearest, toLeft), left,
                                         Choose(_mm_cmpeq_epi16(nearest, toUp), up, upLeft));
        const __m128i pixel = _mm_add_epi8(_mm_packus_epi16(predicted, predicted), LoadPixel<Step>(row + i));
        StorePixel<Step>(row + i, pixel);
        left = _mm_unpacklo_epi8(pixel, zero);
        upLeft = up;
    }
}

template <std::size_t Step>
QUIVANE_SSE2 bool UnfilterPixels(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above, std::size_t size) {
    switch (filter) {
    case 1: SubRow<Step>(row, size); return true;
    case 3: AverageRow<Step>(row, above, size); return true;
    case 4: PaethRow<Step>(row, above, size); return true;
    default: return UnfilterPngRowBytewise(filter, row, above, size, Step);
    }
}

bool CpuHasSse2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2");
}
#endif

} // namespace

bool UnfilterPngRowBytewise(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above, std::size_t size,
                            std::size_t step) {
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

bool UnfilterPngRow(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above, std::size_t size,
                    std::size_t step) {
#if QUIVANE_PNG_UNFILTER_SSE2
    static const bool sse2 = CpuHasSse2();
    // Whole pixels only, as every row of eight-bit RGB or RGBA is.
    if (sse2 && size % step == 0) {
        if (step == 4) return UnfilterPixels<4>(filter, row, above, size);
        if (step == 3) return UnfilterPixels<3>(filter, row, above, size);
    }
#endif
    return UnfilterPngRowBytewise(filter, row, above, size, step);
}

} // namespace Quivane
