#pragma once
// One file format as the rest of the system sees it: how it is recognised,
// how it is decoded and how the shell is told about it. Each format's folder
// makes its own row; FormatTable lists them. No Windows header: the choice
// rules and the registration layout are tested natively.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Quivane {

class FrameSource;
class StopToken;
// The caller owns the result; null when out of memory. The source keeps a copy of the token.
using CreateFrameSourceFunction = FrameSource* (*)(const StopToken& stop);

enum class MediaKind { Animation, Video };

struct FormatRow {
    const wchar_t* name;                      // for people: "GIF"
    MediaKind kind;
    std::vector<std::wstring_view> extensions; // lower case, with the dot; the first is the usual one
    bool (*sniff)(const std::uint8_t* bytes, std::size_t count);
    CreateFrameSourceFunction createSource;   // null in builds without the platform's decoders
    // Videos are decoded straight from the source stream, however large;
    // every other file is first copied into memory.
    bool decodesFromStream;
    // Decoded by our own code, which gives up at a load's deadline by itself;
    // the others go through a platform decoder that may never return.
    bool ownDecoder;
    const wchar_t* progId;                    // the system's file type to register under too, or null
};

// The first bytes a sniff may look at.
constexpr std::size_t kSniffHeaderSize = 32;

// Whether `bytes` hold `expected` at `offset`.
bool BytesAt(const std::uint8_t* bytes, std::size_t count, std::size_t offset, const void* expected,
             std::size_t length);

} // namespace Quivane
