#include "GifImageDecoder.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Quivane {
namespace {

constexpr std::uint32_t kMaxCodes = 4096; // codes are at most 12 bits wide

// Reads codes least significant bit first from the joined data.
class CodeReader {
public:
    CodeReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // False once the data cannot give `width` more bits.
    bool Read(std::uint32_t width, std::uint32_t& code) {
        if (count_ < width) {
            // Whole bytes while they fit: one refill serves several codes.
            while (count_ <= 56 && offset_ < size_) {
                bits_ |= static_cast<std::uint64_t>(data_[offset_++]) << count_;
                count_ += 8;
            }
            if (count_ < width) return false;
        }
        code = static_cast<std::uint32_t>(bits_) & ((1u << width) - 1);
        bits_ >>= width;
        count_ -= width;
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
    std::uint64_t bits_ = 0;
    std::uint32_t count_ = 0;
};

// Where each decoded row goes: rows in order, or the four passes of an
// interlaced image. Rows past the canvas are decoded and dropped.
template <class Take>
class RowSink {
public:
    RowSink(const GifImageLayout& image, std::uint32_t rows, const Take& take, bool firstRowOnly)
        : rows_(rows), height_(image.height), interlaced_(image.interlaced), firstRowOnly_(firstRowOnly), take_(take) {}

    // Rows after the canvas's last are not decoded at all unless interlacing brings more back.
    bool Done() const { return row_ >= height_ || (!interlaced_ && row_ >= rows_) || (firstRowOnly_ && emitted_); }

    void Emit(const std::uint8_t* indices) {
        if (row_ < rows_) take_(row_, indices);
        emitted_ = true;
        Advance();
    }

private:
    void Advance() {
        if (!interlaced_) {
            ++row_;
            return;
        }
        static constexpr std::uint32_t kStart[4] = {0, 4, 2, 1};
        static constexpr std::uint32_t kStep[4] = {8, 8, 4, 2};
        row_ += kStep[pass_];
        while (row_ >= height_ && pass_ < 3) row_ = kStart[++pass_];
    }

