// Arbitrary sizes, strides and premultiplied pixels through the thumbnail
// scaler: it reads and writes only inside the rows it is given, leaves row
// padding alone, keeps every channel within alpha and within the range the
// source's values span, and refuses short strides without writing; fed one
// row at a time, it keeps the same bounds and lands within a level of the batch.
#include "imaging/AreaScale.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
    // Pixels cycle through what is left, so short inputs still make busy pictures.
    std::uint8_t PixelByte() { return offset_ < size_ ? data_[offset_ + (cycle_++ % (size_ - offset_))] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
    std::size_t cycle_ = 0;
};

// Mostly small; sometimes one long side, for the extreme ratios.
std::uint32_t Side(Reader& in) {
    const std::uint8_t kind = in.Byte();
    if (kind & 0x80) return 1 + in.U16() % 2048;
    return 1 + kind % 48;
}

// The area stays small so a run is fast.
void Bound(std::uint32_t width, std::uint32_t& height) {
    height = std::min(height, std::max<std::uint32_t>(1, 65536 / width));
}

constexpr std::uint8_t kSentinel = 0xA5;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    const std::uint32_t sourceWidth = Side(in);
    std::uint32_t sourceHeight = Side(in);
    const std::uint32_t targetWidth = Side(in);
    std::uint32_t targetHeight = Side(in);
    Bound(sourceWidth, sourceHeight);
    Bound(targetWidth, targetHeight);
    const std::uint8_t padding = in.Byte();
    std::size_t sourceStride = std::size_t{sourceWidth} * 4 + (padding & 7);
    std::size_t targetStride = std::size_t{targetWidth} * 4 + (padding >> 5);
    // Now and then one stride is a byte shorter than its row and must be refused.
    const std::uint8_t refusal = in.Byte() % 16;
    if (refusal == 0) sourceStride = std::size_t{sourceWidth} * 4 - 1;
    if (refusal == 1) targetStride = std::size_t{targetWidth} * 4 - 1;
    const bool shortStride = refusal < 2;

    // Exactly as many bytes as the rows need: the last row has no padding after
    // it. Padding holds bytes no pixel could have, which would show if read.
    std::vector<std::uint8_t> source((sourceHeight - 1) * std::max(sourceStride, std::size_t{sourceWidth} * 4) +
                                         std::size_t{sourceWidth} * 4,
                                     0xFF);
    std::array<std::uint8_t, 4> low{255, 255, 255, 255}, high{0, 0, 0, 0};
    if (!shortStride) {
        for (std::size_t y = 0; y < sourceHeight; ++y) {
            std::uint8_t* row = source.data() + y * sourceStride;
            for (std::size_t x = 0; x < sourceWidth; ++x) {
                std::uint8_t* p = row + x * 4;
                p[3] = in.PixelByte();
                for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(in.PixelByte() % (p[3] + 1u));
                for (int c = 0; c < 4; ++c) {
                    low[c] = std::min(low[c], p[c]);
                    high[c] = std::max(high[c], p[c]);
                }
            }
        }
    }
    std::vector<std::uint8_t> target((targetHeight - 1) * std::max(targetStride, std::size_t{targetWidth} * 4) +
                                         std::size_t{targetWidth} * 4,
                                     kSentinel);

    const bool scaled = Quivane::ScalePremultipliedBgra(source.data(), sourceWidth, sourceHeight, sourceStride,
                                                        target.data(), targetWidth, targetHeight, targetStride);
    if (shortStride) {
        if (scaled) std::abort();
        for (const std::uint8_t byte : target)
            if (byte != kSentinel) std::abort();
        return 0;
    }
    if (!scaled) std::abort();
    for (std::size_t y = 0; y < targetHeight; ++y) {
        const std::uint8_t* row = target.data() + y * targetStride;
        for (std::size_t x = 0; x < targetWidth; ++x) {
            const std::uint8_t* p = row + x * 4;
            if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3]) std::abort();
            for (int c = 0; c < 4; ++c)
                if (p[c] < low[c] || p[c] > high[c]) std::abort();
        }
        if (y + 1 < targetHeight) {
            for (std::size_t i = std::size_t{targetWidth} * 4; i < targetStride; ++i)
                if (row[i] != kSentinel) std::abort();
        }
    }

    // Fed one row at a time, as a decoder feeds it: the same bounds, and
    // within one level of the batch (each is within a rounding of the ideal).
    std::vector<std::uint8_t> byRows(std::size_t{targetWidth} * 4 * targetHeight, kSentinel);
    Quivane::AreaRowScaler rows;
    if (!rows.Begin(sourceWidth, sourceHeight, byRows.data(), targetWidth, targetHeight, std::size_t{targetWidth} * 4)) {
        std::abort();
    }
    for (std::uint32_t y = 0; y < sourceHeight; ++y) rows.AddRow(y, 0, source.data() + y * sourceStride, sourceWidth);
    rows.Finish();
    for (std::size_t y = 0; y < targetHeight; ++y) {
        for (std::size_t x = 0; x < targetWidth; ++x) {
            const std::uint8_t* p = byRows.data() + (y * targetWidth + x) * 4;
            const std::uint8_t* batch = target.data() + y * targetStride + x * 4;
            if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3]) std::abort();
            for (int c = 0; c < 4; ++c) {
                if (p[c] < low[c] || p[c] > high[c]) std::abort();
                if (std::abs(int{p[c]} - int{batch[c]}) > 1) std::abort();
            }
        }
    }
    return 0;
}
