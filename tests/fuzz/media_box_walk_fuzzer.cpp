// Arbitrary bytes through the box and object walks, both as a whole file and
// as a short head with the rest read at offsets: no read outside the file,
// the same answer either way, and the sniff agreeing with the walk.
#include "renderers/MediaBoxWalk.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kHeadSize = 32;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using Quivane::MediaBoxCheck;
    const Quivane::MediaReadAt readAt = [&](std::uint64_t offset, std::uint8_t* out, std::size_t count) {
        if (offset > size || count > size - offset) std::abort(); // the walk asked for bytes past the file
        std::memcpy(out, data + offset, count);
        return true;
    };
    const std::size_t head = size < kHeadSize ? size : kHeadSize;

    const MediaBoxCheck whole = Quivane::CheckTopLevelBoxes(data, size, size);
    if (Quivane::CheckTopLevelBoxes(data, head, size, readAt) != whole) std::abort();
    if (whole == MediaBoxCheck::Unreadable) std::abort();
    if (size >= 8 && Quivane::LooksLikeIsoMedia(data, size) != (whole != MediaBoxCheck::Unrecognised)) std::abort();

    const MediaBoxCheck asf = Quivane::CheckAsfHeader(data, size, size);
    if (Quivane::CheckAsfHeader(data, head, size, readAt) != asf) std::abort();
    if (asf == MediaBoxCheck::Unreadable) std::abort();
    return 0;
}
