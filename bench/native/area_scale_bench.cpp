// Scaling one composited video-sized frame to a 256-pixel thumbnail.
#include "imaging/AreaScale.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// Translucent premultiplied content, so no channel is trivially 0 or 255.
std::vector<std::uint8_t> MakeFrame(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        const std::size_t pixel = i / 4;
        const auto alpha = static_cast<std::uint8_t>(pixel * 7);
        for (int c = 0; c < 3; ++c) pixels[i + c] = static_cast<std::uint8_t>((pixel * (c + 3)) % (alpha + 1u));
        pixels[i + 3] = alpha;
    }
    return pixels;
}

void ScaleToThumbnail(benchmark::State& state, std::uint32_t width, std::uint32_t height) {
    constexpr std::uint32_t kThumbWidth = 256, kThumbHeight = 144;
    const std::vector<std::uint8_t> frame = MakeFrame(width, height);
    std::vector<std::uint8_t> thumbnail(static_cast<std::size_t>(kThumbWidth) * kThumbHeight * 4);
    for (auto _ : state) {
        const bool scaled = Quivane::ScalePremultipliedBgra(frame.data(), width, height, std::size_t{width} * 4,
                                                            thumbnail.data(), kThumbWidth, kThumbHeight,
                                                            std::size_t{kThumbWidth} * 4);
        benchmark::DoNotOptimize(scaled);
        benchmark::DoNotOptimize(thumbnail.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(frame.size()));
}

void BM_Scale1280x720To256x144(benchmark::State& state) { ScaleToThumbnail(state, 1280, 720); }
void BM_Scale1920x1080To256x144(benchmark::State& state) { ScaleToThumbnail(state, 1920, 1080); }

} // namespace

BENCHMARK(BM_Scale1280x720To256x144)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scale1920x1080To256x144)->Unit(benchmark::kMillisecond);
