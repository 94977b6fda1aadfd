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

void GifCanvas::Compose(const GifFrameInfo& frame, const std::uint8_t* pixels) {
    if (frame.disposal == kGifDisposeToPrevious) saved_.assign(pixels_.begin(), pixels_.end());
    const CanvasRegion region = ClipToCanvas(width_, height_, frame);
    BlendOverPremultiplied(pixels_.data(), Stride(), region, pixels, static_cast<std::size_t>(frame.width) * 4);
}

void GifCanvas::Dispose(const GifFrameInfo& frame) {
    if (frame.disposal == kGifDisposeToTransparent) {
        ClearRegion(pixels_.data(), Stride(), ClipToCanvas(width_, height_, frame));
    } else if (frame.disposal == kGifDisposeToPrevious && saved_.size() == pixels_.size()) {
        std::copy(saved_.begin(), saved_.end(), pixels_.begin());
    }
}

bool GifCanvas::Restore(const std::vector<std::uint8_t>& picture) {
    if (picture.size() != pixels_.size()) return false;
    pixels_ = picture;
    return true;
}

} // namespace Quivane
