#include "Adler32.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Quivane {
namespace {

constexpr std::uint32_t kModulus = 65521;
// The most bytes whose sums cannot overflow 32 bits before they are reduced
// (a multiple of 16, so the vector loop reduces on the same boundaries).
constexpr std::size_t kMaxRun = 5552;

#if defined(__SSE2__)
std::uint32_t SumLanes(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
}
#endif

} // namespace

std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t size) {
    std::uint32_t sum1 = adler & 0xFFFF;
    std::uint32_t sum2 = adler >> 16;
#if defined(__SSE2__)
    // Sixteen bytes at a time: each adds its value to the first sum and its
    // value times its distance from the end of the block to the second, which
    // also gains sixteen times the first sum as it stood before the block.
    const __m128i zero = _mm_setzero_si128();
    const __m128i frontWeights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i backWeights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    while (size >= 16) {
        std::size_t blocks = std::min(size, kMaxRun) / 16;
        size -= blocks * 16;
        const std::uint64_t startSum1 = sum1;
        const std::uint64_t blockCount = blocks;
        __m128i bytesSum = zero;    // the bytes so far, in two lanes
        __m128i earlierSums = zero; // bytesSum as it stood before each block, added up
        __m128i weighted = zero;
        do {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
            earlierSums = _mm_add_epi32(earlierSums, bytesSum);
            bytesSum = _mm_add_epi32(bytesSum, _mm_sad_epu8(bytes, zero));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), frontWeights));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), backWeights));
            data += 16;
        } while (--blocks > 0);
        sum2 = static_cast<std::uint32_t>((sum2 + 16 * (startSum1 * blockCount + SumLanes(earlierSums)) +
                                           SumLanes(weighted)) % kModulus);
        sum1 = (sum1 + SumLanes(bytesSum)) % kModulus;
    }
#endif
    while (size > 0) {
        const std::size_t run = std::min(size, kMaxRun);
        for (std::size_t i = 0; i < run; ++i) {
            sum1 += data[i];
            sum2 += sum1;
        }
        data += run;
        size -= run;
        sum1 %= kModulus;
        sum2 %= kModulus;
    }
    return sum2 << 16 | sum1;
}

} // namespace Quivane
