#include "PngImageDecoder.h"

#include "Adler32.h"
#include "PngDataInflater.h"
#include "PngRowConversion.h"
#include "PngUnfilter.h"

#include <algorithm>
#include <cstring>

namespace Quivane {
namespace {

struct Interlace {
    std::uint32_t firstColumn, firstRow, columnStep, rowStep;
};

constexpr Interlace kWholeImage = {0, 0, 1, 1};
constexpr Interlace kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

std::uint32_t ReadU32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

unsigned Channels(std::uint8_t colourType) {
    switch (colourType) {
    case kPngRgb: return 3;
    case kPngGreyAlpha: return 2;
    case kPngRgba: return 4;
    default: return 1;
    }
}

bool IsType(const PngChunk& chunk, const char (&type)[5]) {
    return std::equal(chunk.type.begin(), chunk.type.end(), type);
}

// Rows are inflated this many bytes at a time, or one at a time when wider:
// after every call zlib copies up to 32 KiB of what it inflated into its own
// window, a cost that shrinks as the calls grow, and the rows still sit in the
// cache when they are converted.
constexpr std::size_t kRowWindowBytes = 256 * 1024;

PngImageEnd Ended(InflateResult failure) {
    return failure == InflateResult::NoMemory ? PngImageEnd::NoMemory : PngImageEnd::BadData;
}

// The passes that hold rows (all of them but an interlaced tiny image's
// empty ones), in the order their data comes; how many.
int FramePasses(const PngImageFormat& format, PngPass (&out)[7]) {
    const std::uint64_t bitsPerPixel = static_cast<std::uint64_t>(Channels(format.colourType)) * format.bitDepth;
    const Interlace* passes = format.interlaced ? kAdam7 : &kWholeImage;
    int count = 0;
    for (int index = 0; index < (format.interlaced ? 7 : 1); ++index) {
        const Interlace& p = passes[index];
        if (format.width <= p.firstColumn || format.height <= p.firstRow) continue; // an empty pass has no data
        PngPass& pass = out[count++];
        pass.firstColumn = p.firstColumn;
        pass.firstRow = p.firstRow;
        pass.columnStep = p.columnStep;
        pass.rowStep = p.rowStep;
        pass.columns = (format.width - p.firstColumn + p.columnStep - 1) / p.columnStep;
        pass.rows = (format.height - p.firstRow + p.rowStep - 1) / p.rowStep;
        pass.rowBytes = static_cast<std::size_t>((pass.columns * bitsPerPixel + 7) / 8);
        pass.filterStep = static_cast<std::size_t>(std::max<std::uint64_t>(1, bitsPerPixel / 8));
    }
    return count;
}

} // namespace

bool ReadPngImageFormat(const std::array<std::uint8_t, 13>& ihdr, PngImageFormat& format) {
    format.width = ReadU32(ihdr.data());
    format.height = ReadU32(ihdr.data() + 4);
    format.bitDepth = ihdr[8];
    format.colourType = ihdr[9];
    format.interlaced = ihdr[12] == 1;
    if (format.width == 0 || format.height == 0 || format.width > 0x7FFFFFFFu || format.height > 0x7FFFFFFFu) {
        return false;
    }
    if (ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1) return false;
    const unsigned depth = format.bitDepth;
    switch (format.colourType) {
    case kPngGrey: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kPngPalette: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case kPngRgb:
    case kPngGreyAlpha:
    case kPngRgba: return depth == 8 || depth == 16;
    default: return false;
    }
}

bool ReadPngColours(const PngImageFormat& format, const std::vector<PngChunk>& chunks, PngColours& colours) {
    colours = PngColours{};
    const PngChunk* palette = nullptr;
    const PngChunk* transparency = nullptr;
    for (const PngChunk& chunk : chunks) {
        if (IsType(chunk, "PLTE") && palette == nullptr) palette = &chunk;
        if (IsType(chunk, "tRNS") && transparency == nullptr) transparency = &chunk;
    }
    if (format.colourType == kPngPalette) {
        if (palette == nullptr || palette->data.size == 0 || palette->data.size % 3 != 0 || palette->data.size > 768) {
            return false;
        }
        colours.hasPalette = true;
        colours.palette.fill(0xFF000000u);
        const std::size_t entries = palette->data.size / 3;
        const std::size_t alphas = transparency != nullptr ? std::min(transparency->data.size, entries) : 0;
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint8_t* rgb = palette->data.data + 3 * i;
            colours.palette[i] = PngPremultiplied(rgb[0], rgb[1], rgb[2], i < alphas ? transparency->data.data[i] : 255);
        }
        return true;
    }
    // A key the wrong size for the image is ignored, as decoders commonly do.
    const std::uint32_t mask = (1u << format.bitDepth) - 1;
    if (transparency != nullptr && format.colourType == kPngGrey && transparency->data.size == 2) {
        colours.hasKey = true;
        colours.key[0] = static_cast<std::uint16_t>(PngSample16(transparency->data.data) & mask);
    } else if (transparency != nullptr && format.colourType == kPngRgb && transparency->data.size == 6) {
        colours.hasKey = true;
        for (int i = 0; i < 3; ++i) {
            colours.key[i] = static_cast<std::uint16_t>(PngSample16(transparency->data.data + 2 * i) & mask);
        }
    }
    return true;
}

