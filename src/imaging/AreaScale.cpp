#include "AreaScale.h"

#include "AreaScaleRounding.h"
#include "CanvasLimits.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

// Separable: one axis into an intermediate picture, then the other axis into
// the target. Each axis has its weights worked out once per output pixel, so a
// row costs O(source pixels + target pixels) whatever the ratio.
//
// Weights are exact integers; the only rounding is the one division at the end
// of each pass, done as a multiplication by a 64-bit reciprocal.
//   Shrinking S -> D: in units of 1/D of a source pixel, output pixel i covers
//   [i*S, (i+1)*S) and source pixel j covers [j*D, (j+1)*D); each weight is
//   their overlap (an interior pixel weighs D, the edge ones their fraction),
//   and every output pixel's weights add up to S.
//   Growing S -> D: output pixel i's centre lies at ((2i+1)*S - D) / (2D) in
//   source pixel centres, clamped to [0, S-1]; its two neighbours share 2D.
//
// Why nothing overflows, with every side at most kMaxCanvasSide = 16384:
//   - a total is at most max(S, 2D) = 32768 and so is any one weight (uint16);
//   - the first pass sums 8-bit samples: at most 255 * 32768 = 8,355,840 < 2^23
//     (a whole 16384-pixel row into one pixel: 16384 weights of 1, 4,177,920);
//   - it keeps the result with 8 fraction bits in 16 bits: at most 255 * 256 = 65280;
//   - the second pass sums those: at most 65280 * 32768 = 2,139,095,040 < 2^31;
//   - the reciprocals are round(2^40 / total) <= 2^40 after the first pass and
//     round(2^32 / total) <= 2^32 after the second: products < 2^23 * 2^40 and
//     < 2^31 * 2^32, both below 2^64.
// Exactness: with R = 2^k / total + e, |e| <= 1/2 (k = 40, then 32), equal
// inputs u sum to u * total, and u * total * R misses u * 2^k by at most
// 65280 * 32768 / 2 < 2^30, less than the half unit (2^31, then 2^39) that the
// rounding forgives: u comes back exactly (as u * 256, then as u / 256).
// Each pass is a sum with non-negative weights followed by a non-decreasing
// rounding, so a channel never ends above its alpha nor outside the range of
// the source's values: no clamping is needed.
//
// The intermediate holds 16 bits a channel rather than 32: 8 fraction bits
// cost at most 1/512 of a level before the final rounding, it takes half the
// memory, and it keeps the second pass's sums within 32 bits.

