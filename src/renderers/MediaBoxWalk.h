#pragma once
// A cheap look at the outermost structure of a video file before the
// platform's media parser sees it. That parser trusts the sizes it reads: a
// `moov` box whose 64-bit size reaches far beyond the file, for one, crashes
// it. Only box and object headers are read, so a multi-gigabyte file costs a
// few small reads, not a load.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace Quivane {

enum class MediaBoxCheck {
    Plausible,    // every header read fits the file; the parser may have it
    Unrecognised, // does not start like the format asked about
    Malformed,    // a size the parser must not be trusted with
    Unreadable,   // a header lay beyond `head` and could not be read
    TooManyBoxes, // the walk stopped at kMaxTopLevelBoxes with file left over
};

// Reads exactly `count` bytes at `offset`; false when it cannot.
using MediaReadAt = std::function<bool(std::uint64_t offset, std::uint8_t* out, std::size_t count)>;

// Real files have a handful of top-level boxes (a fragmented one some
// thousands); a file of millions of empty boxes is refused at this count.
constexpr std::uint32_t kMaxTopLevelBoxes = 100000;

// True when the first bytes start like an ISO base media file (MP4, M4V, MOV):
// `ftyp` at bytes 4..7, or one of the boxes QuickTime files may open with at
// offset 0 with a size field that could be real.
bool LooksLikeIsoMedia(const std::uint8_t* head, std::size_t size);

// Walks the top-level boxes of a file of `fileSize` bytes whose first
// `headSize` bytes are `head`; headers beyond the head come from `readAt`
// (which may be empty when the head is the whole file).
//  - The first box must be one a real file opens with: ftyp, styp, moov, mdat,
//    free, skip, wide or pnot (QuickTime files often open with the last four),
//    as LooksLikeIsoMedia tells; anything else is Unrecognised.
//  - Types must be four printable ASCII characters; unknown ones are fine.
//  - Size 0 runs to the end of the file; size 1 carries a 64-bit size that must
//    be at least 16; other sizes under 8 are Malformed, as are `ftyp` under 16
//    bytes and `uuid` too small for its extended type.
//  - Every box must end within the file, except an `mdat` that runs past the
//    end: a cut-short download, which the platform still partly plays.
//  - Fewer than 8 bytes after the last box are ignored as padding.
MediaBoxCheck CheckTopLevelBoxes(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                                 const MediaReadAt& readAt = {});

// The same kind of look at an ASF file (WMV, WMA): the Header Object must
// open the file, be at least 30 bytes and end within it, and the objects it
// holds must each be at least 24 bytes and end within it. The objects after
// the header (data, indexes) are the parser's to judge.
MediaBoxCheck CheckAsfHeader(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                             const MediaReadAt& readAt = {});

} // namespace Quivane
