#include "AreaScale.h"

#include "AreaScaleRounding.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

namespace Quivane {

// The row scaler. Taps are kept per output pixel (first and last source pixel,
// their weights, and the one weight of every pixel between, which shrinking
// gives them all), so its memory follows the target, not the source. Weights
// are the same integers as ScalePremultipliedBgra's (AreaScale.cpp), now up to
// 2^32: a first-pass sum stays below 255 * 2^32 and a second-pass one below
// 65280 * 2^32, both in 64 bits. While a total is at most 32768 (sides up to
// kMaxCanvasSide) each pass rounds as that one does (AreaScaleRounding.h), so
// rows first gives the same bytes both ways; past it, through a double: every
// sum is below 2^48 and exact in one, and the relative error of one
// multiplication (2^-52) cannot move a result across a half unit when all the
// inputs are equal, so they still come back exactly.
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
