// The GIF decoder on files: every frame decoded and composed on the canvas
// as the frame source composes them (each image's part on the canvas decoded
// into a cleared frame, drawn, disposed). Registered per file named in
// QUIVANE_BENCH_GIFS (paths separated by ':'); none without it.
#include "formats/gif/GifComposition.h"
#include "formats/gif/GifControlBlocks.h"
#include "formats/gif/GifImageDecoder.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace Quivane;

struct GifFile {
    std::vector<std::uint8_t> bytes;
    GifLayout layout;
};

void DecodeEveryFrame(benchmark::State& state, const std::shared_ptr<GifFile>& file) {
    const GifLayout& layout = file->layout;
    GifImageDecoder decoder;
    std::vector<std::uint8_t> frame;
    for (auto _ : state) {
        GifCanvas canvas(layout.screenWidth, layout.screenHeight);
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
            frame.assign(static_cast<std::size_t>(info.width) * info.height * 4, 0);
            if (info.height > 0) {
                (void)decoder.Decode(file->bytes.data(), file->bytes.size(), image,
                                     ReadGifColours(file->bytes.data(), file->bytes.size(), image), info.width,
                                     info.height, frame.data());
            }
            canvas.Compose(info, frame.data());
            benchmark::DoNotOptimize(canvas.Pixels());
            canvas.Dispose(info);
        }
    }
    state.counters["frames"] = static_cast<double>(layout.images.size());
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.substr(0, name.rfind('.'));
}

const bool kRegistered = [] {
    const char* list = std::getenv("QUIVANE_BENCH_GIFS");
    if (list == nullptr) return false;
    std::string rest = list;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string path = rest.substr(0, colon);
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
        auto file = std::make_shared<GifFile>();
        std::ifstream in(path, std::ios::binary);
        file->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        file->layout = ReadGifLayout(file->bytes.data(), file->bytes.size());
        if (path.empty() || !file->layout.valid) continue;
        benchmark::RegisterBenchmark(("BM_GifDecode/" + BaseName(path)).c_str(), DecodeEveryFrame, file)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace
