#pragma once
// Whether an AVI or Matroska (WebM) file holds the start of its media data:
// given a file cut before its first data chunk or cluster, the platform's
// reader may wait for ever for data that will never come. Only chunk and
// element headers are read, up to the first data.
#include "MediaBoxWalk.h"

namespace Quivane {

// True when the first bytes start like the format asked about.
bool LooksLikeAvi(const std::uint8_t* head, std::size_t size);
bool LooksLikeMatroska(const std::uint8_t* head, std::size_t size);

// AVI: the RIFF chunks in the file, up to the `movi` list. NoSampleData when
// the file ends before the list's first chunk does; Plausible otherwise,
// including any layout the walk does not follow (the parser's to judge).
MediaBoxCheck CheckAviData(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                           const MediaReadAt& readAt = {});

// Matroska and WebM: the EBML header, then the Segment's children up to the
// first Cluster, then its children up to the first block. NoSampleData when
// the file ends before that block does; Plausible otherwise.
MediaBoxCheck CheckMatroskaData(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                                const MediaReadAt& readAt = {});

} // namespace Quivane
