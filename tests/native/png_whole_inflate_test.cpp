// Frames inflated whole (libdeflate) against the same frames inflated a few
// rows at a time (zlib's stream), on the APNG conformance suite, on damaged
// copies of it and on pseudo-random mutations: the same runs of the same
// pixels, and the same ending. And every filter of rows undone in vector
// registers against the same rows undone a byte at a time.
#include "formats/png/PngChunks.h"
#include "formats/png/PngImageDecoder.h"
#include "formats/png/PngUnfilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace Quivane;

namespace {

struct Decoded {
    PngImageEnd end = PngImageEnd::Complete;
    std::vector<std::uint8_t> runs; // each run's place and pixels, in the order handed out
};

Decoded DecodeFrame(PngImageDecoder& decoder, const PngImageFormat& format, const PngColours& colours,
                    const std::vector<ByteSpan>& pieces, std::size_t wholeFrameLimit) {
    Decoded decoded;
    decoded.end = decoder.Decode(
        format, colours, pieces,
        [&](std::uint32_t row, std::uint32_t first, std::uint32_t step, const std::uint8_t* bgra, std::uint32_t count) {
            for (std::uint32_t value : {row, first, step, count}) {
                decoded.runs.insert(decoded.runs.end(), reinterpret_cast<const std::uint8_t*>(&value),
                                    reinterpret_cast<const std::uint8_t*>(&value) + 4);
            }
            decoded.runs.insert(decoded.runs.end(), bgra, bgra + std::size_t{count} * 4);
            return true;
        },
        wholeFrameLimit);
    return decoded;
}

// Decodes every frame of the file both ways; how many frames were compared.
int CompareEveryFrame(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    ApngParseState state;
    PngImageFormat format;
    PngColours colours;
    if (ParseApngChunks(bytes.data(), bytes.size(), state, [] { return false; }) != ChunkWalkResult::Ok ||
        !ReadPngImageFormat(state.ihdr, format) || !ReadPngColours(format, state.ancillaryChunks, colours)) {
        return 0;
    }
    std::vector<std::pair<PngImageFormat, const std::vector<ByteSpan>*>> frames{{format, &state.imagePieces}};
    for (const ApngFrameControl& control : state.controls) {
        PngImageFormat frame = format;
        frame.width = control.width;
        frame.height = control.height;
        if (frame.width > 0 && frame.height > 0 && frame.width <= 4096 && frame.height <= 4096) {
            frames.emplace_back(frame, &control.pieces);
        }
    }
    PngImageDecoder whole;
    PngImageDecoder streamed;
    int compared = 0;
    for (const auto& frame : frames) {
        const Decoded a = DecodeFrame(whole, frame.first, colours, *frame.second, kPngWholeFrameLimit);
        const Decoded b = DecodeFrame(streamed, frame.first, colours, *frame.second, 0);
        EXPECT_EQ(static_cast<int>(a.end), static_cast<int>(b.end)) << name << " frame " << compared;
        EXPECT_TRUE(a.runs == b.runs) << name << " frame " << compared << ": the rows differ";
        ++compared;
    }
    return compared;
}

std::vector<std::string> ConformanceFiles() {
    const std::string folder = std::string(QUIVANE_SOURCE_DIR) + "/tests/conformance/apng/";
    std::vector<std::string> files;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0) files.push_back(folder + name);
        }
        closedir(dir);
    }
    return files;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Where the image data of the file's chunks lies (IDAT and fdAT payloads).
std::vector<std::pair<std::size_t, std::size_t>> DataRanges(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (std::size_t at = 8; at + 12 <= bytes.size();) {
        const std::size_t length = static_cast<std::size_t>(bytes[at]) << 24 | bytes[at + 1] << 16 |
                                   bytes[at + 2] << 8 | bytes[at + 3];
        if (length > bytes.size() - at - 12) break;
        const std::string type(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
                               bytes.begin() + static_cast<std::ptrdiff_t>(at + 8));
        const std::size_t skip = type == "fdAT" ? 4 : 0; // its sequence number
        if ((type == "IDAT" || type == "fdAT") && length > skip) ranges.emplace_back(at + 8 + skip, length - skip);
        at += length + 12;
    }
    return ranges;
}

} // namespace

