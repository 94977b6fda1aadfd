#include "PngChunks.h"

#include <cstring>
#include <iterator>

namespace Quivane {
namespace {

std::uint32_t ReadU32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

std::uint16_t ReadU16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

bool IsType(const std::uint8_t* type, const char* expected) { return std::memcmp(type, expected, 4) == 0; }

// What the frames' decoding reads besides the header and data: the palette
// and the transparency. Anything else (text, metadata, colour spaces the
// platform's decoder also ignores) is not kept.
bool IsCarriedIntoFrames(const std::uint8_t* type) {
    static const char* const kCarried[] = {"PLTE", "tRNS"};
    for (const char* carried : kCarried) {
        if (IsType(type, carried)) return true;
    }
    return false;
}

// Chunks the format allows once, before the image data: IHDR, then acTL,
// PLTE and tRNS. A second one, or one after the image data, is ignored; the
// walk notes which it has seen in `state.seenOnce`.
bool IsRepeatOrLate(const std::uint8_t* type, ApngParseState& state) {
    static const char* const kOnceBeforeData[] = {"IHDR", "acTL", "PLTE", "tRNS"};
    for (std::size_t i = 0; i < std::size(kOnceBeforeData); ++i) {
        if (!IsType(type, kOnceBeforeData[i])) continue;
        const unsigned bit = 1u << i;
        if ((state.seenOnce & bit) != 0 || state.sawImageData) return true;
        state.seenOnce |= bit;
        return false;
    }
    return false;
}

} // namespace

std::uint32_t ApngParseState::CanvasWidth() const { return ReadU32(ihdr.data()); }
std::uint32_t ApngParseState::CanvasHeight() const { return ReadU32(ihdr.data() + 4); }

ChunkWalkResult WalkOneChunk(const std::uint8_t* bytes, std::size_t size, std::size_t& position,
                             ApngParseState& state, bool& done) {
    const std::uint32_t length = ReadU32(bytes + position);
    if (static_cast<std::uint64_t>(position) + 12 + length > size) return ChunkWalkResult::Malformed;
    const std::uint8_t* type = bytes + position + 4;
    const std::uint8_t* data = bytes + position + 8;

    if (IsRepeatOrLate(type, state)) {
        // Damage: the first header, palette or animation control stands, so a
        // late one can neither resize the canvas nor recolour what came before.
    } else if (IsType(type, "IHDR")) {
        if (length != 13) return ChunkWalkResult::Malformed;
        std::memcpy(state.ihdr.data(), data, 13);
        state.sawIHDR = true;
    } else if (IsType(type, "acTL")) {
        state.sawAcTL = true;
    } else if (IsType(type, "fcTL")) {
        if (length != 26) return ChunkWalkResult::Malformed;
        ApngFrameControl control;
        control.width = ReadU32(data + 4);
        control.height = ReadU32(data + 8);
        control.x_offset = ReadU32(data + 12);
        control.y_offset = ReadU32(data + 16);
        control.delay_num = ReadU16(data + 20);
        control.delay_den = ReadU16(data + 22);
        control.dispose_op = data[24];
        control.blend_op = data[25];
        state.controls.push_back(std::move(control));
    } else if (IsType(type, "IDAT")) {
        // Image data with no fcTL before it is a default image that is not
        // part of the animation: browsers show only the fcTL frames.
        if (state.controls.empty()) {
            state.defaultImageHidden = true;
        } else {
            state.controls.back().pieces.push_back(ByteSpan{data, length});
        }
        state.sawImageData = true;
        state.imagePieces.push_back(ByteSpan{data, length});
    } else if (IsType(type, "fdAT")) {
        state.sawImageData = true;
        if (length < 4) return ChunkWalkResult::Malformed;
        // Frame data with no fcTL before it belongs to no frame.
        if (!state.controls.empty()) state.controls.back().pieces.push_back(ByteSpan{data + 4, length - 4u});
    } else if (IsType(type, "IEND")) {
        done = true;
        return ChunkWalkResult::Ok;
    } else if (IsCarriedIntoFrames(type)) {
        PngChunk chunk;
        std::memcpy(chunk.type.data(), type, 4);
        chunk.data = ByteSpan{data, length};
        state.ancillaryChunks.push_back(chunk);
    }

    const std::uint64_t next = static_cast<std::uint64_t>(position) + 12 + length;
    if (next + 12 > size) {
        done = true; // fewer than 12 bytes cannot hold another chunk
    } else {
        position = static_cast<std::size_t>(next);
    }
    return ChunkWalkResult::Ok;
}


} // namespace Quivane