PngImageEnd PngImageDecoder::Decode(const PngImageFormat& format, const PngColours& colours,
                                    const std::vector<ByteSpan>& pieces, const PngRowSink& sink,
                                    std::size_t wholeFrameLimit) {
    if (format.colourType == kPngPalette && !colours.hasPalette) return PngImageEnd::BadData;
    PngPass passes[7];
    const int count = FramePasses(format, passes);
    std::uint64_t inflatedSize = 0;
    for (int pass = 0; pass < count; ++pass) inflatedSize += std::uint64_t{passes[pass].rows} * (passes[pass].rowBytes + 1);
    if (inflatedSize <= wholeFrameLimit) {
        std::uint32_t stored = 0;
        bool hasChecksum = false;
        std::uint8_t* data = whole_.Inflate(pieces, static_cast<std::size_t>(inflatedSize), stored, hasChecksum);
        // Damaged data is inflated again a little at a time, below, so that
        // every row which decodes still shows.
        if (data != nullptr) {
            std::uint32_t checksum = kAdler32Start;
            for (int pass = 0; pass < count; ++pass) {
                rows_.assign(passes[pass].rowBytes, 0); // above the pass's first row
                const PngImageEnd end = HandRows(format, colours, passes[pass], data, rows_.data(), passes[pass].rows,
                                                 0, sink, &checksum);
                if (end != PngImageEnd::Complete) return end;
                data += passes[pass].rows * (passes[pass].rowBytes + 1);
            }
            whole_.Trim();
            // Every row is drawn by now: a checksum that fails leaves them as they are.
            return hasChecksum && checksum == stored ? PngImageEnd::Complete : PngImageEnd::DamagedTail;
        }
    }
    return DecodeStreamed(format, colours, pieces, passes, count, sink);
}

PngImageEnd PngImageDecoder::HandRows(const PngImageFormat& format, const PngColours& colours, const PngPass& pass,
                                      std::uint8_t* rows, const std::uint8_t* above, std::size_t count,
                                      std::uint32_t y, const PngRowSink& sink, std::uint32_t* checksum) {
    const std::size_t stride = pass.rowBytes + 1;
    bgra_.resize(static_cast<std::size_t>(pass.columns) * 4);
    for (std::size_t i = 0; i < count; ++i, ++y) {
        std::uint8_t* row = rows + i * stride;
        if (checksum != nullptr) *checksum = Adler32(*checksum, row, stride); // before the row is undone in place
        if (!UnfilterPngRow(row[0], row + 1, above, pass.rowBytes, pass.filterStep)) return PngImageEnd::BadData;
        ConvertPngRow(format, colours, row + 1, pass.columns, bgra_.data());
        if (!sink(pass.firstRow + y * pass.rowStep, pass.firstColumn, pass.columnStep, bgra_.data(), pass.columns)) {
            return PngImageEnd::Stopped;
        }
        above = row + 1;
    }
    return PngImageEnd::Complete;
}

PngImageEnd PngImageDecoder::DecodeStreamed(const PngImageFormat& format, const PngColours& colours,
                                            const std::vector<ByteSpan>& pieces, const PngPass* passes, int count,
                                            const PngRowSink& sink) {
    PngDataInflater inflater(pieces);
    for (int pass = 0; pass < count; ++pass) {
        const PngPass& p = passes[pass];
        // Rows are inflated several at a time straight into their slots, each
        // its filter byte and its bytes, and unfiltered in place; slot 0 holds
        // the row above the first of them.
        const std::size_t stride = p.rowBytes + 1;
        const std::size_t slots = std::max<std::size_t>(1, kRowWindowBytes / stride);
        rows_.resize(stride * (slots + 1));
        std::fill(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(stride), 0);
        for (std::uint32_t y = 0; y < p.rows;) {
            const std::size_t wanted = std::min<std::size_t>(slots, p.rows - y);
            std::size_t produced = 0;
            const InflateResult read = inflater.Read(rows_.data() + stride, wanted * stride, produced);
            const std::size_t complete = produced / stride;
            const PngImageEnd handed =
                HandRows(format, colours, p, rows_.data() + stride, rows_.data() + 1, complete, y, sink, nullptr);
            if (handed != PngImageEnd::Complete) return handed;
            y += static_cast<std::uint32_t>(complete);
            if (read != InflateResult::Ok) return Ended(read);
            std::memcpy(rows_.data() + 1, rows_.data() + complete * stride + 1, p.rowBytes);
        }
    }
    // Every row is drawn by now: a stream that goes on or whose checksum
    // fails leaves the rows as they are, and says the file is damaged.
    const InflateResult end = inflater.Finish();
    if (end == InflateResult::Ok) return PngImageEnd::Complete;
    return end == InflateResult::NoMemory ? PngImageEnd::NoMemory : PngImageEnd::DamagedTail;
}

} // namespace Quivane
