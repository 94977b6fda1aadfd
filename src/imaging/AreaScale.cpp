#include "AreaScale.h"

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

// Sum / total with 8 fraction bits, rounded.
struct ToIntermediate {
    explicit ToIntermediate(std::uint32_t total) : reciprocal(((std::uint64_t{1} << 40) + total / 2) / total) {}
    std::uint16_t operator()(std::uint32_t sum) const {
        return static_cast<std::uint16_t>((sum * reciprocal + (std::uint64_t{1} << 31)) >> 32);
    }
    std::uint64_t reciprocal;
};

// Sum / (total * 256), rounded: the second pass reads 8-fraction-bit samples.
struct ToTarget {
    explicit ToTarget(std::uint32_t total) : reciprocal(((std::uint64_t{1} << 32) + total / 2) / total) {}
    std::uint8_t operator()(std::uint32_t sum) const {
        return static_cast<std::uint8_t>((sum * reciprocal + (std::uint64_t{1} << 39)) >> 40);
    }
    std::uint64_t reciprocal;
};

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

// The row scaler. Taps are kept per output pixel (first and last source pixel,
// their weights, and the one weight of every pixel between, which shrinking
// gives them all), so its memory follows the target, not the source. Weights
// are the same integers as above, now up to 2^32: a first-pass sum stays below
// 255 * 2^32 and a second-pass one below 65280 * 2^32, both in 64 bits. While
// a total is at most 32768 (sides up to kMaxCanvasSide) each pass rounds with
// the functors above, so rows first gives the same bytes both ways; past it,
// through a double: every sum is below 2^48 and exact in one, and the relative
// error of one multiplication (2^-52) cannot move a result across a half unit
// when all the inputs are equal, so they still come back exactly.
namespace {

struct Span {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::uint64_t firstWeight = 0;
    std::uint64_t lastWeight = 0;
};

struct SpanAxis {
    std::vector<Span> spans;
    std::uint64_t interior = 0; // the weight of every tap between first and last
    std::uint64_t total = 0;
};

SpanAxis MakeSpanAxis(std::uint32_t source, std::uint32_t target) {
    SpanAxis axis;
    axis.spans.resize(target);
    const std::uint64_t s = source, d = target;
    if (source >= target) {
        axis.total = s;
        axis.interior = d;
        for (std::uint64_t i = 0; i < d; ++i) {
            const std::uint64_t from = i * s, to = from + s;
            Span& span = axis.spans[i];
            span.first = static_cast<std::uint32_t>(from / d);
            span.last = static_cast<std::uint32_t>((to - 1) / d);
            span.firstWeight = std::min((span.first + 1) * d, to) - from;
            span.lastWeight = span.last > span.first ? to - span.last * d : 0;
        }
    } else {
        const std::uint64_t width = 2 * d;
        axis.total = width;
        for (std::uint64_t i = 0; i < d; ++i) {
            const std::int64_t centre = static_cast<std::int64_t>((2 * i + 1) * s) - static_cast<std::int64_t>(d);
            std::uint64_t j = 0, fraction = 0;
            if (centre > 0) {
                j = static_cast<std::uint64_t>(centre) / width;
                fraction = static_cast<std::uint64_t>(centre) % width;
            }
            if (j >= s - 1) {
                j = s - 1;
                fraction = 0;
            }
            Span& span = axis.spans[i];
            span.first = static_cast<std::uint32_t>(j);
            span.last = static_cast<std::uint32_t>(fraction != 0 ? j + 1 : j);
            span.firstWeight = width - fraction;
            span.lastWeight = fraction;
        }
    }
    return axis;
}

inline std::uint64_t TapWeight(const SpanAxis& axis, const Span& span, std::uint32_t at) {
    return at == span.first ? span.firstWeight : at == span.last ? span.lastWeight : axis.interior;
}

// Sum / total with 8 fraction bits, rounded.
struct RoundToMiddle {
    explicit RoundToMiddle(std::uint64_t total)
        : exact(total <= 32768), small(static_cast<std::uint32_t>(exact ? total : 1)),
          inverse(256.0 / static_cast<double>(total)) {}
    std::uint16_t operator()(std::uint64_t sum) const {
        if (exact) return small(static_cast<std::uint32_t>(sum));
        return static_cast<std::uint16_t>(static_cast<double>(sum) * inverse + 0.5);
    }
    bool exact;
    ToIntermediate small;
    double inverse;
};

// Sum / (total * 256), rounded.
struct RoundToTarget {
    explicit RoundToTarget(std::uint64_t total)
        : exact(total <= 32768), small(static_cast<std::uint32_t>(exact ? total : 1)),
          inverse(1.0 / (256.0 * static_cast<double>(total))) {}
    std::uint8_t operator()(std::uint64_t sum) const {
        if (exact) return small(static_cast<std::uint32_t>(sum));
        return static_cast<std::uint8_t>(static_cast<double>(sum) * inverse + 0.5);
    }
    bool exact;
    ToTarget small;
    double inverse;
};

// The four channels of `count` pixels added up. Two pixels at a time as one
// 64-bit word split into 16-bit lanes (blue and red, green and alpha), which
// hold the sum of 257 bytes: a flush every 256 words.
inline void AddPixels(const std::uint8_t* p, std::uint64_t count, std::uint64_t (&sum)[4]) {
    constexpr std::uint64_t kLow = 0x00FF00FF00FF00FFull;
    constexpr std::uint64_t kLane = 0xFFFF;
    while (count >= 2) {
        const std::uint64_t words = std::min<std::uint64_t>(count / 2, 256);
        std::uint64_t blueRed = 0, greenAlpha = 0;
        for (std::uint64_t k = 0; k < words; ++k, p += 8) {
            std::uint64_t two;
            std::memcpy(&two, p, 8);
            blueRed += two & kLow;
            greenAlpha += (two >> 8) & kLow;
        }
        sum[0] += (blueRed & kLane) + ((blueRed >> 32) & kLane);
        sum[2] += ((blueRed >> 16) & kLane) + (blueRed >> 48);
        sum[1] += (greenAlpha & kLane) + ((greenAlpha >> 32) & kLane);
        sum[3] += ((greenAlpha >> 16) & kLane) + (greenAlpha >> 48);
        count -= 2 * words;
    }
    if (count == 1) {
        for (int c = 0; c < 4; ++c) sum[c] += p[c];
    }
}

void ScaleAlongX(const std::uint8_t* in, const SpanAxis& axis, const RoundToMiddle& round, std::uint16_t* out) {
    for (const Span& span : axis.spans) {
        const std::uint8_t* p = in + static_cast<std::size_t>(span.first) * 4;
        std::uint64_t sum[4] = {span.firstWeight * p[0], span.firstWeight * p[1], span.firstWeight * p[2],
                                span.firstWeight * p[3]};
        if (span.last > span.first) {
            const std::uint8_t* q = in + static_cast<std::size_t>(span.last) * 4;
            std::uint64_t between[4] = {0, 0, 0, 0};
            AddPixels(p + 4, span.last - span.first - 1, between);
            for (int c = 0; c < 4; ++c) sum[c] += span.lastWeight * q[c] + axis.interior * between[c];
        }
        for (int c = 0; c < 4; ++c) out[c] = round(sum[c]);
        out += 4;
    }
}

} // namespace

