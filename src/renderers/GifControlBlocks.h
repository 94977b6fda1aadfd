#pragma once
// The Graphic Control Extension in front of each image of a GIF file, found
// by walking the file's blocks. Used where the platform's metadata reader
// fails to report a control block that the file does carry (Wine's GIF
// decoder loses it when an application extension sits between it and the image).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

struct GifControlBlock {
    bool present = false;
    std::uint32_t disposal = 0;
    std::uint32_t delayHundredths = 0;
};

// One entry per image descriptor, in file order. The walk stops quietly at
// the trailer, at the end of the data or at the first malformed block.
std::vector<GifControlBlock> ReadGifControlBlocks(const std::uint8_t* data, std::size_t size);

} // namespace Quivane
