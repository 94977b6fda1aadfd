#pragma once
// Where the samples of a file's first video track lie, from its sample
// tables, measured against the bytes the file holds. A file cut before its
// media data (a download stopped early, a recording interrupted after a
// "fast start" movie box was written) lists samples the file does not hold;
// the platform's reader then waits for ever for data that will never come.
#include "MediaBoxWalk.h"

#include <cstdint>

namespace Quivane {

class MediaByteSource;

// Reads the `moov` box whose contents run from `payload` to `end`:
// the first track whose handler is 'vide', its media timescale and edit, and
// its sample tables (stco or co64, stsz, stsc, stts). Tables that are absent,
// empty (a fragmented file keeps its samples in movie fragments) or do not
// agree with each other leave `reach` with no samples: nothing is judged.
// Only the table boxes are read, in blocks, whatever the movie's size.
// Malformed when a box inside the movie's containers (moov, trak, mdia,
// minf, stbl, dinf, edts, mvex) runs past its parent's end: the platform's
// reader has been seen to stop for good on such a file (a flipped bit in a
// dinf size), and every later load in the process with it.
[[nodiscard]] MediaBoxCheck ReadVideoSampleReach(const MediaByteSource& source, std::uint64_t payload,
                                                 std::uint64_t end, VideoSampleReach& reach);

} // namespace Quivane
