// Arbitrary bytes through the PNG chunk walk and the decoding of every frame
// it finds: no read outside the data, every run the decoder hands out lies
// inside the frame, and a frame inflated whole (libdeflate) hands out the
// same runs and ends the same as when it is inflated a few rows at a time.
#include "formats/png/PngChunks.h"
#include "formats/png/PngImageDecoder.h"

#include <cstdlib>
#include <vector>

namespace {

// Every run as place and pixels, checked to lie inside the frame.
Quivane::PngImageEnd Decode(Quivane::PngImageDecoder& decoder, const Quivane::PngImageFormat& format,
                            const Quivane::PngColours& colours, const std::vector<Quivane::ByteSpan>& pieces,
                            std::size_t wholeFrameLimit, std::vector<std::uint8_t>& runs) {
    runs.clear();
    return decoder.Decode(
        format, colours, pieces,
        [&](std::uint32_t row, std::uint32_t first, std::uint32_t step, const std::uint8_t* bgra, std::uint32_t count) {
            if (row >= format.height || count == 0 || step == 0 ||
                first + static_cast<std::uint64_t>(count - 1) * step >= format.width) {
                std::abort();
            }
            for (std::uint32_t value : {row, first, step}) runs.push_back(static_cast<std::uint8_t>(value));
            runs.insert(runs.end(), bgra, bgra + std::size_t{count} * 4);
            return true;
        },
        wholeFrameLimit);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Quivane::ApngParseState state;
    if (Quivane::ParseApngChunks(data, size, state, [] { return false; }) != Quivane::ChunkWalkResult::Ok) return 0;
    Quivane::PngImageFormat format;
    Quivane::PngColours colours;
    if (!Quivane::ReadPngImageFormat(state.ihdr, format)) return 0;
    Quivane::ReadPngColours(format, state.ancillaryChunks, colours);
    static Quivane::PngImageDecoder whole;
    static Quivane::PngImageDecoder streamed;
    static std::vector<std::uint8_t> wholeRuns, streamedRuns;
    std::vector<std::pair<Quivane::PngImageFormat, const std::vector<Quivane::ByteSpan>*>> frames;
    frames.emplace_back(format, &state.imagePieces);
    for (const auto& control : state.controls) {
        format.width = control.width;
        format.height = control.height;
        frames.emplace_back(format, &control.pieces);
    }
    for (const auto& frame : frames) {
        // Frames are checked against the canvas limit before they are decoded; keep the fuzzer's rows small.
        const Quivane::PngImageFormat& f = frame.first;
        if (f.width == 0 || f.height == 0 || f.width > 4096 || f.height > 4096) continue;
        const auto wholeEnd = Decode(whole, f, colours, *frame.second, Quivane::kPngWholeFrameLimit, wholeRuns);
        const auto streamedEnd = Decode(streamed, f, colours, *frame.second, 0, streamedRuns);
        if (wholeEnd != streamedEnd || wholeRuns != streamedRuns) std::abort();
    }
    return 0;
}
