// Composes arbitrary GIF frames (placements, sizes, disposals, colour tables,
// transparent indices and indices) on a canvas of indices and on a canvas of
// colours, and checks that after every frame the first, turned into colours,
// is the second byte for byte.
#include "FuzzInput.h"
#include "formats/gif/GifIndexCanvas.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Mostly near the canvas; sometimes far past it, where clipping must hold.
std::uint32_t Coordinate(FuzzInput& in) {
    const std::uint8_t kind = in.Byte();
    return (kind & 3) == 3 ? 0xFFFFFF00u + in.Byte() : in.Byte() % 80;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint32_t width = in.Byte() % 65;
    const std::uint32_t height = in.Byte() % 65;
    std::vector<std::uint8_t> tables[3];
    for (auto& table : tables) {
        table.resize(3 * (std::size_t{in.Byte()} + 1));
        for (auto& byte : table) byte = in.Byte();
    }
    Quivane::GifCanvas colours(width, height);
    Quivane::GifIndexCanvas indices(width, height);
    std::vector<std::uint8_t> frameIndices;
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> shown(std::size_t{width} * height * 4);
    for (int frame = 0; frame < 16 && !in.Empty(); ++frame) {
        Quivane::GifFrameInfo info;
        info.left = Coordinate(in);
        info.top = Coordinate(in);
        info.width = in.Byte() % 90;
        info.height = in.Byte() % 90;
        info.disposal = in.Byte() % 9;
        const std::uint8_t choice = in.Byte() % 4;
        const std::uint8_t* table = choice < 3 ? tables[choice].data() : nullptr;
        const std::uint32_t entries = choice < 3 ? static_cast<std::uint32_t>(tables[choice].size() / 3) : 0;
        const std::uint8_t transparentByte = in.Byte();
        const std::int32_t transparent = transparentByte & 1 ? -1 : in.Byte();
        frameIndices.resize(std::size_t{info.width} * info.height);
        for (auto& index : frameIndices) index = in.Byte();

        const Quivane::CanvasRegion region = Quivane::ClipToCanvas(width, height, info);
        Quivane::GifFrameInfo placed = info;
        placed.width = region.columns;
        placed.height = region.rows;
        pixels.assign(std::size_t{region.columns} * region.rows * 4, 0);
        for (std::uint32_t y = 0; y < region.rows; ++y) {
            for (std::uint32_t x = 0; x < region.columns; ++x) {
                const std::uint8_t index = frameIndices[std::size_t{y} * info.width + x];
                if (table == nullptr || index >= entries || index == transparent) continue;
                const std::uint32_t colour = Quivane::GifOpaqueColour(table + std::size_t{index} * 3);
                std::memcpy(&pixels[(std::size_t{y} * region.columns + x) * 4], &colour, 4);
            }
        }
        colours.Compose(placed, pixels.data());
        if (!indices.BeginFrame(placed, table, entries, transparent)) std::abort(); // three tables always fit
        for (std::uint32_t y = 0; y < region.rows; ++y) indices.DrawRow(y, frameIndices.data() + std::size_t{y} * info.width);
        indices.WriteColours(shown.data());
        if (!shown.empty() && std::memcmp(shown.data(), colours.Pixels(), shown.size()) != 0) std::abort();
        colours.Dispose(placed);
        indices.Dispose(placed);
    }
    return 0;
}
