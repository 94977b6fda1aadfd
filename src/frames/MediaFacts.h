#pragma once
// What a person is told about the media on screen: its format, its size and,
// for a video, the codec of its pictures.
#include <cstdint>
#include <string>

namespace Quivane {

struct MediaFacts {
    std::wstring format;         // "GIF", "PNG", "WebP", "MP4", ...
    std::uint32_t width = 0;     // the canvas's or the video frame's size in pixels; 0 when unknown
    std::uint32_t height = 0;
    std::wstring codec;          // a video's codec for people ("H.264"); empty when unknown or not a video
    std::wstring codecExtension; // the Store extension that adds the codec to Windows; empty when none
};

} // namespace Quivane
