#pragma once
// A cheap look at the outermost structure of a video file before the
// platform's media parser sees it. That parser trusts the sizes it reads: a
// `moov` box whose 64-bit size reaches far beyond the file, for one, crashes
// it. And given a file that holds none of its video's samples, its reader
// waits for ever. Only box and object headers and the video track's sample
// tables are read, so a multi-gigabyte file costs a few small reads, not a load.
// The rule: refuse only what is known to hurt; the platform judges the rest.
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
    NoSampleData, // the file holds none of its video's samples (or first data packet)
};

// What the sample tables of an ISO file's first video track say about the
// bytes the file holds. A recording interrupted after its movie box was
// written holds only its first samples; the still must come from those.
struct VideoSampleReach {
    std::uint64_t samples = 0;       // the tables place; 0 when none were read
    std::uint64_t leadingInFile = 0; // from the first, in decode order, each wholly inside the file
    bool anyInFile = false;          // some sample lies wholly inside the file
    std::uint64_t lastLeadingTime = 0; // when the last of the leading ones starts, in 100-ns units

    // True when the file ends before the samples do, but holds some from the start.
    bool CutShort() const { return leadingInFile > 0 && leadingInFile < samples; }
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
// `headSize` bytes are `head`; other bytes come from `readAt` (which may be
// empty when the head is the whole file).
//  - The first box must be one a real file opens with: ftyp, styp, moov, mdat,
//    free, skip, wide or pnot (QuickTime files often open with the last four),
//    as LooksLikeIsoMedia tells; anything else is Unrecognised.
//  - Size 0 runs to the end of the file; size 1 carries a 64-bit size.
//  - Malformed, as the parser must not see them: a size no file offset can
//    reach; a `moov` that runs past the end of the file, is smaller than its
//    header or has a 64-bit size under 16; `ftyp` under 16 bytes; `uuid` too
//    small for its extended type.
//  - Anything else that is no box (a type that is not four printable
//    characters, a size under 8, a box other than `moov` running past the end)
//    ends the walk as trailing bytes: padding or garbage after the last box, or
//    a cut-short download. The platform plays such files.
//  - NoSampleData when the walk reaches the end of the file (or an mdat cut
//    short) without a `moov`, or when the first `moov`'s first video track
//    has tables that place samples and none lies wholly inside the file. `reach`, when given, is
//    what the tables said (no samples when they were not read).
MediaBoxCheck CheckTopLevelBoxes(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                                 const MediaReadAt& readAt = {}, VideoSampleReach* reach = nullptr);

// The same kind of look at an ASF file (WMV, WMA): the Header Object must
// open the file, be at least 30 bytes and end within it, and the objects it
// holds must each be at least 24 bytes and end within it. When the file ends
// before a Data Object's first packet (of the size the File Properties Object
// gives, else one byte), NoSampleData. A file that holds fewer packets than
// its Data Object counts is cut short: `reach`, when given, then says how many
// it holds and when the last video frame they end is presented; NoSampleData
// when they end none. The rest is the parser's to judge.
MediaBoxCheck CheckAsfHeader(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                             const MediaReadAt& readAt = {}, VideoSampleReach* reach = nullptr);

} // namespace Quivane
