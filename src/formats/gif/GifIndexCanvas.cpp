#include "GifIndexCanvas.h"

#include <algorithm>
#include <cstring>

namespace Quivane {
namespace {

constexpr std::uint32_t kSlots = 256; // a cell keeps its slot in its high byte

} // namespace

GifIndexCanvas::GifIndexCanvas(std::uint32_t width, std::uint32_t height)
    : width_(width), height_(height), cells_(static_cast<std::size_t>(width) * height, 0), colours_(256, 0) {}

std::uint16_t GifIndexCanvas::SlotOf(const std::uint8_t* table, std::uint32_t entries) {
    for (std::size_t slot = tables_.size(); slot > 0; --slot) {
        if (tables_[slot - 1] == table) return static_cast<std::uint16_t>(slot);
    }
    if (tables_.size() + 1 >= kSlots) return 0;
    tables_.push_back(table);
    const std::size_t first = colours_.size();
    colours_.resize(first + 256, 0);
    for (std::uint32_t i = 0; i < entries && i < 256; ++i) colours_[first + i] = GifOpaqueColour(table + std::size_t{i} * 3);
    return static_cast<std::uint16_t>(tables_.size());
}

bool GifIndexCanvas::BeginFrame(const GifFrameInfo& frame, const std::uint8_t* table, std::uint32_t entries,
                                std::int32_t transparentIndex) {
    if (table == nullptr) entries = 0;
    const std::uint16_t slot = entries > 0 ? SlotOf(table, entries) : 0;
    if (entries > 0 && slot == 0) return false;
    // An index outside the table draws nothing, as does the transparent one.
    for (std::uint32_t i = 0; i < 256; ++i) {
        const bool draws = i < entries && static_cast<std::int32_t>(i) != transparentIndex;
        drawn_[i] = draws ? static_cast<std::uint16_t>(slot << 8 | i) : 0;
    }
    if (frame.disposal == kGifDisposeToPrevious) saved_.assign(cells_.begin(), cells_.end());
    region_ = ClipToCanvas(width_, height_, frame);
    return true;
}

void GifIndexCanvas::DrawRow(std::uint32_t row, const std::uint8_t* indices) {
    if (row >= region_.rows) return;
    std::uint16_t* cell = cells_.data() + static_cast<std::size_t>(region_.top + row) * width_ + region_.left;
    for (std::uint32_t x = 0; x < region_.columns; ++x) {
        const std::uint16_t drawn = drawn_[indices[x]];
        if (drawn != 0) cell[x] = drawn;
    }
}

void GifIndexCanvas::Dispose(const GifFrameInfo& frame) {
    if (frame.disposal == kGifDisposeToTransparent) {
        const CanvasRegion region = ClipToCanvas(width_, height_, frame);
        for (std::uint32_t y = 0; y < region.rows; ++y) {
            std::uint16_t* row = cells_.data() + static_cast<std::size_t>(region.top + y) * width_ + region.left;
            std::fill(row, row + region.columns, std::uint16_t{0});
        }
    } else if (frame.disposal == kGifDisposeToPrevious && saved_.size() == cells_.size()) {
        std::copy(saved_.begin(), saved_.end(), cells_.begin());
    }
}

void GifIndexCanvas::WriteColours(std::uint8_t* out) const {
    for (std::size_t i = 0; i < cells_.size(); ++i) std::memcpy(out + i * 4, &colours_[cells_[i]], 4);
}

} // namespace Quivane
