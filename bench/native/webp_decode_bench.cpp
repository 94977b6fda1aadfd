// Animated WebP on files, every frame composed: ours (the container read,
// then each frame drawn on the canvas, handed out and disposed of, as the
// frame source composes them) beside libwebp's own animation decoder
// (WebPAnimDecoder, the same libwebp) in the same process, both to
// premultiplied BGRA, both handing out a pointer to their canvas. Registered
// per file named in QUIVANE_BENCH_WEBPS (paths separated by ':'); none without it.
#include "formats/webp/WebPAnimation.h"
#include "formats/webp/WebPCanvas.h"
#include "BenchFiles.h"

#include <benchmark/benchmark.h>
#include <webp/demux.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace Quivane;

using Bytes = std::vector<std::uint8_t>;

void OursEveryFrame(benchmark::State& state, const std::shared_ptr<Bytes>& file) {
    for (auto _ : state) {
        WebPAnimation animation;
        if (!animation.Parse(file->data(), file->size())) {
            state.SkipWithError("not a WebP animation");
            return;
        }
        WebPCanvas canvas(animation.CanvasWidth(), animation.CanvasHeight());
        for (const WebPFrameInfo& frame : animation.Frames()) {
            if (canvas.Draw(frame) != WebPDrawResult::Drawn) {
                state.SkipWithError("a frame did not decode");
                return;
            }
            benchmark::DoNotOptimize(canvas.Pixels());
            canvas.Dispose(frame);
        }
    }
}

struct AnimDecoderDelete {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

void LibwebpEveryFrame(benchmark::State& state, const std::shared_ptr<Bytes>& file) {
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_bgrA;
    options.use_threads = 0; // ours decodes on one thread too
    const WebPData data{file->data(), file->size()};
    for (auto _ : state) {
        std::unique_ptr<WebPAnimDecoder, AnimDecoderDelete> decoder(WebPAnimDecoderNew(&data, &options));
        if (!decoder) {
            state.SkipWithError("libwebp cannot open it");
            return;
        }
        while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
            std::uint8_t* pixels = nullptr;
            int timestamp = 0;
            if (!WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp)) {
                state.SkipWithError("libwebp: a frame did not decode");
                return;
            }
            benchmark::DoNotOptimize(pixels);
        }
    }
}

const bool kRegistered = QuivaneBench::ForEachBenchFile("QUIVANE_BENCH_WEBPS", [](const std::string& path,
                                                                                 const std::string& name) {
    std::ifstream in(path, std::ios::binary);
    auto file = std::make_shared<Bytes>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    benchmark::RegisterBenchmark(("BM_WebPDecode/" + name).c_str(), OursEveryFrame, file)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_WebPAnimDecoder/" + name).c_str(), LibwebpEveryFrame, file)
        ->Unit(benchmark::kMillisecond);
});

} // namespace