struct AreaRowScaler::State {
    std::uint32_t sourceWidth = 0;
    std::uint32_t sourceHeight = 0;
    std::uint32_t targetWidth = 0;
    std::uint32_t targetHeight = 0;
    std::uint8_t* target = nullptr;
    std::size_t targetStride = 0;
    bool copies = false; // the same size: rows are copied as they come
    SpanAxis x, y;
    RoundToMiddle toMiddle{1};
    RoundToTarget toTarget{1};
    std::vector<std::uint8_t> row;     // a partly given row, transparent elsewhere
    std::vector<std::uint16_t> middle; // a source row scaled along x
    std::vector<std::uint64_t> open;   // the sums of the target rows still open, in a ring
    std::uint32_t ringRows = 1;
    std::uint32_t nextTargetRow = 0; // rows before it are written
    std::uint32_t nextSourceRow = 0; // rows before it were given or passed over

    std::size_t TargetSamples() const { return static_cast<std::size_t>(targetWidth) * 4; }
    std::uint8_t* TargetRow(std::uint32_t row) const { return target + static_cast<std::size_t>(row) * targetStride; }

    void WriteRow(std::uint32_t index) {
        std::uint64_t* sums = open.data() + static_cast<std::size_t>(index % ringRows) * TargetSamples();
        std::uint8_t* out = TargetRow(index);
        for (std::size_t s = 0; s < TargetSamples(); ++s) {
            out[s] = toTarget(sums[s]);
            sums[s] = 0;
        }
    }

    // Writes the target rows whose last source row lies before `end`.
    void WriteRowsBefore(std::uint64_t end) {
        if (copies) {
            for (; nextTargetRow < targetHeight && nextTargetRow < end; ++nextTargetRow) {
                std::memset(TargetRow(nextTargetRow), 0, TargetSamples());
            }
            return;
        }
        for (; nextTargetRow < targetHeight && y.spans[nextTargetRow].last < end; ++nextTargetRow) WriteRow(nextTargetRow);
    }
};

