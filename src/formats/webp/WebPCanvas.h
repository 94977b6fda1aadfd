#pragma once
// The WebP canvas: each frame decoded to premultiplied BGRA and put
// on the canvas by its blend rule (alpha-blended over it, or replacing its
// region), then disposed of (kept, or its region made transparent).
#include "WebPAnimation.h"
#include "imaging/CompositionCanvas.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace Quivane {

enum class WebPDrawResult { Drawn, Undecodable, Stopped };

// Asked between slices of a frame's bitstream: true ends the frame's decoding.
using WebPStopCheck = std::function<bool()>;

class WebPCanvas final : public CompositionCanvas {
public:
    using CompositionCanvas::CompositionCanvas;

    // Decodes the frame onto the canvas; Undecodable when it lies off the
    // canvas or its bitstream does not decode, Stopped when `stop` said so
    // (its region is then partly drawn). Throws std::bad_alloc when a
    // blended frame's pixels cannot be held.
    WebPDrawResult Draw(const WebPFrameInfo& frame, const WebPStopCheck& stop = {});
    // Applies the frame's disposal after its picture has been taken.
    void Dispose(const WebPFrameInfo& frame);

private:
    std::vector<std::uint8_t> frame_; // a blended frame's own pixels, straight alpha
};

// The bitstream is handed to the decoder this much at a time, `stop` asked between.
constexpr std::size_t kWebPDecodeSlice = 4096;

// Whether a decoded frame's colours are multiplied by its alpha.
enum class WebPAlpha { Premultiplied, Straight };

// Decodes a frame's bitstream, which must be width x height, into BGRA rows
// `stride` bytes apart at `pixels`.
WebPDrawResult DecodeWebPFrame(const WebPFrameInfo& frame, WebPAlpha alpha, std::uint8_t* pixels, std::size_t stride,
                               const WebPStopCheck& stop = {});

} // namespace Quivane
