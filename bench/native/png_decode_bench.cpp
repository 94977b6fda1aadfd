// The PNG decoder on files: every frame's rows inflated, unfiltered and
// converted (the whole decode, row by row, as a preview or a thumbnail reads
// them; no compositing), and, as a yardstick, Debian's libdeflate inflating
// the same frames' data whole into one buffer. Registered per file named in
// QUIVANE_BENCH_PNGS (paths separated by ':'); none without it.
#include "formats/png/PngChunks.h"
#include "formats/png/PngImageDecoder.h"
#include "BenchFiles.h"

#include <benchmark/benchmark.h>
#if QUIVANE_BENCH_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace Quivane;

struct PngFile {
    std::vector<std::uint8_t> bytes;
    ApngParseState state;
    PngImageFormat format;
    PngColours colours;
    std::vector<const std::vector<ByteSpan>*> frames; // every image the file holds, its data in pieces
    std::vector<PngImageFormat> frameFormats;
};

std::shared_ptr<PngFile> Load(const std::string& path) {
    auto file = std::make_shared<PngFile>();
    std::ifstream in(path, std::ios::binary);
    file->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (ParseApngChunks(file->bytes.data(), file->bytes.size(), file->state, [] { return false; }) !=
            ChunkWalkResult::Ok ||
        !ReadPngImageFormat(file->state.ihdr, file->format) ||
        !ReadPngColours(file->format, file->state.ancillaryChunks, file->colours)) {
        return nullptr;
    }
    if (file->state.controls.empty() || file->state.defaultImageHidden) {
        file->frames.push_back(&file->state.imagePieces);
        file->frameFormats.push_back(file->format);
    }
    for (const ApngFrameControl& control : file->state.controls) {
        file->frames.push_back(&control.pieces);
        PngImageFormat format = file->format;
        format.width = control.width;
        format.height = control.height;
        file->frameFormats.push_back(format);
    }
    return file;
}

void DecodeEveryFrame(benchmark::State& state, const std::shared_ptr<PngFile>& file) {
    PngImageDecoder decoder;
    std::uint64_t pixels = 0;
    for (auto _ : state) {
        std::uint32_t seen = 0;
        for (std::size_t i = 0; i < file->frames.size(); ++i) {
            const PngImageEnd end = decoder.Decode(file->frameFormats[i], file->colours, *file->frames[i],
                                                   [&](std::uint32_t, std::uint32_t, std::uint32_t,
                                                       const std::uint8_t* bgra, std::uint32_t count) {
                                                       seen += bgra[(count - 1) * 4];
                                                       return true;
                                                   });
            if (end != PngImageEnd::Complete) state.SkipWithError("the decoder failed");
        }
        benchmark::DoNotOptimize(seen);
    }
    for (const PngImageFormat& format : file->frameFormats) pixels += std::uint64_t{format.width} * format.height;
    state.counters["Mpixels"] = static_cast<double>(pixels) / 1e6;
}

#if QUIVANE_BENCH_LIBDEFLATE
// The size of an image's inflated data: its rows, each behind a filter byte, pass by pass.
std::size_t InflatedSize(const PngImageFormat& format) {
    static constexpr std::uint32_t kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                                    {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    static constexpr std::uint32_t kWhole[1][4] = {{0, 0, 1, 1}};
    const unsigned channels[] = {1, 0, 3, 1, 2, 0, 4};
    const std::uint64_t bits = std::uint64_t{channels[format.colourType]} * format.bitDepth;
    std::size_t size = 0;
    const auto* passes = format.interlaced ? kPasses : kWhole;
    for (int p = 0; p < (format.interlaced ? 7 : 1); ++p) {
        if (format.width <= passes[p][0] || format.height <= passes[p][1]) continue;
        const std::uint64_t columns = (format.width - passes[p][0] + passes[p][2] - 1) / passes[p][2];
        const std::uint64_t rows = (format.height - passes[p][1] + passes[p][3] - 1) / passes[p][3];
        size += static_cast<std::size_t>(rows * (1 + (columns * bits + 7) / 8));
    }
    return size;
}

void LibdeflateWhole(benchmark::State& state, const std::shared_ptr<PngFile>& file) {
    std::vector<std::vector<std::uint8_t>> inputs;
    std::vector<std::vector<std::uint8_t>> outputs;
    for (std::size_t i = 0; i < file->frames.size(); ++i) {
        inputs.emplace_back();
        for (const ByteSpan& piece : *file->frames[i]) inputs.back().insert(inputs.back().end(), piece.data, piece.data + piece.size);
        outputs.emplace_back(InflatedSize(file->frameFormats[i]));
    }
    std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    for (auto _ : state) {
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            // The deflate data behind the zlib header, as the decoder inflates it.
            if (inputs[i].size() < 2 ||
                libdeflate_deflate_decompress_ex(inflater.get(), inputs[i].data() + 2, inputs[i].size() - 2,
                                                 outputs[i].data(), outputs[i].size(), nullptr,
                                                 nullptr) != LIBDEFLATE_SUCCESS) {
                state.SkipWithError("libdeflate failed");
            }
        }
        benchmark::DoNotOptimize(outputs.back().data());
    }
}
#endif

const bool kRegistered = QuivaneBench::ForEachBenchFile("QUIVANE_BENCH_PNGS", [](const std::string& path,
                                                                                const std::string& name) {
    const std::shared_ptr<PngFile> file = Load(path);
    if (!file) return;
    benchmark::RegisterBenchmark(("BM_PngDecode/" + name).c_str(), DecodeEveryFrame, file)->Unit(benchmark::kMillisecond);
#if QUIVANE_BENCH_LIBDEFLATE
    benchmark::RegisterBenchmark(("BM_LibdeflateWhole/" + name).c_str(), LibdeflateWhole, file)
        ->Unit(benchmark::kMillisecond);
#endif
});

} // namespace
