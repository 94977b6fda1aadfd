// Arbitrary bytes through the GIF block walk: no read outside the data, and
// never more entries than the data could hold images.
#include "renderers/GifControlBlocks.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto blocks = Quivane::ReadGifControlBlocks(data, size);
    if (blocks.size() > size / 11) std::abort();
    for (const auto& block : blocks) {
        if (block.disposal > 7 || block.delayHundredths > 0xFFFF) std::abort();
    }
    return 0;
}
