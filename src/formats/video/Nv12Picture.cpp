#include "Nv12Picture.h"

#include "imaging/AreaScale.h"

#include <algorithm>
#include <new>
#include <vector>

namespace Quivane {
namespace {

// Inverse matrices in 1/256 steps: luma gain, then red from V, green from U
// and V, blue from U.
struct Coefficients {
    int luma, redV, greenU, greenV, blueU;
};

Coefficients CoefficientsFor(YuvMatrix matrix, bool fullRange) {
    if (fullRange) return matrix == YuvMatrix::Bt709 ? Coefficients{256, 403, 48, 120, 475} : Coefficients{256, 359, 88, 183, 454};
    return matrix == YuvMatrix::Bt709 ? Coefficients{298, 459, 55, 136, 541} : Coefficients{298, 409, 100, 208, 516};
}

inline std::uint8_t Clip(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

inline std::uint32_t FullScaleLuma(std::uint8_t y, bool fullRange) {
    if (fullRange) return y;
    return y <= 16 ? 0 : std::min<std::uint32_t>(255, (static_cast<std::uint32_t>(y - 16) * 255 + 109) / 219);
}

// Converts `count` pixels of one row from column `first` on into `out`.
void ConvertRow(const std::uint8_t* luma, const std::uint8_t* uv, const Coefficients& k, int lumaOffset,
                std::uint32_t first, std::uint32_t count, std::uint8_t* out) {
    for (std::uint32_t x = first; x < first + count; ++x, out += 4) {
        const int c = k.luma * (luma[x] - lumaOffset);
        const int d = uv[(x / 2) * 2] - 128;
        const int e = uv[(x / 2) * 2 + 1] - 128;
        out[0] = Clip((c + k.blueU * d + 128) >> 8);
        out[1] = Clip((c - k.greenU * d - k.greenV * e + 128) >> 8);
        out[2] = Clip((c + k.redV * e + 128) >> 8);
        out[3] = 0xFF;
    }
}

} // namespace

std::uint64_t Nv12Bytes(const Nv12Layout& layout) {
    const std::uint64_t chromaRowBytes = 2 * ((static_cast<std::uint64_t>(layout.width) + 1) / 2);
    if (layout.width == 0 || layout.height == 0 || layout.stride < chromaRowBytes) return 0;
    return static_cast<std::uint64_t>(layout.stride) * (layout.height + (layout.height + 1) / 2);
}

bool PassesNv12DarknessTest(const std::uint8_t* data, std::size_t length, const Nv12Layout& layout) {
    const std::uint64_t needed = Nv12Bytes(layout);
    if (data == nullptr || needed == 0 || needed > length) return false;
    // The same sampling grid as the test of converted frames.
    const std::uint32_t columnStep = std::max<std::uint32_t>(1, layout.width / 32);
    const std::uint32_t rowStep = std::max<std::uint32_t>(1, layout.height / 24);
    std::uint64_t total = 0, count = 0;
    std::uint32_t brightest = 0;
    for (std::uint32_t y = 0; y < layout.height; y += rowStep) {
        const std::uint8_t* row = data + static_cast<std::size_t>(y) * layout.stride;
        for (std::uint32_t x = 0; x < layout.width; x += columnStep) {
            const std::uint32_t luma = FullScaleLuma(row[x], layout.fullRange);
            total += luma;
            ++count;
            brightest = std::max(brightest, luma);
        }
    }
    return total / count >= 10 || brightest >= 24;
}

bool ConvertNv12(const std::uint8_t* data, std::size_t length, const Nv12Layout& layout, DecodedVideoFrame& frame) {
    const std::uint64_t needed = Nv12Bytes(layout);
    if (data == nullptr || needed == 0 || needed > length) return false;
    const Coefficients k = CoefficientsFor(layout.matrix, layout.fullRange);
    const int lumaOffset = layout.fullRange ? 0 : 16;
    frame.width = layout.width;
    frame.height = layout.height;
    frame.stride = layout.width * 4;
    frame.pixels.resize(static_cast<std::size_t>(frame.stride) * layout.height);
    const std::uint8_t* chroma = data + static_cast<std::size_t>(layout.stride) * layout.height;
    for (std::uint32_t row = 0; row < layout.height; ++row) {
        const std::uint8_t* luma = data + static_cast<std::size_t>(row) * layout.stride;
        const std::uint8_t* uv = chroma + static_cast<std::size_t>(row / 2) * layout.stride;
        ConvertRow(luma, uv, k, lumaOffset, 0, layout.width,
                   frame.pixels.data() + static_cast<std::size_t>(row) * frame.stride);
    }
    return true;
}

bool ConvertNv12Fitted(const std::uint8_t* data, std::size_t length, const Nv12Layout& layout,
                       const std::optional<VisibleArea>& area, std::uint32_t maxWidth, std::uint32_t maxHeight,
                       FramePixels& frame) {
    const std::uint64_t needed = Nv12Bytes(layout);
    if (data == nullptr || needed == 0 || needed > length) return false;
    const VisibleArea shown = area ? *area : VisibleArea{0, 0, layout.width, layout.height};
    if (shown.width == 0 || shown.height == 0 || shown.x > layout.width - shown.width ||
        shown.y > layout.height - shown.height) {
        return false;
    }
    std::uint32_t width = shown.width, height = shown.height;
    FitInside(width, height, maxWidth, maxHeight);
    const Coefficients k = CoefficientsFor(layout.matrix, layout.fullRange);
    const int lumaOffset = layout.fullRange ? 0 : 16;
    const std::uint8_t* chroma = data + static_cast<std::size_t>(layout.stride) * layout.height;
    FramePixels fitted;
    fitted.width = width;
    fitted.height = height;
    fitted.delayMs = frame.delayMs;
    std::vector<std::uint8_t> row;
    try {
        fitted.pixels.resize(fitted.Stride() * height);
        row.resize(static_cast<std::size_t>(shown.width) * 4);
    } catch (const std::bad_alloc&) {
        return false;
    }
    AreaRowScaler scaler;
    if (!scaler.Begin(shown.width, shown.height, fitted.pixels.data(), width, height, fitted.Stride())) return false;
    for (std::uint32_t y = 0; y < shown.height; ++y) {
        const std::uint32_t source = shown.y + y;
        ConvertRow(data + static_cast<std::size_t>(source) * layout.stride,
                   chroma + static_cast<std::size_t>(source / 2) * layout.stride, k, lumaOffset, shown.x, shown.width,
                   row.data());
        scaler.AddRow(y, 0, row.data(), shown.width);
    }
    scaler.Finish();
    frame = std::move(fitted);
    return true;
}

} // namespace Quivane
