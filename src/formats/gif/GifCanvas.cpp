#include "GifCanvas.h"

#include <algorithm>
#include <limits>

namespace Quivane {

std::uint32_t GifDelayMs(std::uint32_t hundredths) {
    const std::uint64_t ms = static_cast<std::uint64_t>(hundredths) * 10;
    if (ms < 10) return 10;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, std::numeric_limits<std::uint32_t>::max()));
}

void GifCanvas::BeginFrame(const GifFrameInfo& frame) {
    if (frame.disposal == kGifDisposeToPrevious) RememberPart(ClipToCanvas(Width(), Height(), frame));
}

void GifCanvas::Compose(const GifFrameInfo& frame, const std::uint8_t* pixels) {
    BeginFrame(frame);
    const CanvasRegion region = ClipToCanvas(Width(), Height(), frame);
    BlendOverPremultiplied(MutablePixels(), Stride(), region, pixels, static_cast<std::size_t>(frame.width) * 4);
}

void GifCanvas::Dispose(const GifFrameInfo& frame) {
    if (frame.disposal == kGifDisposeToTransparent) {
        ClearPart(CanvasRegion{frame.left, frame.top, frame.width, frame.height});
    } else if (frame.disposal == kGifDisposeToPrevious) {
        PutBackRemembered();
    }
}

} // namespace Quivane
