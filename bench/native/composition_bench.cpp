// Compositing one full 1280x720 GIF frame, next to copying the same bytes.
#include "formats/gif/GifCanvas.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kWidth = 1280;
constexpr std::uint32_t kHeight = 720;
constexpr std::size_t kBytes = static_cast<std::size_t>(kWidth) * kHeight * 4;

enum class Content { Opaque, BinaryAlpha, Translucent };

std::vector<std::uint8_t> MakeFrame(Content content) {
    std::vector<std::uint8_t> pixels(kBytes);
    for (std::size_t i = 0; i < kBytes; i += 4) {
        const std::size_t pixel = i / 4;
        std::uint8_t alpha = 255;
        if (content == Content::BinaryAlpha) alpha = ((pixel * 2654435761u) >> 13) & 1 ? 255 : 0; // ~half transparent
        if (content == Content::Translucent) alpha = static_cast<std::uint8_t>(pixel * 7);
        for (int c = 0; c < 3; ++c) pixels[i + c] = static_cast<std::uint8_t>((pixel * (c + 3)) % (alpha + 1u));
        pixels[i + 3] = alpha;
    }
    return pixels;
}

void ComposeFullFrame(benchmark::State& state, Content content) {
    const std::vector<std::uint8_t> frame = MakeFrame(content);
    Quivane::GifCanvas canvas(kWidth, kHeight);
    Quivane::GifFrameInfo info;
    info.width = kWidth;
    info.height = kHeight;
    for (auto _ : state) {
        canvas.Compose(info, frame.data());
        benchmark::DoNotOptimize(canvas.Pixels());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kBytes));
}

void BM_Memcpy1280x720(benchmark::State& state) {
    std::vector<std::uint8_t> source = MakeFrame(Content::Opaque);
    std::vector<std::uint8_t> target(kBytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), kBytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kBytes));
}

void BM_ComposeOpaque1280x720(benchmark::State& state) { ComposeFullFrame(state, Content::Opaque); }
void BM_ComposeBinaryAlpha1280x720(benchmark::State& state) { ComposeFullFrame(state, Content::BinaryAlpha); }
void BM_ComposeTranslucent1280x720(benchmark::State& state) { ComposeFullFrame(state, Content::Translucent); }

} // namespace

BENCHMARK(BM_Memcpy1280x720)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComposeOpaque1280x720)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComposeBinaryAlpha1280x720)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComposeTranslucent1280x720)->Unit(benchmark::kMicrosecond);
