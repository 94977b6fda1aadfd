#include "CompositionCanvas.h"

#include <algorithm>

namespace Quivane {

CompositionCanvas::CompositionCanvas(std::uint32_t width, std::uint32_t height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 4) {}

void CompositionCanvas::Clear() { std::fill(pixels_.begin(), pixels_.end(), std::uint8_t{0}); }

bool CompositionCanvas::Restore(const std::vector<std::uint8_t>& picture) {
    if (picture.size() != pixels_.size()) return false;
    std::copy(picture.begin(), picture.end(), pixels_.begin());
    return true;
}

void CompositionCanvas::ClearPart(const CanvasRegion& region) {
    const CanvasRegion onCanvas = ClipToCanvas(width_, height_, region.left, region.top, region.columns, region.rows);
    ClearRegion(pixels_.data(), Stride(), onCanvas);
}

void CompositionCanvas::RememberPicture() { remembered_.assign(pixels_.begin(), pixels_.end()); }

void CompositionCanvas::PutBackRemembered() {
    if (remembered_.size() == pixels_.size()) std::copy(remembered_.begin(), remembered_.end(), pixels_.begin());
}

} // namespace Quivane
