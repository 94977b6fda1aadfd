#include "formats/gif/GifIndexCanvas.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

using namespace Quivane;

namespace {

// What the canvas of colours gets for the same frame: indices outside the
// table and the transparent one become transparent pixels.
std::vector<std::uint8_t> FramePixels(const std::vector<std::uint8_t>& indices, std::uint32_t frameWidth,
                                      const CanvasRegion& region, const std::uint8_t* table, std::uint32_t entries,
                                      std::int32_t transparent) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(region.columns) * region.rows * 4, 0);
    for (std::uint32_t y = 0; y < region.rows; ++y) {
        for (std::uint32_t x = 0; x < region.columns; ++x) {
            const std::uint8_t index = indices[static_cast<std::size_t>(y) * frameWidth + x];
            if (table == nullptr || index >= entries || index == transparent) continue;
            const std::uint32_t colour = GifOpaqueColour(table + index * 3);
            std::memcpy(&pixels[(static_cast<std::size_t>(y) * region.columns + x) * 4], &colour, 4);
        }
    }
    return pixels;
}

} // namespace

// Random placements (some off the canvas), tables, transparent indices and
// disposals: after every frame, the canvas of indices turned into colours is
// the canvas of colours, byte for byte.
TEST(GifIndexCanvas, GivesTheSamePictureAsTheCanvasOfColours) {
    std::mt19937 random(7);
    const auto below = [&random](std::uint32_t n) { return static_cast<std::uint32_t>(random() % n); };
    for (int sequence = 0; sequence < 300; ++sequence) {
        const std::uint32_t width = 1 + below(40);
        const std::uint32_t height = 1 + below(40);
        std::vector<std::vector<std::uint8_t>> tables(3);
        for (auto& table : tables) {
            table.resize(3 * (1 + below(256)));
            for (auto& byte : table) byte = static_cast<std::uint8_t>(random());
        }
        GifCanvas colours(width, height);
        GifIndexCanvas indices(width, height);
        std::vector<std::uint8_t> shown(static_cast<std::size_t>(width) * height * 4);
        for (int frame = 0; frame < 12; ++frame) {
            GifFrameInfo info;
            info.left = below(4) == 0 ? 0xFFFFFF00u + below(256) : below(width + 10);
            info.top = below(height + 10);
            info.width = below(50);
            info.height = below(50);
            info.disposal = below(5);
            const std::uint32_t choice = below(4);
            const std::uint8_t* table = choice < 3 ? tables[choice].data() : nullptr;
            const std::uint32_t entries = choice < 3 ? static_cast<std::uint32_t>(tables[choice].size() / 3) : 0;
            const std::int32_t transparent = below(3) == 0 ? -1 : static_cast<std::int32_t>(below(256));
            std::vector<std::uint8_t> frameIndices(static_cast<std::size_t>(info.width) * info.height);
            for (auto& index : frameIndices) index = static_cast<std::uint8_t>(below(3) == 0 ? random() : below(8));

            const CanvasRegion region = ClipToCanvas(width, height, info);
            GifFrameInfo placed = info;
            placed.width = region.columns;
            placed.height = region.rows;
            colours.Compose(placed, FramePixels(frameIndices, info.width, region, table, entries, transparent).data());
            ASSERT_TRUE(indices.BeginFrame(placed, table, entries, transparent));
            for (std::uint32_t y = 0; y < region.rows; ++y) {
                indices.DrawRow(y, frameIndices.data() + static_cast<std::size_t>(y) * info.width);
            }
            indices.WriteColours(shown.data());
            ASSERT_EQ(0, std::memcmp(shown.data(), colours.Pixels(), shown.size())) << "sequence " << sequence << " frame " << frame;
            colours.Dispose(placed);
            indices.Dispose(placed);
        }
        indices.WriteColours(shown.data());
        ASSERT_EQ(0, std::memcmp(shown.data(), colours.Pixels(), shown.size())) << "sequence " << sequence << " disposed";
    }
}

// A cell keeps its table in one byte: a table past the last slot is refused
// with the canvas unchanged, while the tables already seen still draw.
TEST(GifIndexCanvas, RefusesATableItCannotTellApart) {
    std::vector<std::uint8_t> tables(3 * 256);
    for (std::size_t i = 0; i < tables.size(); ++i) tables[i] = static_cast<std::uint8_t>(i);
    GifIndexCanvas canvas(2, 1);
    GifFrameInfo info;
    info.width = 1;
    info.height = 1;
    const std::uint8_t index = 0;
    for (std::uint32_t t = 0; t < 255; ++t) {
        ASSERT_TRUE(canvas.BeginFrame(info, &tables[t * 3], 1, -1)) << t;
        canvas.DrawRow(0, &index);
    }
    info.left = 1;
    EXPECT_FALSE(canvas.BeginFrame(info, &tables[255 * 3], 1, -1));
    EXPECT_TRUE(canvas.BeginFrame(info, &tables[3], 1, -1));
    canvas.DrawRow(0, &index);
    std::uint8_t shown[8];
    canvas.WriteColours(shown);
    const std::uint32_t last = GifOpaqueColour(&tables[254 * 3]);
    const std::uint32_t second = GifOpaqueColour(&tables[3]);
    EXPECT_EQ(0, std::memcmp(shown, &last, 4));
    EXPECT_EQ(0, std::memcmp(shown + 4, &second, 4));
}