    std::uint32_t rows_;
    std::uint32_t height_;
    bool interlaced_;
    bool firstRowOnly_;
    bool emitted_ = false;
    const Take& take_;
    std::uint32_t row_ = 0;
    std::uint32_t pass_ = 0;
};

constexpr std::size_t kSpare = 8;

// Joins the data sub-blocks that follow `offset`; false when the file ends first.
bool JoinSubBlocks(const std::uint8_t* data, std::size_t size, std::size_t offset, std::vector<std::uint8_t>& joined) {
    joined.clear();
    while (offset < size) {
        const std::size_t length = data[offset++];
        if (length == 0) return true;
        if (length > size - offset) return false;
        joined.insert(joined.end(), data + offset, data + offset + length);
        offset += length;
    }
    return false;
}

} // namespace

const std::uint8_t* FindGifColourTable(const std::uint8_t* data, std::size_t size, const GifImageLayout& image,
                                       std::uint32_t& entries) {
    entries = 0;
    const std::size_t count = image.colourTableEntries;
    if (count == 0 || image.colourTableOffset > size || count * 3 > size - image.colourTableOffset) return nullptr;
    entries = image.colourTableEntries;
    return data + image.colourTableOffset;
}

GifColours ReadGifColours(const std::uint8_t* data, std::size_t size, const GifImageLayout& image) {
    GifColours colours{};
    std::uint32_t entries = 0;
    const std::uint8_t* table = FindGifColourTable(data, size, image, entries);
    if (table == nullptr) return colours;
    for (std::size_t i = 0; i < entries && i < colours.size(); ++i) colours[i] = GifOpaqueColour(table + i * 3);
    if (image.control.transparentIndex >= 0) colours[static_cast<std::size_t>(image.control.transparentIndex)] = 0;
    return colours;
}

GifImageEnd GifImageDecoder::Decode(const std::uint8_t* data, std::size_t size, const GifImageLayout& image,
                                    const GifColours& colours, std::uint32_t columns, std::uint32_t rows,
                                    std::uint8_t* out) {
    columns = std::min(columns, image.width);
    // Each index through the table straight into place: the lookup inlined, no call per row.
    return DecodeInto(data, size, image, rows, [&](std::uint32_t row, const std::uint8_t* indices) {
        std::uint8_t* target = out + static_cast<std::size_t>(row) * columns * 4;
        for (std::uint32_t x = 0; x < columns; ++x) std::memcpy(target + std::size_t{x} * 4, &colours[indices[x]], 4);
    });
}

GifImageEnd GifImageDecoder::DrawOver(const std::uint8_t* data, std::size_t size, const GifImageLayout& image,
                                      const GifColours& colours, std::uint32_t columns, std::uint32_t rows,
                                      std::uint8_t* canvas, std::size_t stride, bool& everyPixelOpaque) {
    columns = std::min(columns, image.width);
    std::uint32_t transparent = 0; // nonzero once a pixel left the canvas as it was
    std::uint32_t drawnRows = 0;
    // Transparent colours are zero, opaque ones never: the canvas's pixel is
    // kept under a zero and replaced under anything else, without a branch.
    const GifImageEnd end = DecodeInto(data, size, image, rows, [&](std::uint32_t row, const std::uint8_t* indices) {
        std::uint8_t* target = canvas + static_cast<std::size_t>(row) * stride;
        std::uint32_t zeroSeen = 0;
        std::uint32_t x = 0;
#if defined(__SSE2__)
        // Four pixels a step: one compare and one masked merge for all four.
        __m128i zeroes = _mm_setzero_si128();
        for (; x + 4 <= columns; x += 4) {
            const __m128i colour = _mm_setr_epi32(static_cast<int>(colours[indices[x]]),
                                                  static_cast<int>(colours[indices[x + 1]]),
                                                  static_cast<int>(colours[indices[x + 2]]),
                                                  static_cast<int>(colours[indices[x + 3]]));
            __m128i* at = reinterpret_cast<__m128i*>(target + std::size_t{x} * 4);
            const __m128i keep = _mm_cmpeq_epi32(colour, _mm_setzero_si128());
            zeroes = _mm_or_si128(zeroes, keep);
            _mm_storeu_si128(at, _mm_or_si128(colour, _mm_and_si128(keep, _mm_loadu_si128(at))));
        }
        zeroSeen = static_cast<std::uint32_t>(_mm_movemask_epi8(zeroes));
#endif
        for (; x < columns; ++x) {
            const std::uint32_t colour = colours[indices[x]];
            std::uint32_t under;
            std::memcpy(&under, target + std::size_t{x} * 4, 4);
            const std::uint32_t keep = 0u - static_cast<std::uint32_t>(colour == 0);
            zeroSeen |= keep;
            const std::uint32_t pixel = colour | (under & keep);
            std::memcpy(target + std::size_t{x} * 4, &pixel, 4);
        }
        transparent |= zeroSeen;
        ++drawnRows;
    });
    everyPixelOpaque = transparent == 0 && drawnRows == std::min(rows, image.height);
    return end;
}

bool GifImageDecoder::DecodesARow(const std::uint8_t* data, std::size_t size, const GifImageLayout& image) {
    bool decoded = false;
    firstRowOnly_ = true;
    (void)DecodeRows(data, size, image, 1, [&](std::uint32_t, const std::uint8_t*) { decoded = true; });
    firstRowOnly_ = false;
    return decoded;
}

GifImageEnd GifImageDecoder::DecodeRows(const std::uint8_t* data, std::size_t size, const GifImageLayout& image,
                                        std::uint32_t rows, const GifRowTaker& take) {
    return DecodeInto(data, size, image, rows, take);
}

// Writes code's string to out[0, its length), from its last piece back to its
// first, each piece one eight-byte store; out has eight bytes to spare.
inline void GifImageDecoder::WriteString(std::uint32_t code, std::uint8_t* out) const {
    std::uint8_t* at = out + (lengthLess1_[code] & ~7u);
    for (;;) {
        std::memcpy(at, pieces_[code].data(), 8);
        if (at == out) return;
        code = prefix_[code];
        at -= 8;
    }
}

template <class Take>
GifImageEnd GifImageDecoder::DecodeInto(const std::uint8_t* data, std::size_t size, const GifImageLayout& image,
                                        std::uint32_t rows, const Take& take) {
    rows = std::min(rows, image.height);
    stopped_ = false;
    if (image.width == 0 || image.height == 0) return GifImageEnd::Complete;
    if (image.dataOffset >= size) return GifImageEnd::ShortData;
    const std::uint32_t minimumWidth = data[image.dataOffset];
    // Indices are bytes, and even a two-colour image starts from two bits:
    // any other minimum is damage, not a GIF.
    if (minimumWidth < 2 || minimumWidth > 8) return GifImageEnd::BadCode;
    JoinSubBlocks(data, size, image.dataOffset + 1, compressed_); // a cut-short tail still decodes as far as it goes

    const std::uint32_t clear = 1u << minimumWidth;
    const std::uint32_t end = clear + 1;
    for (std::uint32_t code = 0; code < clear; ++code) {
        pieces_[code][0] = static_cast<std::uint8_t>(code);
        first_[code] = static_cast<std::uint8_t>(code);
        lengthLess1_[code] = 0;
    }
    line_.assign(std::size_t{image.width} + kSpare, 0);
    RowSink<Take> sink(image, rows, take, firstRowOnly_);
    CodeReader reader(compressed_.data(), compressed_.size());
    std::uint32_t width = minimumWidth + 1;
    std::uint32_t next = clear + 2;
    std::uint32_t previous = kMaxCodes; // none since the last clear
    std::uint32_t x = 0;

    // Appends a code's string to the row: in place when it fits, else through
    // a scratch copy spilt into the rows after it.
    const auto emit = [&](std::uint32_t code) {
        std::uint32_t length = lengthLess1_[code] + 1u;
        if (length < image.width - x) {
            WriteString(code, line_.data() + x);
            x += length;
            return;
        }
        WriteString(code, scratch_.data());
        const std::uint8_t* string = scratch_.data();
        while (length > 0) {
            const std::uint32_t piece = std::min(length, image.width - x);
            std::memcpy(line_.data() + x, string, piece);
            x += piece;
            string += piece;
            length -= piece;
            if (x == image.width) {
                sink.Emit(line_.data());
                x = 0;
                if (sink.Done() || stopped_) return;
            }
        }
    };

    while (!sink.Done()) {
        if (stopped_) return GifImageEnd::ShortData;
        std::uint32_t code = 0;
        if (!reader.Read(width, code)) return GifImageEnd::ShortData;
        if (code == clear) {
            width = minimumWidth + 1;
            next = clear + 2;
            previous = kMaxCodes;
            continue;
        }
        if (code == end) return GifImageEnd::ShortData;
        if (previous == kMaxCodes) {
            if (code >= clear) return GifImageEnd::BadCode; // only a literal may follow a clear code
            emit(code);
            previous = code;
            continue;
        }
        if (code > next || (code == next && next >= kMaxCodes)) return GifImageEnd::BadCode;
        if (next < kMaxCodes) {
            // The new string is the previous one plus the first index of this
            // one, which for code == next is the previous one's own first
            // index: the previous one's last piece with a byte more, or a new
            // piece after it when that one is full.
            const std::uint32_t previousLess1 = lengthLess1_[previous];
            const std::uint8_t added = first_[code == next ? previous : code];
            if ((previousLess1 & 7u) != 7u) {
                pieces_[next] = pieces_[previous];
                pieces_[next][(previousLess1 & 7u) + 1] = added;
                prefix_[next] = prefix_[previous];
            } else {
                pieces_[next][0] = added;
                prefix_[next] = static_cast<std::uint16_t>(previous);
            }
            lengthLess1_[next] = static_cast<std::uint16_t>(previousLess1 + 1);
            first_[next] = first_[previous];
            ++next;
            if (next == (1u << width) && width < 12) ++width;
        }
        emit(code);
        previous = code;
    }
    return GifImageEnd::Complete;
}

} // namespace Quivane