namespace Quivane {
namespace {

struct AxisWeights {
    std::vector<std::uint32_t> first; // the first source pixel each output pixel reads
    std::vector<std::uint32_t> begin; // output i's weights are weight[begin[i]] .. weight[begin[i + 1] - 1]
    std::vector<std::uint16_t> weight;
    std::uint32_t total = 0;
};

AxisWeights MakeAxis(std::uint32_t source, std::uint32_t target) {
    AxisWeights axis;
    axis.first.resize(target);
    axis.begin.resize(static_cast<std::size_t>(target) + 1);
    if (source >= target) {
        axis.total = source;
        axis.weight.reserve(static_cast<std::size_t>(source) + target);
        for (std::uint32_t i = 0; i < target; ++i) {
            const std::uint64_t from = static_cast<std::uint64_t>(i) * source;
            const std::uint64_t to = from + source;
            std::uint64_t j = from / target;
            axis.first[i] = static_cast<std::uint32_t>(j);
            axis.begin[i] = static_cast<std::uint32_t>(axis.weight.size());
            for (; j * target < to; ++j) {
                const std::uint64_t overlap = std::min((j + 1) * target, to) - std::max(j * target, from);
                axis.weight.push_back(static_cast<std::uint16_t>(overlap));
            }
        }
    } else {
        const std::uint64_t span = 2 * static_cast<std::uint64_t>(target);
        axis.total = static_cast<std::uint32_t>(span);
        axis.weight.reserve(static_cast<std::size_t>(target) * 2);
        for (std::uint32_t i = 0; i < target; ++i) {
            const std::int64_t centre = static_cast<std::int64_t>(2 * static_cast<std::uint64_t>(i) + 1) * source -
                                        static_cast<std::int64_t>(target);
            std::uint64_t j = 0;
            std::uint64_t fraction = 0;
            if (centre > 0) {
                j = static_cast<std::uint64_t>(centre) / span;
                fraction = static_cast<std::uint64_t>(centre) % span;
            }
            if (j >= source - 1) {
                j = source - 1;
                fraction = 0;
            }
            axis.first[i] = static_cast<std::uint32_t>(j);
            axis.begin[i] = static_cast<std::uint32_t>(axis.weight.size());
            axis.weight.push_back(static_cast<std::uint16_t>(span - fraction));
            if (fraction != 0) axis.weight.push_back(static_cast<std::uint16_t>(fraction));
        }
    }
    axis.begin[target] = static_cast<std::uint32_t>(axis.weight.size());
    return axis;
}

// One row along x: `out` gets axis.first.size() pixels.
template <typename In, typename Out, typename Finish>
void ScaleRow(const In* in, Out* out, const AxisWeights& axis, Finish finish) {
    const std::size_t outputs = axis.first.size();
    for (std::size_t i = 0; i < outputs; ++i, out += 4) {
        const In* p = in + static_cast<std::size_t>(axis.first[i]) * 4;
        std::uint32_t b = 0, g = 0, r = 0, a = 0;
        for (std::uint32_t k = axis.begin[i]; k < axis.begin[i + 1]; ++k, p += 4) {
            const std::uint32_t w = axis.weight[k];
            b += w * p[0];
            g += w * p[1];
            r += w * p[2];
            a += w * p[3];
        }
        out[0] = finish(b);
        out[1] = finish(g);
        out[2] = finish(r);
        out[3] = finish(a);
    }
}

// Output row i along y: whole input rows (`stride` elements apart) weighted
// into `sums` one after another, which reads memory in order.
// `rows` holds input rows from `origin` on.
template <typename In, typename Out, typename Finish>
void ScaleColumns(const In* rows, std::size_t origin, std::size_t stride, std::size_t samples, const AxisWeights& axis,
                  std::size_t i, std::uint32_t* sums, Out* out, Finish finish) {
    const In* row = rows + (axis.first[i] - origin) * stride;
    std::uint32_t k = axis.begin[i];
    const std::uint32_t w0 = axis.weight[k];
    for (std::size_t s = 0; s < samples; ++s) sums[s] = w0 * row[s];
    for (++k; k < axis.begin[i + 1]; ++k) {
        row += stride;
        const std::uint32_t w = axis.weight[k];
        for (std::size_t s = 0; s < samples; ++s) sums[s] += w * row[s];
    }
    for (std::size_t s = 0; s < samples; ++s) out[s] = finish(sums[s]);
}

// Which axis goes first. A pass along y weights whole rows of contiguous
// samples and vectorizes; one along x walks each output pixel's taps four
// channels at a time, about three times the cost per tap as measured on
// x86-64, and a row of S -> D has about S + D taps. Weighted so, shrinking
// puts the pass over the whole source along y (1280x720 -> 256x144 goes from
// 1.9 to 1.2 ms) and growing puts the pass over the whole target along y.
// Cost alone can ask for a buffer thousands of times the other order's
// (16155x13606 -> 1x6722), so the cheaper order is taken only while its buffer
// is at most twice the other's; otherwise the smaller buffer, whose order is
// the cheaper one by tap count and so at worst about three times slower.
bool RowsFirst(std::uint64_t sourceWidth, std::uint64_t sourceHeight, std::uint64_t targetWidth,
               std::uint64_t targetHeight) {
    const std::uint64_t rowsFirstBuffer = targetWidth * sourceHeight;
    const std::uint64_t columnsFirstBuffer = sourceWidth * targetHeight;
    if (rowsFirstBuffer > 2 * columnsFirstBuffer) return false;
    if (columnsFirstBuffer > 2 * rowsFirstBuffer) return true;
    const std::uint64_t rowsFirst =
        3 * sourceHeight * (sourceWidth + targetWidth) + targetWidth * (sourceHeight + targetHeight);
    const std::uint64_t columnsFirst =
        sourceWidth * (sourceHeight + targetHeight) + 3 * targetHeight * (sourceWidth + targetWidth);
    return rowsFirst <= columnsFirst;
}

} // namespace

bool ScalePremultipliedBgra(const std::uint8_t* source, std::uint32_t sourceWidth, std::uint32_t sourceHeight,
                            std::size_t sourceStride, std::uint8_t* target, std::uint32_t targetWidth,
                            std::uint32_t targetHeight, std::size_t targetStride) noexcept {
    if (source == nullptr || target == nullptr) return false;
    if (sourceWidth == 0 || sourceHeight == 0 || targetWidth == 0 || targetHeight == 0) return false;
    const std::size_t sourceSamples = static_cast<std::size_t>(sourceWidth) * 4;
    const std::size_t targetSamples = static_cast<std::size_t>(targetWidth) * 4;
    if (sourceStride < sourceSamples || targetStride < targetSamples) return false;

    if (sourceWidth == targetWidth && sourceHeight == targetHeight) {
        for (std::size_t y = 0; y < targetHeight; ++y) {
            std::memcpy(target + y * targetStride, source + y * sourceStride, targetSamples);
        }
        return true;
    }
    if (sourceWidth > kMaxCanvasSide || sourceHeight > kMaxCanvasSide || targetWidth > kMaxCanvasSide ||
        targetHeight > kMaxCanvasSide) {
        // Past the sides the 16-bit weights below allow: the row scaler's wider arithmetic.
        AreaRowScaler rows;
        if (!rows.Begin(sourceWidth, sourceHeight, target, targetWidth, targetHeight, targetStride)) return false;
        for (std::uint32_t y = 0; y < sourceHeight; ++y) rows.AddRow(y, 0, source + y * sourceStride, sourceWidth);
        rows.Finish();
        return true;
    }

    try {
        const AxisWeights x = MakeAxis(sourceWidth, targetWidth);
        const AxisWeights y = MakeAxis(sourceHeight, targetHeight);
        if (RowsFirst(sourceWidth, sourceHeight, targetWidth, targetHeight)) {
            // A band of target rows at a time, from the source rows it covers:
            // the intermediate stays a few rows however tall the source.
            constexpr std::size_t kBandRows = 64;
            const auto bandRows = [&](std::size_t band, std::size_t& firstRow, std::size_t& endRow) {
                const std::size_t end = std::min<std::size_t>(targetHeight, band + kBandRows);
                firstRow = y.first[band];
                endRow = y.first[end - 1] + (y.begin[end] - y.begin[end - 1]);
                return end;
            };
            std::size_t widest = 0;
            for (std::size_t band = 0, firstRow = 0, endRow = 0; band < targetHeight; band += kBandRows) {
                bandRows(band, firstRow, endRow);
                widest = std::max(widest, endRow - firstRow);
            }
            std::vector<std::uint16_t> middle(widest * targetSamples); // allocated before the first write
            std::vector<std::uint32_t> sums(targetSamples);
            const ToIntermediate toMiddle(x.total);
            const ToTarget toTarget(y.total);
            for (std::size_t band = 0; band < targetHeight; band += kBandRows) {
                std::size_t firstRow = 0;
                std::size_t endRow = 0;
                const std::size_t end = bandRows(band, firstRow, endRow);
                for (std::size_t row = firstRow; row < endRow; ++row) {
                    ScaleRow(source + row * sourceStride, middle.data() + (row - firstRow) * targetSamples, x, toMiddle);
                }
                for (std::size_t row = band; row < end; ++row) {
                    ScaleColumns(middle.data(), firstRow, targetSamples, targetSamples, y, row, sums.data(),
                                 target + row * targetStride, toTarget);
                }
            }
        } else {
            // One target row at a time: its source rows along y, then along x.
            std::vector<std::uint16_t> middle(sourceSamples);
            std::vector<std::uint32_t> sums(sourceSamples);
            const ToIntermediate toMiddle(y.total);
            const ToTarget toTarget(x.total);
            for (std::size_t row = 0; row < targetHeight; ++row) {
                ScaleColumns(source, 0, sourceStride, sourceSamples, y, row, sums.data(), middle.data(), toMiddle);
                ScaleRow(middle.data(), target + row * targetStride, x, toTarget);
            }
        }
    } catch (const std::exception&) {
        // Only allocations throw, and they all come before the first write.
        return false;
    }
    return true;
}

} // namespace Quivane
