#include "CompositionCanvas.h"

#include <algorithm>

namespace Quivane {

CompositionCanvas::CompositionCanvas(std::uint32_t width, std::uint32_t height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 4) {}

void CompositionCanvas::Clear() { std::fill(pixels_.begin(), pixels_.end(), std::uint8_t{0}); }

bool CompositionCanvas::Restore(const std::vector<std::uint8_t>& picture) {
    if (picture.size() != pixels_.size()) return false;
    std::copy(picture.begin(), picture.end(), pixels_.begin());
    hasRemembered_ = false;
    return true;
}

void CompositionCanvas::ClearPart(const CanvasRegion& region) {
    const CanvasRegion onCanvas = ClipToCanvas(width_, height_, region.left, region.top, region.columns, region.rows);
    ClearRegion(pixels_.data(), Stride(), onCanvas);
}

void CompositionCanvas::RememberPart(const CanvasRegion& region) {
    rememberedRegion_ = ClipToCanvas(width_, height_, region.left, region.top, region.columns, region.rows);
    const std::size_t rowBytes = static_cast<std::size_t>(rememberedRegion_.columns) * 4;
    remembered_.resize(rowBytes * rememberedRegion_.rows);
    for (std::uint32_t row = 0; row < rememberedRegion_.rows; ++row) {
        std::copy_n(pixels_.data() + (rememberedRegion_.top + row) * Stride() + rememberedRegion_.left * 4, rowBytes,
                    remembered_.data() + row * rowBytes);
    }
    hasRemembered_ = true;
}

void CompositionCanvas::PutBackRemembered() {
    if (!hasRemembered_) return;
    const std::size_t rowBytes = static_cast<std::size_t>(rememberedRegion_.columns) * 4;
    for (std::uint32_t row = 0; row < rememberedRegion_.rows; ++row) {
        std::copy_n(remembered_.data() + row * rowBytes, rowBytes,
                    pixels_.data() + (rememberedRegion_.top + row) * Stride() + rememberedRegion_.left * 4);
    }
    hasRemembered_ = false;
}

} // namespace Quivane
