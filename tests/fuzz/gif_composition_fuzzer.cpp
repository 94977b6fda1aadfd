// Feeds arbitrary frame placements, sizes, disposals and pixels through the
// GIF canvas and checks the picture stays valid premultiplied BGRA.
#include "FuzzInput.h"
#include "formats/gif/GifCanvas.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Far placements are what clipping must survive; sizes stay small so a run is fast.
std::uint32_t Coordinate(FuzzInput& in) {
    const std::uint8_t kind = in.Byte();
    switch (kind & 3) {
    case 0: return in.Byte() % 80;
    case 1: return in.U16();
    case 2: return 0xFFFFFFFFu - in.Byte();
    default: return static_cast<std::uint32_t>(in.U16()) << 16;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint32_t width = in.Byte() % 65;
    const std::uint32_t height = in.Byte() % 65;
    Quivane::GifCanvas canvas(width, height);
    std::vector<std::uint8_t> pixels;
    for (int frame = 0; frame < 16 && !in.Empty(); ++frame) {
        Quivane::GifFrameInfo info;
        info.left = Coordinate(in);
        info.top = Coordinate(in);
        info.width = in.Byte() % 90;
        info.height = in.Byte() % 90;
        info.disposal = in.Byte() % 9;
        pixels.resize(static_cast<std::size_t>(info.width) * info.height * 4);
        for (std::size_t i = 0; i < pixels.size(); i += 4) {
            // Premultiplied input: every colour byte at most the alpha.
            const std::uint8_t alpha = in.Byte();
            for (int c = 0; c < 3; ++c) pixels[i + c] = alpha ? static_cast<std::uint8_t>(in.Byte() % (alpha + 1)) : 0;
            pixels[i + 3] = alpha;
        }
        canvas.Compose(info, pixels.data());
        const std::uint8_t* p = canvas.Pixels();
        for (std::size_t i = 0; i < canvas.ByteSize(); i += 4) {
            if (p[i] > p[i + 3] || p[i + 1] > p[i + 3] || p[i + 2] > p[i + 3]) std::abort();
        }
        canvas.Dispose(info);
    }
    return 0;
}
