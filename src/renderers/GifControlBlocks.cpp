#include "GifControlBlocks.h"

namespace Quivane {
namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::size_t kHeaderSize = 13; // signature, version, logical screen descriptor

class BlockCursor {
public:
    BlockCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Has(std::size_t count) const { return count <= size_ - offset_; }
    std::uint8_t Peek(std::size_t at = 0) const { return data_[offset_ + at]; }
    const std::uint8_t* Here() const { return data_ + offset_; }
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

std::size_t ColourTableSize(std::uint8_t packedFields) {
    return (packedFields & 0x80) ? 3u * (2u << (packedFields & 7)) : 0;
}

} // namespace

std::vector<GifControlBlock> ReadGifControlBlocks(const std::uint8_t* data, std::size_t size) {
    std::vector<GifControlBlock> blocks;
    if (data == nullptr || size < kHeaderSize || data[0] != 'G' || data[1] != 'I' || data[2] != 'F') return blocks;
    BlockCursor cursor(data, size);
    cursor.Skip(kHeaderSize);
    if (!cursor.Skip(ColourTableSize(data[10]))) return blocks;

    GifControlBlock pending;
    while (cursor.Has(1)) {
        const std::uint8_t introducer = cursor.Peek();
        if (introducer == kExtensionIntroducer) {
            if (!cursor.Has(2)) break;
            const bool control = cursor.Peek(1) == kGraphicControlLabel;
            cursor.Skip(2);
            if (control && cursor.Has(5) && cursor.Peek() >= 4) {
                const std::uint8_t* body = cursor.Here() + 1;
                pending.present = true;
                pending.disposal = (body[0] >> 2) & 7;
                pending.delayHundredths = static_cast<std::uint32_t>(body[1] | (body[2] << 8));
            }
            if (!cursor.SkipSubBlocks()) break;
        } else if (introducer == kImageSeparator) {
            if (!cursor.Has(11)) break;
            const std::uint8_t packed = cursor.Peek(9);
            blocks.push_back(pending);
            pending = GifControlBlock{};
            // Descriptor, local colour table, LZW minimum code size, then the image data.
            if (!cursor.Skip(10) || !cursor.Skip(ColourTableSize(packed)) || !cursor.Skip(1) || !cursor.SkipSubBlocks()) {
                break;
            }
        } else {
            break; // trailer or garbage
        }
    }
    return blocks;
}

} // namespace Quivane
