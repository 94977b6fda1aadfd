#pragma once
// What a walk of a GIF file's blocks finds before any decoder sees it: the
// logical screen, each image descriptor in file order and the Graphic Control
// Extension in front of each image. Used where the platform's metadata reader
// fails to report a control block that the file does carry (Wine's GIF
// decoder loses it when an application extension sits between it and the
// image), and to turn away files the platform's decoder mishandles (an image
// with no colour table at all, a descriptor far larger than the screen).
#include "GifComposition.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

struct GifControlBlock {
    bool present = false;
    std::uint32_t disposal = 0;
    std::uint32_t delayHundredths = 0;
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
