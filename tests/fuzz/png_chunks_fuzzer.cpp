// Arbitrary bytes through the PNG chunk walk and the rebuilding of every
// frame it finds: no read outside the data, and every rebuilt frame is a
// well-formed chunk sequence.
#include "renderers/PngChunks.h"

#include <cstdlib>
#include <cstring>

namespace {
std::uint32_t ReadU32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Quivane::ApngParseState state;
    if (Quivane::ParseApngChunks(data, size, state, [] { return false; }) != Quivane::ChunkWalkResult::Ok) return 0;
    for (const auto& control : state.controls) {
        const auto png = Quivane::BuildFramePng(state.ihdr, state.ancillaryChunks, control);
        // Walk the rebuilt file: every chunk's length and CRC must add up, ending in IEND.
        if (png.size() < 8 || std::memcmp(png.data(), Quivane::kPngSignature, 8) != 0) std::abort();
        std::size_t pos = 8;
        bool sawEnd = false;
        while (pos + 12 <= png.size()) {
            const std::uint32_t length = ReadU32(png.data() + pos);
            if (pos + 12 + length > png.size()) std::abort();
            if (ReadU32(png.data() + pos + 8 + length) != Quivane::PngCrc32(png.data() + pos + 4, 4 + length)) std::abort();
            sawEnd = std::memcmp(png.data() + pos + 4, "IEND", 4) == 0;
            pos += 12 + length;
        }
        if (!sawEnd || pos != png.size()) std::abort();
    }
    return 0;
}