TEST(PngWholeInflate, ConformanceFilesDecodeAlikeWholeAndStreamed) {
    const std::vector<std::string> files = ConformanceFiles();
    ASSERT_GT(files.size(), 40u);
    int frames = 0;
    for (const std::string& file : files) frames += CompareEveryFrame(ReadFile(file), file);
    EXPECT_GT(frames, 100);
}

// The CRC of a changed chunk is not checked by the chunk walk, so every
// mutation reaches the inflaters: bytes of the compressed data flipped,
// zeroed or cut, early (the header, the first block) and late (the checksum).
TEST(PngWholeInflate, DamagedAndMutatedDataDecodesAlikeWholeAndStreamed) {
    std::uint32_t random = 2463534242u;
    const auto next = [&random] {
        random ^= random << 13;
        random ^= random >> 17;
        random ^= random << 5;
        return random;
    };
    int frames = 0;
    for (const std::string& file : ConformanceFiles()) {
        const std::vector<std::uint8_t> original = ReadFile(file);
        const auto ranges = DataRanges(original);
        // The first pieces and the last: a long animation's every piece would take minutes.
        for (std::size_t piece = 0; piece < ranges.size(); piece += piece < 2 ? 1 : std::max<std::size_t>(1, ranges.size() - 1 - piece)) {
            const auto& range = ranges[piece];
            for (int trial = 0; trial < 6; ++trial) {
                std::vector<std::uint8_t> bytes = original;
                const std::size_t offset = trial == 0   ? 0
                                           : trial == 1 ? range.second - 1
                                           : trial == 2 ? range.second - 3
                                                        : next() % range.second;
                std::uint8_t& target = bytes[range.first + offset];
                target = trial % 2 == 0 ? static_cast<std::uint8_t>(target ^ (1u << (next() % 8)))
                                        : static_cast<std::uint8_t>(next());
                frames += CompareEveryFrame(bytes, file + " mutated at " + std::to_string(range.first + offset));
            }
            // Cut inside the data: the chunk walk sees a short file.
            std::vector<std::uint8_t> cut(original.begin(),
                                          original.begin() + static_cast<std::ptrdiff_t>(range.first + range.second / 2));
            frames += CompareEveryFrame(cut, file + " cut");
        }
    }
    EXPECT_GT(frames, 1000);
}

TEST(PngUnfilter, EveryFilterAndPixelSizeMatchesTheBytewiseRows) {
    std::uint32_t random = 88172645u;
    for (std::size_t step : {1u, 2u, 3u, 4u, 6u, 8u}) {
        for (std::size_t pixels : {1u, 2u, 5u, 6u, 7u, 16u, 33u, 100u}) {
            const std::size_t size = pixels * step;
            for (std::uint8_t filter = 0; filter <= 5; ++filter) {
                std::vector<std::uint8_t> above(size), row(size);
                for (auto* bytes : {&above, &row}) {
                    for (std::uint8_t& byte : *bytes) {
                        random = random * 1664525u + 1013904223u;
                        // Flat stretches too, where Paeth's distances tie.
                        byte = (random >> 28) < 4 ? 0x80 : static_cast<std::uint8_t>(random >> 24);
                    }
                }
                std::vector<std::uint8_t> expected = row;
                const bool known = UnfilterPngRowBytewise(filter, expected.data(), above.data(), size, step);
                EXPECT_EQ(UnfilterPngRow(filter, row.data(), above.data(), size, step), known);
                EXPECT_EQ(row, expected) << "filter " << int{filter} << ", " << step << "-byte pixels, " << pixels;
            }
        }
    }
}
