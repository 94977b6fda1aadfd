// The GIF decoder on files: every frame decoded and composed on the canvas
// as the frame source composes them: drawn straight over the canvas where the
// decoder can (DrawOver), else decoded into a cleared frame and blended; then
// disposed. Built against older sources too, for the before and after. Registered per file named in
// QUIVANE_BENCH_GIFS (paths separated by ':'); none without it. BM_GifWholeFile
// also reads the file's layout each time, as libav's row beside it must.
// Built against the decoders before and after the canvas got its own file.
#if __has_include("formats/gif/GifCanvas.h")
#include "formats/gif/GifCanvas.h"
#else
#include "formats/gif/GifComposition.h"
#endif
#include "formats/gif/GifControlBlocks.h"
#include "formats/gif/GifImageDecoder.h"
#include "BenchFiles.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace Quivane;

struct GifFile {
    std::vector<std::uint8_t> bytes;
    GifLayout layout;
};

// The frame drawn straight over the canvas.
template <class Decoder, class Canvas>
auto Draw(Decoder& decoder, const GifFile& file, const GifImageLayout& image, const GifFrameInfo& info,
          Canvas& canvas, std::vector<std::uint8_t>&, int) -> decltype(decoder.DrawOver(nullptr, 0, image, GifColours{}, 0, 0, nullptr, 0, std::declval<bool&>()), void()) {
    canvas.BeginFrame(info);
    bool everyPixelOpaque = false;
    if (info.width == 0 || info.height == 0) return;
    (void)decoder.DrawOver(file.bytes.data(), file.bytes.size(), image,
                           ReadGifColours(file.bytes.data(), file.bytes.size(), image), info.width, info.height,
                           canvas.MutablePixels() + info.top * canvas.Stride() + info.left * 4, canvas.Stride(),
                           everyPixelOpaque);
}

// A decoder without it: a cleared frame, decoded into, blended over the canvas.
template <class Decoder>
void Draw(Decoder& decoder, const GifFile& file, const GifImageLayout& image, const GifFrameInfo& info,
          GifCanvas& canvas, std::vector<std::uint8_t>& frame, long) {
    frame.assign(static_cast<std::size_t>(info.width) * info.height * 4, 0);
    if (info.height > 0) {
        (void)decoder.Decode(file.bytes.data(), file.bytes.size(), image,
                             ReadGifColours(file.bytes.data(), file.bytes.size(), image), info.width, info.height,
                             frame.data());
    }
    canvas.Compose(info, frame.data());
}

// `readsLayout`: the file's blocks walked again each time, as a whole decode from its bytes does.
void DecodeEveryFrame(benchmark::State& state, const std::shared_ptr<GifFile>& file, bool readsLayout) {
    GifLayout layout = file->layout;
    GifImageDecoder decoder;
    std::vector<std::uint8_t> frame;
    // One canvas throughout, as a frame source keeps it: each round starts
    // from the last round's picture, which every first frame covers alike.
    GifCanvas canvas(layout.screenWidth, layout.screenHeight);
    for (auto _ : state) {
        if (readsLayout) layout = ReadGifLayout(file->bytes.data(), file->bytes.size());
        for (const GifImageLayout& image : layout.images) {
            GifFrameInfo info;
            info.left = image.left;
            info.top = image.top;
            info.width = image.width;
            info.height = image.height;
            info.disposal = image.control.present ? image.control.disposal : 0;
            const CanvasRegion region = ClipToCanvas(layout.screenWidth, layout.screenHeight, info);
            info.width = region.columns;
            info.height = region.rows;
            Draw(decoder, *file, image, info, canvas, frame, 0);
            benchmark::DoNotOptimize(canvas.Pixels());
            canvas.Dispose(info);
        }
    }
}

const bool kRegistered = QuivaneBench::ForEachBenchFile("QUIVANE_BENCH_GIFS", [](const std::string& path,
                                                                                const std::string& name) {
    auto file = std::make_shared<GifFile>();
    std::ifstream in(path, std::ios::binary);
    file->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    file->layout = ReadGifLayout(file->bytes.data(), file->bytes.size());
    if (!file->layout.valid) return;
    benchmark::RegisterBenchmark(("BM_GifDecode/" + name).c_str(), DecodeEveryFrame, file, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_GifWholeFile/" + name).c_str(), DecodeEveryFrame, file, true)
        ->Unit(benchmark::kMillisecond);
});

} // namespace
