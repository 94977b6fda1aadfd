#pragma once
// PNG and APNG container handling on bytes: the chunk walk that collects an
// animation's frame controls and image data.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

constexpr std::uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

struct ByteSpan {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

struct PngChunk {
    std::array<std::uint8_t, 4> type{};
    ByteSpan data; // points into the file's bytes
};

struct ApngFrameControl {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t x_offset = 0;
    std::uint32_t y_offset = 0;
    std::uint16_t delay_num = 0;
    std::uint16_t delay_den = 0;
    std::uint8_t dispose_op = 0;
    std::uint8_t blend_op = 0;
    std::vector<ByteSpan> pieces; // compressed image data, one per IDAT or fdAT, pointing into the file
};

struct ApngParseState {
    std::array<std::uint8_t, 13> ihdr{};
    bool sawIHDR = false;
    bool sawAcTL = false;
    bool sawImageData = false;
    unsigned seenOnce = 0; // which of the chunks allowed once the walk has taken
    // IDAT came before any fcTL: the default image is no frame of the animation.
    bool defaultImageHidden = false;
    std::vector<ApngFrameControl> controls;
    std::vector<ByteSpan> imagePieces; // every IDAT: the image a decoder that does not animate shows
    std::vector<PngChunk> ancillaryChunks; // before the image data, only those a frame needs drawn

    std::uint32_t CanvasWidth() const;
    std::uint32_t CanvasHeight() const;
};

enum class ChunkWalkResult { Ok, Malformed, Stopped };

// Walks the chunks of a whole PNG file (signature included). The state points
// into `bytes`, which must outlive it. `shouldStop` is polled before each chunk.
template <typename ShouldStop>
ChunkWalkResult ParseApngChunks(const std::uint8_t* bytes, std::size_t size, ApngParseState& state,
                                ShouldStop shouldStop);

// One step of the walk; the template above loops over it.
ChunkWalkResult WalkOneChunk(const std::uint8_t* bytes, std::size_t size, std::size_t& position,
                             ApngParseState& state, bool& done);

template <typename ShouldStop>
ChunkWalkResult ParseApngChunks(const std::uint8_t* bytes, std::size_t size, ApngParseState& state,
                                ShouldStop shouldStop) {
    state = ApngParseState{};
    if (bytes == nullptr || size < 20) return ChunkWalkResult::Malformed; // signature and one empty chunk
    std::size_t position = 8;
    for (bool done = false; !done;) {
        if (shouldStop()) return ChunkWalkResult::Stopped;
        const ChunkWalkResult step = WalkOneChunk(bytes, size, position, state, done);
        if (step != ChunkWalkResult::Ok) return step;
    }
    return ChunkWalkResult::Ok;
}

} // namespace Quivane
