// Arbitrary bytes through the GIF block walk and the image decoder: no read
// or write outside the data and the region, never more entries than the data
// could hold images, and every clipped image region on the logical screen.
#include "formats/gif/GifControlBlocks.h"
#include "formats/gif/GifImageDecoder.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto blocks = Quivane::ReadGifControlBlocks(data, size);
    if (blocks.size() > size / 11) std::abort();
    for (const auto& block : blocks) {
        if (block.disposal > 7 || block.delayHundredths > 0xFFFF) std::abort();
    }

    const Quivane::GifLayout layout = Quivane::ReadGifLayout(data, size);
    if (layout.images.size() != blocks.size() || layout.images.size() > size / 10) std::abort();
    if (!layout.valid && (!layout.images.empty() || layout.reachedTrailer)) std::abort();
    if (layout.screenWidth > 0xFFFF || layout.screenHeight > 0xFFFF) std::abort();
    for (std::size_t i = 0; i < layout.images.size(); ++i) {
        const Quivane::GifImageLayout& image = layout.images[i];
        if (image.control.present != blocks[i].present || image.control.disposal != blocks[i].disposal) std::abort();
        if (image.hasColourTable != (image.localColourTable || layout.globalColourTable)) std::abort();
        // Only the last entry may have been cut short.
        if (!image.dataComplete && i + 1 != layout.images.size()) std::abort();
        const Quivane::CanvasRegion region = Quivane::GifImageRegionOnScreen(layout, image);
        if ((region.columns == 0) != (region.rows == 0)) std::abort();
        if (region.columns > 0 && (region.left + region.columns > layout.screenWidth ||
                                   region.top + region.rows > layout.screenHeight ||
                                   region.columns > image.width || region.rows > image.height)) {
            std::abort();
        }
        // Decoded into a region of exactly its size, so that any stray write is caught.
        const std::uint32_t columns = std::min<std::uint32_t>(region.columns, 64);
        const std::uint32_t rows = std::min<std::uint32_t>(region.rows, 64);
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(columns) * rows * 4);
        static Quivane::GifImageDecoder decoder;
        const Quivane::GifImageEnd end =
            decoder.Decode(data, size, image, Quivane::ReadGifColours(data, size, image), columns, rows, pixels.data());
        // A decode that reached the rows asked for gave at least the first one whole.
        if (end == Quivane::GifImageEnd::Complete && rows > 0 && !decoder.DecodesARow(data, size, image)) std::abort();
    }
    return 0;
}
