#include "GifComposition.h"

#include <algorithm>
#include <limits>

namespace Quivane {

std::uint32_t GifDelayMs(std::uint32_t hundredths) {
    const std::uint64_t ms = static_cast<std::uint64_t>(hundredths) * 10;
    if (ms < 10) return 10;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, std::numeric_limits<std::uint32_t>::max()));
}

GifCanvas::GifCanvas(std::uint32_t width, std::uint32_t height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 4) {}

// Only the frame's part of the canvas changes before it is disposed, so only
// that part is kept to put back.
void GifCanvas::BeginFrame(const GifFrameInfo& frame) {
    hasSaved_ = frame.disposal == kGifDisposeToPrevious;
    if (!hasSaved_) return;
    savedRegion_ = ClipToCanvas(width_, height_, frame);
    const std::size_t rowBytes = static_cast<std::size_t>(savedRegion_.columns) * 4;
    saved_.resize(rowBytes * savedRegion_.rows);
    for (std::uint32_t row = 0; row < savedRegion_.rows; ++row) {
        std::copy_n(pixels_.data() + (savedRegion_.top + row) * Stride() + savedRegion_.left * 4, rowBytes,
                    saved_.data() + row * rowBytes);
    }
}

void GifCanvas::Compose(const GifFrameInfo& frame, const std::uint8_t* pixels) {
    BeginFrame(frame);
    const CanvasRegion region = ClipToCanvas(width_, height_, frame);
    BlendOverPremultiplied(pixels_.data(), Stride(), region, pixels, static_cast<std::size_t>(frame.width) * 4);
}

void GifCanvas::Dispose(const GifFrameInfo& frame) {
    if (frame.disposal == kGifDisposeToTransparent) {
        ClearRegion(pixels_.data(), Stride(), ClipToCanvas(width_, height_, frame));
    } else if (frame.disposal == kGifDisposeToPrevious && hasSaved_) {
        const std::size_t rowBytes = static_cast<std::size_t>(savedRegion_.columns) * 4;
        for (std::uint32_t row = 0; row < savedRegion_.rows; ++row) {
            std::copy_n(saved_.data() + row * rowBytes, rowBytes,
                        pixels_.data() + (savedRegion_.top + row) * Stride() + savedRegion_.left * 4);
        }
    }
    hasSaved_ = false;
}

bool GifCanvas::Restore(const std::vector<std::uint8_t>& picture) {
    if (picture.size() != pixels_.size()) return false;
    pixels_ = picture;
    hasSaved_ = false;
    return true;
}

} // namespace Quivane
