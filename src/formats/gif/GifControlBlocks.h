#pragma once
// What a walk of a GIF file's blocks finds: the logical screen, each image
// descriptor in file order with its colour table, its data and the Graphic
// Control Extension in front of it. Everything the frames need but the
// pixels, which GifImageDecoder reads from the data found here.
#include "GifCanvas.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

struct GifControlBlock {
    bool present = false;
    std::uint32_t disposal = 0;
    std::uint32_t delayHundredths = 0;
    std::int32_t transparentIndex = -1; // none
};

struct GifImageLayout {
    GifControlBlock control;
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool localColourTable = false;
    bool hasColourTable = false; // a local table, or the global one
    bool interlaced = false;
    bool dataComplete = false;   // the image data ended within the file
    // The colour table in effect (the local one, else the global one): where
    // its entries start in the file and how many there are (0: none).
    std::size_t colourTableOffset = 0;
    std::uint32_t colourTableEntries = 0;
    std::size_t dataOffset = 0;  // the LZW minimum code size, then the data sub-blocks
};

struct GifLayout {
    bool valid = false; // the signature, the logical screen descriptor and any global table are all there
    bool reachedTrailer = false;
    std::uint32_t screenWidth = 0;
    std::uint32_t screenHeight = 0;
    bool globalColourTable = false;
    std::vector<GifImageLayout> images;
};

// One entry per complete image descriptor, in file order. The walk stops
// quietly at the trailer, at the end of the data or at the first malformed
// block; an image whose data is cut short still has its entry.
GifLayout ReadGifLayout(const std::uint8_t* data, std::size_t size);

// The control block of each entry of ReadGifLayout.
std::vector<GifControlBlock> ReadGifControlBlocks(const std::uint8_t* data, std::size_t size);

// The part of an image that lies on the logical screen; empty when none does.
CanvasRegion GifImageRegionOnScreen(const GifLayout& layout, const GifImageLayout& image);

} // namespace Quivane
