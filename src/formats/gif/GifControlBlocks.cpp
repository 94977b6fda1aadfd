#include "GifControlBlocks.h"

#include "GifFormat.h"

namespace Quivane {
namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::size_t kHeaderSize = 13; // signature, version, logical screen descriptor
constexpr std::size_t kDescriptorSize = 10;
constexpr std::uint8_t kColourTableFlag = 0x80;
constexpr std::uint8_t kInterlaceFlag = 0x40;

class BlockCursor {
public:
    BlockCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Offset() const { return offset_; }
    bool Has(std::size_t count) const { return count <= size_ - offset_; }
    std::uint8_t Peek(std::size_t at = 0) const { return data_[offset_ + at]; }
    std::uint32_t PeekU16(std::size_t at) const { return static_cast<std::uint32_t>(Peek(at) | (Peek(at + 1) << 8)); }
    bool Skip(std::size_t count) {
        if (!Has(count)) return false;
        offset_ += count;
        return true;
    }
    // Skips a run of data sub-blocks up to and including the zero-length terminator.
    bool SkipSubBlocks() {
        while (Has(1)) {
            const std::size_t length = Peek();
            if (!Skip(1 + length)) return false;
            if (length == 0) return true;
        }
        return false;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

std::uint32_t ColourTableEntries(std::uint8_t packedFields) {
    return (packedFields & kColourTableFlag) ? 2u << (packedFields & 7) : 0;
}

std::size_t ColourTableSize(std::uint8_t packedFields) { return 3u * ColourTableEntries(packedFields); }

} // namespace

GifLayout ReadGifLayout(const std::uint8_t* data, std::size_t size) {
    GifLayout layout;
    if (data == nullptr || size < kHeaderSize || !IsGifSignature(data, size)) return layout;
    BlockCursor cursor(data, size);
    layout.screenWidth = cursor.PeekU16(6);
    layout.screenHeight = cursor.PeekU16(8);
    layout.globalColourTable = (data[10] & kColourTableFlag) != 0;
    cursor.Skip(kHeaderSize);
    const std::uint32_t globalEntries = ColourTableEntries(data[10]);
    if (!cursor.Skip(ColourTableSize(data[10]))) return layout;
    layout.valid = true;

    GifControlBlock pending;
    while (cursor.Has(1)) {
        const std::uint8_t introducer = cursor.Peek();
        if (introducer == kExtensionIntroducer) {
            if (!cursor.Has(2)) break;
            const bool control = cursor.Peek(1) == kGraphicControlLabel;
            cursor.Skip(2);
            if (control && cursor.Has(5) && cursor.Peek() >= 4) {
                pending = GifControlBlock{}; // the last control block before an image is the one that counts
                pending.present = true;
                pending.disposal = (cursor.Peek(1) >> 2) & 7;
                pending.delayHundredths = cursor.PeekU16(2);
                if (cursor.Peek(1) & 1) pending.transparentIndex = cursor.Peek(4);
            }
            if (!cursor.SkipSubBlocks()) break;
        } else if (introducer == kImageSeparator) {
            if (!cursor.Has(kDescriptorSize)) break;
            GifImageLayout image;
            image.control = pending;
            image.left = cursor.PeekU16(1);
            image.top = cursor.PeekU16(3);
            image.width = cursor.PeekU16(5);
            image.height = cursor.PeekU16(7);
            const std::uint8_t packed = cursor.Peek(9);
            image.localColourTable = (packed & kColourTableFlag) != 0;
            image.hasColourTable = image.localColourTable || layout.globalColourTable;
            image.interlaced = (packed & kInterlaceFlag) != 0;
            pending = GifControlBlock{};
            // Descriptor, local colour table, LZW minimum code size, then the image data.
            cursor.Skip(kDescriptorSize);
            image.colourTableOffset = image.localColourTable ? cursor.Offset() : kHeaderSize;
            image.colourTableEntries = image.localColourTable ? ColourTableEntries(packed) : globalEntries;
            const bool tableComplete = cursor.Skip(ColourTableSize(packed));
            image.dataOffset = cursor.Offset();
            image.dataComplete = tableComplete && cursor.Skip(1) && cursor.SkipSubBlocks();
            layout.images.push_back(image);
            if (!image.dataComplete) break;
        } else {
            layout.reachedTrailer = introducer == kTrailer;
            break; // trailer or garbage
        }
    }
    return layout;
}

std::vector<GifControlBlock> ReadGifControlBlocks(const std::uint8_t* data, std::size_t size) {
    const GifLayout layout = ReadGifLayout(data, size);
    std::vector<GifControlBlock> blocks;
    blocks.reserve(layout.images.size());
    for (const GifImageLayout& image : layout.images) blocks.push_back(image.control);
    return blocks;
}

CanvasRegion GifImageRegionOnScreen(const GifLayout& layout, const GifImageLayout& image) {
    GifFrameInfo frame;
    frame.left = image.left;
    frame.top = image.top;
    frame.width = image.width;
    frame.height = image.height;
    return ClipToCanvas(layout.screenWidth, layout.screenHeight, frame);
}

} // namespace Quivane
