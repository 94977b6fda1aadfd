#include "MediaBoxWalk.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace Quivane {
namespace {

constexpr std::size_t kBoxHeaderSize = 8;
constexpr std::size_t kLargeBoxHeaderSize = 16;
constexpr std::size_t kUuidSize = 16;
constexpr std::size_t kBrandAndVersionSize = 8;
constexpr std::size_t kAsfObjectHeaderSize = 24; // GUID and 64-bit size
constexpr std::size_t kAsfHeaderObjectMinimum = 30; // plus object count and two reserved bytes

constexpr std::uint8_t kAsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

// Header bytes come from the head when it holds them, else from the reader.
class HeaderSource {
public:
    HeaderSource(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize, const MediaReadAt& readAt)
        : head_(head), headSize_(head == nullptr ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(headSize, fileSize))),
          readAt_(readAt) {}

    bool Read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
        if (offset <= headSize_ && count <= headSize_ - offset) {
            std::memcpy(out, head_ + offset, count);
            return true;
        }
        return readAt_ && readAt_(offset, out, count);
    }

private:
    const std::uint8_t* head_;
    std::size_t headSize_;
    const MediaReadAt& readAt_;
};

std::uint64_t BigEndian(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
    return value;
}

std::uint64_t LittleEndian(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = count; i > 0; --i) value = (value << 8) | bytes[i - 1];
    return value;
}

bool TypeIs(const std::uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

bool IsPrintableType(const std::uint8_t* type) {
    return std::all_of(type, type + 4, [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}

// Boxes a real file opens with: ISO files put `ftyp` (or `styp` for a
// segment) first; QuickTime files may start straight with the movie, its
// data, padding or a preview.
constexpr char kLeadingTypes[][5] = {"ftyp", "styp", "moov", "mdat", "free", "skip", "wide", "pnot"};

bool IsLeadingType(const std::uint8_t* type) {
    return std::any_of(std::begin(kLeadingTypes), std::end(kLeadingTypes),
                       [type](const char* name) { return TypeIs(type, name); });
}

} // namespace

bool LooksLikeIsoMedia(const std::uint8_t* head, std::size_t size) {
    if (head == nullptr || size < kBoxHeaderSize) return false;
    const std::uint8_t* type = head + 4;
    if (TypeIs(type, "ftyp")) return true;
    const std::uint64_t boxSize = BigEndian(head, 4);
    return IsLeadingType(type) && (boxSize <= 1 || boxSize >= kBoxHeaderSize);
}

MediaBoxCheck CheckTopLevelBoxes(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                                 const MediaReadAt& readAt) {
    const HeaderSource source(head, headSize, fileSize, readAt);
    std::uint64_t offset = 0;
    for (std::uint32_t count = 0;; ++count) {
        const std::uint64_t left = fileSize - offset;
        // A few stray bytes after the last box are no box the parser could misread.
        if (left < kBoxHeaderSize) return count == 0 ? MediaBoxCheck::Unrecognised : MediaBoxCheck::Plausible;
        if (count == kMaxTopLevelBoxes) return MediaBoxCheck::TooManyBoxes;

        std::uint8_t header[kLargeBoxHeaderSize];
        if (!source.Read(offset, header, kBoxHeaderSize)) return MediaBoxCheck::Unreadable;
        if (count == 0 && !LooksLikeIsoMedia(header, kBoxHeaderSize)) return MediaBoxCheck::Unrecognised;
        const std::uint8_t* type = header + 4;
        if (!IsPrintableType(type)) return MediaBoxCheck::Malformed;

        std::uint64_t boxSize = BigEndian(header, 4);
        std::uint64_t headerSize = kBoxHeaderSize;
        if (boxSize == 1) {
            if (left < kLargeBoxHeaderSize) return MediaBoxCheck::Malformed;
            if (!source.Read(offset + kBoxHeaderSize, header + kBoxHeaderSize, 8)) return MediaBoxCheck::Unreadable;
            boxSize = BigEndian(header + kBoxHeaderSize, 8);
            headerSize = kLargeBoxHeaderSize;
            if (boxSize < kLargeBoxHeaderSize) return MediaBoxCheck::Malformed;
        } else if (boxSize == 0) {
            boxSize = left;
        } else if (boxSize < kBoxHeaderSize) {
            return MediaBoxCheck::Malformed;
        }
        // The parser reads these fields whatever the box claims to hold.
        if (TypeIs(type, "uuid") && boxSize < headerSize + kUuidSize) return MediaBoxCheck::Malformed;
        if (TypeIs(type, "ftyp") && boxSize < headerSize + kBrandAndVersionSize) return MediaBoxCheck::Malformed;

        if (boxSize > left) return TypeIs(type, "mdat") ? MediaBoxCheck::Plausible : MediaBoxCheck::Malformed;
        offset += boxSize;
    }
}

MediaBoxCheck CheckAsfHeader(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                             const MediaReadAt& readAt) {
    const HeaderSource source(head, headSize, fileSize, readAt);
    std::uint8_t header[kAsfHeaderObjectMinimum];
    if (fileSize < sizeof(kAsfHeaderGuid)) return MediaBoxCheck::Unrecognised;
    if (!source.Read(0, header, sizeof(kAsfHeaderGuid))) return MediaBoxCheck::Unreadable;
    if (std::memcmp(header, kAsfHeaderGuid, sizeof(kAsfHeaderGuid)) != 0) return MediaBoxCheck::Unrecognised;
    if (fileSize < kAsfHeaderObjectMinimum) return MediaBoxCheck::Malformed;
    if (!source.Read(0, header, kAsfHeaderObjectMinimum)) return MediaBoxCheck::Unreadable;
    const std::uint64_t headerObjectSize = LittleEndian(header + 16, 8);
    if (headerObjectSize < kAsfHeaderObjectMinimum || headerObjectSize > fileSize) return MediaBoxCheck::Malformed;

    std::uint64_t offset = kAsfHeaderObjectMinimum;
    for (std::uint32_t count = 0;; ++count) {
        const std::uint64_t left = headerObjectSize - offset;
        if (left < kAsfObjectHeaderSize) return MediaBoxCheck::Plausible;
        if (count == kMaxTopLevelBoxes) return MediaBoxCheck::TooManyBoxes;
        std::uint8_t object[kAsfObjectHeaderSize];
        if (!source.Read(offset, object, kAsfObjectHeaderSize)) return MediaBoxCheck::Unreadable;
        const std::uint64_t objectSize = LittleEndian(object + 16, 8);
        if (objectSize < kAsfObjectHeaderSize || objectSize > left) return MediaBoxCheck::Malformed;
        offset += objectSize;
    }
}

} // namespace Quivane
