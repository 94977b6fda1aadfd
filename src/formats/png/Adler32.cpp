#include "Adler32.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
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

#if defined(__x86_64__)
// The most bytes of whole 32-byte blocks within kMaxRun.
constexpr std::size_t kMaxWideRun = kMaxRun / 32 * 32;

__attribute__((target("avx2"))) std::uint32_t SumLanes(__m256i v) {
    return SumLanes(_mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1)));
}

// The sums over whole 32-byte blocks, as the sixteen-byte loop below takes
// them, for CPUs with AVX2 (chosen at run time): what is left over is
// returned in `size` for the narrower loops.
__attribute__((target("avx2"))) void AddWideBlocks(std::uint32_t& sum1, std::uint32_t& sum2,
                                                   const std::uint8_t*& data, std::size_t& size) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i weights = _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15,
                                             14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    const __m256i ones = _mm256_set1_epi16(1);
    while (size >= 32) {
        std::size_t blocks = std::min(size, kMaxWideRun) / 32;
        size -= blocks * 32;
        const std::uint64_t startSum1 = sum1;
        const std::uint64_t blockCount = blocks;
        __m256i bytesSum = zero;
        __m256i earlierSums = zero;
        __m256i weighted = zero;
        do {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data));
            earlierSums = _mm256_add_epi32(earlierSums, bytesSum);
            bytesSum = _mm256_add_epi32(bytesSum, _mm256_sad_epu8(bytes, zero));
            weighted = _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_maddubs_epi16(bytes, weights), ones));
            data += 32;
        } while (--blocks > 0);
        sum2 = static_cast<std::uint32_t>((sum2 + 32 * (startSum1 * blockCount + SumLanes(earlierSums)) +
                                           SumLanes(weighted)) % kModulus);
        sum1 = (sum1 + SumLanes(bytesSum)) % kModulus;
    }
}

bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

} // namespace

std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t size) {
    std::uint32_t sum1 = adler & 0xFFFF;
    std::uint32_t sum2 = adler >> 16;
#if defined(__x86_64__)
    static const bool avx2 = CpuHasAvx2();
    if (avx2) AddWideBlocks(sum1, sum2, data, size);
#endif
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
