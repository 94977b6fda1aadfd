#pragma once
// The canvas an animation is composed on: premultiplied BGRA, transparent
// black at first, with room to remember the picture a frame that is disposed
// "to the previous picture" puts back. Each format's canvas draws on it in
// its own way; what they share (clearing, putting a picture back) is here.
#include "PremultipliedBlend.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

class CompositionCanvas {
public:
    // Allocates a transparent-black canvas; throws std::bad_alloc when it cannot.
    CompositionCanvas(std::uint32_t width, std::uint32_t height);
    virtual ~CompositionCanvas() = default;
    CompositionCanvas(const CompositionCanvas&) = delete;
    CompositionCanvas& operator=(const CompositionCanvas&) = delete;

    // Transparent black all over, as before a first frame.
    void Clear();
    // Puts back a picture taken from Pixels() between two frames; false when
    // its size is not the canvas's.
    bool Restore(const std::vector<std::uint8_t>& picture);

    const std::uint8_t* Pixels() const { return pixels_.data(); }
    // For painting the whole canvas at once, as from a canvas of indices.
    std::uint8_t* MutablePixels() { return pixels_.data(); }
    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }
    std::size_t Stride() const { return static_cast<std::size_t>(width_) * 4; }
    std::size_t ByteSize() const { return pixels_.size(); }

protected:
    // Transparent black over the part of the region on the canvas.
    void ClearPart(const CanvasRegion& region);
    // Remembers the part of the picture a frame disposed to the previous one
    // covers (only that part changes before it is disposed)...
    void RememberPart(const CanvasRegion& region);
    // ...and puts it back once that frame has been shown.
    void PutBackRemembered();

private:
    std::uint32_t width_;
    std::uint32_t height_;
    std::vector<std::uint8_t> pixels_;
    std::vector<std::uint8_t> remembered_; // the part a "restore previous" frame covers, as it was
    CanvasRegion rememberedRegion_{};
    bool hasRemembered_ = false;
};

} // namespace Quivane
