// Arbitrary bytes through the box, table, object, chunk and element walks,
// both as a whole file and as a short head with the rest read at offsets: no
// read outside the file, the same answer either way, the sniff agreeing with
// the walk, and what the sample tables report agreeing with itself.
#include "formats/video/MediaBoxWalk.h"
#include "formats/video/MediaDataStart.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kHeadSize = 32;

bool SameReach(const Quivane::VideoSampleReach& a, const Quivane::VideoSampleReach& b) {
    return a.samples == b.samples && a.leadingInFile == b.leadingInFile && a.anyInFile == b.anyInFile &&
           a.lastLeadingTime == b.lastLeadingTime;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using Quivane::MediaBoxCheck;
    const Quivane::MediaReadAt readAt = [&](std::uint64_t offset, std::uint8_t* out, std::size_t count) {
        if (offset > size || count > size - offset) std::abort(); // the walk asked for bytes past the file
        std::memcpy(out, data + offset, count);
        return true;
    };
    const std::size_t head = size < kHeadSize ? size : kHeadSize;

    Quivane::VideoSampleReach reach, headReach;
    const MediaBoxCheck whole = Quivane::CheckTopLevelBoxes(data, size, size, {}, &reach);
    if (Quivane::CheckTopLevelBoxes(data, head, size, readAt, &headReach) != whole) std::abort();
    if (!SameReach(reach, headReach)) std::abort();
    if (whole == MediaBoxCheck::Unreadable) std::abort();
    if (size >= 8 && Quivane::LooksLikeIsoMedia(data, size) != (whole != MediaBoxCheck::Unrecognised)) std::abort();
    if (reach.leadingInFile > reach.samples || (reach.leadingInFile > 0 && !reach.anyInFile)) std::abort();
    if (reach.samples > 0 && !reach.anyInFile && whole != MediaBoxCheck::NoSampleData) std::abort();
    if (whole == MediaBoxCheck::NoSampleData && reach.anyInFile) std::abort();

    const MediaBoxCheck asf = Quivane::CheckAsfHeader(data, size, size);
    if (Quivane::CheckAsfHeader(data, head, size, readAt) != asf) std::abort();
    if (asf == MediaBoxCheck::Unreadable) std::abort();

    const MediaBoxCheck avi = Quivane::CheckAviData(data, size, size);
    if (Quivane::CheckAviData(data, head, size, readAt) != avi) std::abort();
    if ((avi == MediaBoxCheck::Unrecognised) != !Quivane::LooksLikeAvi(data, size)) std::abort();

    const MediaBoxCheck matroska = Quivane::CheckMatroskaData(data, size, size);
    if (Quivane::CheckMatroskaData(data, head, size, readAt) != matroska) std::abort();
    if (matroska == MediaBoxCheck::Unreadable) std::abort();
    return 0;
}
