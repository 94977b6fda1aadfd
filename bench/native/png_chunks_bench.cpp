// The APNG chunk walk over a 20 MB file in memory, and CRC-32 throughput.
#include "PngWriter.h"
#include "formats/png/PngChunks.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// 20 MB of animation: an IHDR, then fcTL + fdAT pairs with 64 KiB of data each.
std::vector<std::uint8_t> LargeApng() {
    std::vector<std::uint8_t> bytes(std::begin(Quivane::kPngSignature), std::end(Quivane::kPngSignature));
    const std::uint8_t ihdr[13] = {0, 0, 1, 0, 0, 0, 1, 0, 8, 6, 0, 0, 0};
    QuivaneTest::AppendPngChunk(bytes, "IHDR", ihdr, sizeof(ihdr));
    const std::uint8_t actl[8] = {};
    QuivaneTest::AppendPngChunk(bytes, "acTL", actl, sizeof(actl));
    std::vector<std::uint8_t> fctl(26, 0), fdat(4 + 65536);
    for (std::size_t i = 0; i < fdat.size(); ++i) fdat[i] = static_cast<std::uint8_t>(i * 131);
    while (bytes.size() < 20u * 1024 * 1024) {
        QuivaneTest::AppendPngChunk(bytes, "fcTL", fctl.data(), fctl.size());
        QuivaneTest::AppendPngChunk(bytes, "fdAT", fdat.data(), fdat.size());
    }
    QuivaneTest::AppendPngChunk(bytes, "IEND", nullptr, 0);
    return bytes;
}

void BM_ChunkWalk20MB(benchmark::State& state) {
    const std::vector<std::uint8_t> file = LargeApng();
    for (auto _ : state) {
        Quivane::ApngParseState parsed;
        const auto result = Quivane::ParseApngChunks(file.data(), file.size(), parsed, [] { return false; });
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(parsed.controls.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(file.size()));
}

void BM_Crc32(benchmark::State& state) {
    std::vector<std::uint8_t> data(4u * 1024 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    for (auto _ : state) benchmark::DoNotOptimize(QuivaneTest::PngCrc32(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

} // namespace

BENCHMARK(BM_ChunkWalk20MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32)->Unit(benchmark::kMillisecond);
