// Arbitrary frame controls and pixels through the APNG canvas: regions are
// checked as the decoder checks them, and the picture stays valid
// premultiplied BGRA whatever the blend and dispose operations.
#include "FuzzInput.h"
#include "formats/png/ApngCanvas.h"

#include <cstdlib>

namespace {
// Mostly small; sometimes near the largest value, where sums overflow.
std::uint32_t Value(FuzzInput& in) {
    const std::uint8_t kind = in.Byte();
    if (kind & 0x80) return 0xFFFFFFFFu - in.Byte();
    return in.Byte() % 70;
}

const std::uint8_t kPiece = 0;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint32_t width = 1 + in.Byte() % 64;
    const std::uint32_t height = 1 + in.Byte() % 64;
    Quivane::ApngCanvas canvas(width, height);
    std::vector<std::uint8_t> pixels;
    for (int frame = 0; frame < 12 && !in.Empty(); ++frame) {
        Quivane::ApngFrameControl control;
        control.width = Value(in);
        control.height = Value(in);
        control.x_offset = Value(in);
        control.y_offset = Value(in);
        control.dispose_op = in.Byte() % 4;
        control.blend_op = in.Byte() % 3;
        control.pieces.push_back(Quivane::ByteSpan{&kPiece, 1});
        if (Quivane::IsSkippedControl(control) || !Quivane::ApngRegionFits(width, height, control)) continue;
        pixels.resize(static_cast<std::size_t>(control.width) * control.height * 4);
        for (std::size_t i = 0; i < pixels.size(); i += 4) {
            const std::uint8_t alpha = in.Byte();
            for (int c = 0; c < 3; ++c) pixels[i + c] = static_cast<std::uint8_t>(in.Byte() % (alpha + 1u));
            pixels[i + 3] = alpha;
        }
        canvas.Draw(control, pixels.data());
        const std::uint8_t* p = canvas.Pixels();
        for (std::size_t i = 0; i < canvas.ByteSize(); i += 4) {
            if (p[i] > p[i + 3] || p[i + 1] > p[i + 3] || p[i + 2] > p[i + 3]) std::abort();
        }
        canvas.Dispose(control);
    }
    return 0;
}