AreaRowScaler::AreaRowScaler() = default;
AreaRowScaler::~AreaRowScaler() = default;

bool AreaRowScaler::Begin(std::uint32_t sourceWidth, std::uint32_t sourceHeight, std::uint8_t* target,
                          std::uint32_t targetWidth, std::uint32_t targetHeight, std::size_t targetStride) noexcept {
    state_.reset();
    if (target == nullptr || sourceWidth == 0 || sourceHeight == 0 || targetWidth == 0 || targetHeight == 0) return false;
    if (sourceWidth > 0x7FFFFFFFu || sourceHeight > 0x7FFFFFFFu || targetWidth > 0x7FFFFFFFu ||
        targetHeight > 0x7FFFFFFFu) {
        return false;
    }
    if (targetStride < static_cast<std::size_t>(targetWidth) * 4) return false;
    try {
        auto state = std::make_unique<State>();
        state->sourceWidth = sourceWidth;
        state->sourceHeight = sourceHeight;
        state->targetWidth = targetWidth;
        state->targetHeight = targetHeight;
        state->target = target;
        state->targetStride = targetStride;
        state->copies = sourceWidth == targetWidth && sourceHeight == targetHeight;
        if (!state->copies) {
            state->row.assign(static_cast<std::size_t>(sourceWidth) * 4, 0);
            state->x = MakeSpanAxis(sourceWidth, targetWidth);
            state->y = MakeSpanAxis(sourceHeight, targetHeight);
            state->toMiddle = RoundToMiddle(state->x.total);
            state->toTarget = RoundToTarget(state->y.total);
            // The most target rows one source row is part of: that many sums stay open.
            const std::vector<Span>& spans = state->y.spans;
            std::uint32_t most = 1;
            for (std::uint32_t i = 0, j = 0; i < targetHeight; ++i) {
                j = std::max(j, i);
                while (j < targetHeight && spans[j].first <= spans[i].last) ++j;
                most = std::max(most, j - i);
            }
            state->ringRows = most;
            const std::uint64_t samples = static_cast<std::uint64_t>(targetWidth) * 4;
            if (samples * most > (std::uint64_t{1} << 27)) return false; // 1 GiB of sums
            state->middle.resize(samples);
            state->open.assign(samples * most, 0);
        }
        state_ = std::move(state);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void AreaRowScaler::AddRow(std::uint32_t row, std::uint32_t firstColumn, const std::uint8_t* bgra,
                           std::uint32_t count) noexcept {
    State* state = state_.get();
    if (state == nullptr || row < state->nextSourceRow || row >= state->sourceHeight) return;
    if (bgra == nullptr || firstColumn >= state->sourceWidth) {
        count = 0;
    } else {
        count = std::min(count, state->sourceWidth - firstColumn);
    }
    state->nextSourceRow = row + 1;
    state->WriteRowsBefore(row);
    const bool whole = firstColumn == 0 && count == state->sourceWidth;
    const std::size_t runOffset = static_cast<std::size_t>(firstColumn) * 4;
    const std::size_t runBytes = static_cast<std::size_t>(count) * 4;
    if (state->copies) {
        std::uint8_t* out = state->TargetRow(row);
        std::memset(out, 0, state->TargetSamples());
        if (count > 0) std::memcpy(out + runOffset, bgra, runBytes);
        state->nextTargetRow = row + 1;
        return;
    }
    if (count > 0) {
        const std::uint8_t* line = bgra;
        if (!whole) {
            std::memcpy(state->row.data() + runOffset, bgra, runBytes);
            line = state->row.data();
        }
        ScaleAlongX(line, state->x, state->toMiddle, state->middle.data());
        if (!whole) std::memset(state->row.data() + runOffset, 0, runBytes);
        const std::size_t samples = state->TargetSamples();
        for (std::uint32_t i = state->nextTargetRow; i < state->targetHeight && state->y.spans[i].first <= row; ++i) {
            const Span& span = state->y.spans[i];
            if (row > span.last) continue;
            const std::uint64_t weight = TapWeight(state->y, span, row);
            std::uint64_t* sums = state->open.data() + static_cast<std::size_t>(i % state->ringRows) * samples;
            const std::uint16_t* middle = state->middle.data();
            for (std::size_t s = 0; s < samples; ++s) sums[s] += weight * middle[s];
        }
    }
    state->WriteRowsBefore(std::uint64_t{row} + 1);
}

void AreaRowScaler::Finish() noexcept {
    if (!state_) return;
    state_->WriteRowsBefore(~std::uint64_t{0});
    state_.reset();
}

} // namespace Quivane
