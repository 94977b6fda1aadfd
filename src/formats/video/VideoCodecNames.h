#pragma once
// A video codec for people: its name from the stream's type, and where
// Windows has none built in, the Store extension that adds it.
#include <cstdint>

namespace Quivane {

struct VideoCodecName {
    const wchar_t* name = nullptr;            // "H.264"; null when not known
    const wchar_t* storeExtension = nullptr;  // "HEVC Video Extensions"; null when none is needed or known
};

// The platform's video subtypes are a four-character code in the first field
// of a fixed GUID (`fourcc` is that field); MPEG-1 and MPEG-2 have GUIDs of
// their own, given as `mpegVersion` 1 or 2 (0 otherwise).
VideoCodecName NameVideoCodec(std::uint32_t fourcc, int mpegVersion = 0);

} // namespace Quivane
