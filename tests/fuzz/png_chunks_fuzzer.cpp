// Arbitrary bytes through the PNG chunk walk and the decoding of every frame
// it finds: no read outside the data, and every run the decoder hands out
// lies inside the frame.
#include "formats/png/PngChunks.h"
#include "formats/png/PngImageDecoder.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Quivane::ApngParseState state;
    if (Quivane::ParseApngChunks(data, size, state, [] { return false; }) != Quivane::ChunkWalkResult::Ok) return 0;
    Quivane::PngImageFormat format;
    Quivane::PngColours colours;
    if (!Quivane::ReadPngImageFormat(state.ihdr, format)) return 0;
    Quivane::ReadPngColours(format, state.ancillaryChunks, colours);
    Quivane::PngImageDecoder decoder;
    for (const auto& control : state.controls) {
        // Frames are checked against the canvas limit before they are decoded; keep the fuzzer's rows small.
        if (control.width == 0 || control.height == 0 || control.width > 4096 || control.height > 4096) continue;
        format.width = control.width;
        format.height = control.height;
        decoder.Decode(format, colours, control.pieces,
                       [&](std::uint32_t row, std::uint32_t first, std::uint32_t step, const std::uint8_t* bgra,
                           std::uint32_t count) {
                           if (row >= format.height || count == 0 || step == 0 ||
                               first + static_cast<std::uint64_t>(count - 1) * step >= format.width) {
                               std::abort();
                           }
                           volatile std::uint8_t last = bgra[count * 4 - 1];
                           (void)last;
                           return true;
                       });
    }
    return 0;
}
