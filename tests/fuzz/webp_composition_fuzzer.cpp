// Arbitrary bytes as a WebP file through our demuxing and composition: every
// frame the container lists is drawn and disposed on the canvas, which stays
// valid premultiplied BGRA; bad frames are refused, never written past.
#include "formats/webp/WebPAnimation.h"
#include "formats/webp/WebPCanvas.h"
#include "imaging/CanvasLimits.h"

#include <cstdlib>

namespace {
// Keeps each run within the fuzzer's memory: the product checks canvases against the machine's memory.
constexpr std::uint64_t kFuzzMemory = 256ull << 20;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Quivane::WebPAnimation animation;
    if (!animation.Parse(data, size)) return 0;
    if (!Quivane::CanvasFits(animation.CanvasWidth(), animation.CanvasHeight(), kFuzzMemory)) return 0;
    Quivane::WebPCanvas canvas(animation.CanvasWidth(), animation.CanvasHeight());
    for (const Quivane::WebPFrameInfo& frame : animation.Frames()) {
        if (frame.x + static_cast<std::uint64_t>(frame.width) > canvas.Width() ||
            frame.y + static_cast<std::uint64_t>(frame.height) > canvas.Height()) {
            std::abort(); // the demuxing lets no frame off the canvas
        }
        if (canvas.Draw(frame) != Quivane::WebPDrawResult::Drawn) break;
        const std::uint8_t* p = canvas.Pixels();
        for (std::size_t i = 0; i < canvas.ByteSize(); i += 4) {
            if (p[i] > p[i + 3] || p[i + 1] > p[i + 3] || p[i + 2] > p[i + 3]) std::abort();
        }
        canvas.Dispose(frame);
    }
    return 0;
}
