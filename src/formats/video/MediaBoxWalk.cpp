#include "MediaBoxWalk.h"

#include "AsfPackets.h"
#include "MediaByteSource.h"
#include "MediaSampleTables.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

namespace Quivane {
namespace {

constexpr std::size_t kBoxHeaderSize = 8;
constexpr std::size_t kLargeBoxHeaderSize = 16;
constexpr std::size_t kUuidSize = 16;
constexpr std::size_t kBrandAndVersionSize = 8;
constexpr std::size_t kAsfObjectHeaderSize = 24; // GUID and 64-bit size
constexpr std::size_t kAsfHeaderObjectMinimum = 30; // plus object count and two reserved bytes
constexpr std::uint64_t kAsfDataObjectHeaderSize = 50; // plus file ID, packet count and two reserved bytes
constexpr std::uint64_t kAsfMinimumPacketSizeAt = 92;  // in the File Properties Object
constexpr std::uint64_t kAsfPacketCountAt = 40;        // in the Data Object
// Packets are a few kilobytes; a file that claims more is not followed packet by packet.
constexpr std::uint32_t kAsfLargestScannedPacket = 1u << 20;
// File offsets are signed 64-bit numbers to the parsers.
constexpr std::uint64_t kLargestOffset = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

constexpr std::uint8_t kAsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr std::uint8_t kAsfDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

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

// What one top-level header says, before the walk judges it.
enum class BoxRead { Box, NotABox, Unreadable };

struct TopLevelBox {
    std::uint64_t size = 0;
    std::uint64_t headerSize = kBoxHeaderSize;
    bool sizeFits = true; // the box ends within the file
};

BoxRead ReadTopLevelBox(const MediaByteSource& source, std::uint64_t offset, std::uint8_t* header, TopLevelBox& box) {
    const std::uint64_t left = source.FileSize() - offset;
    if (!source.Read(offset, header, kBoxHeaderSize)) return BoxRead::Unreadable;
    box.size = BigEndian(header, 4);
    if (box.size == 1) {
        if (left < kLargeBoxHeaderSize) return BoxRead::NotABox;
        if (!source.Read(offset + kBoxHeaderSize, header + kBoxHeaderSize, 8)) return BoxRead::Unreadable;
        box.size = BigEndian(header + kBoxHeaderSize, 8);
        box.headerSize = kLargeBoxHeaderSize;
        if (box.size < kLargeBoxHeaderSize) return BoxRead::NotABox;
    } else if (box.size == 0) {
        box.size = left;
    } else if (box.size < kBoxHeaderSize) {
        return BoxRead::NotABox;
    }
    box.sizeFits = box.size <= left;
    return BoxRead::Box;
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
                                 const MediaReadAt& readAt, VideoSampleReach* reachOut) {
    const MediaByteSource source(head, headSize, fileSize, readAt);
    VideoSampleReach reach;
    bool movieRead = false;
    bool reachedEnd = true; // false when bytes that are no box ended the walk
    MediaBoxCheck check = MediaBoxCheck::Plausible;
    std::uint64_t offset = 0;
    for (std::uint32_t count = 0;; ++count) {
        const std::uint64_t left = fileSize - offset;
        // A few stray bytes after the last box are no box the parser could misread.
        if (left < kBoxHeaderSize) {
            if (count == 0) return MediaBoxCheck::Unrecognised;
            break;
        }
        if (count == kMaxTopLevelBoxes) return MediaBoxCheck::TooManyBoxes;

        std::uint8_t header[kLargeBoxHeaderSize];
        TopLevelBox box;
        const BoxRead read = ReadTopLevelBox(source, offset, header, box);
        if (read == BoxRead::Unreadable) return MediaBoxCheck::Unreadable;
        if (count == 0 && !LooksLikeIsoMedia(header, kBoxHeaderSize)) return MediaBoxCheck::Unrecognised;
        const std::uint8_t* type = header + 4;
        const bool movie = TypeIs(type, "moov");
        if (read == BoxRead::Box && box.headerSize == kLargeBoxHeaderSize && box.size > kLargestOffset - offset) {
            return MediaBoxCheck::Malformed; // a size no file offset can reach
        }
        if (movie && (read == BoxRead::NotABox || !box.sizeFits)) return MediaBoxCheck::Malformed;
        // The box a file opens with is no trailing garbage.
        if (count == 0 && (read == BoxRead::NotABox || (!box.sizeFits && !TypeIs(type, "mdat")))) {
            return MediaBoxCheck::Malformed;
        }
        // Padding, garbage or a cut-short box after the last whole one: the end of the walk.
        if (read == BoxRead::NotABox || !IsPrintableType(type)) {
            reachedEnd = false;
            break;
        }
        // The parser reads these fields whatever the box claims to hold.
        if (TypeIs(type, "uuid") && box.size < box.headerSize + kUuidSize) return MediaBoxCheck::Malformed;
        if (TypeIs(type, "ftyp") && box.size < box.headerSize + kBrandAndVersionSize) return MediaBoxCheck::Malformed;
        if (!box.sizeFits) { // an mdat cut short: the platform still plays it when the movie came first
            reachedEnd = TypeIs(type, "mdat");
            break;
        }
        if (movie && !movieRead) {
            const MediaBoxCheck movieCheck = ReadVideoSampleReach(source, offset + box.headerSize, offset + box.size, reach);
            if (movieCheck != MediaBoxCheck::Plausible) return movieCheck;
            movieRead = true;
        }
        offset += box.size;
    }
    if (reach.samples > 0 && !reach.anyInFile) check = MediaBoxCheck::NoSampleData;
    // A whole walk without a movie box: a download or recording cut before
    // its movie was written. Nothing in it can play, and the platform's
    // reader has been seen to wait for ever on such a file.
    if (!movieRead && reachedEnd) check = MediaBoxCheck::NoSampleData;
    if (reachOut != nullptr) *reachOut = reach;
    return check;
}

namespace {

// A file cut short holds the first `present` of its packets: the still must
// come from the video frames they hold whole. NoSampleData when none does.
MediaBoxCheck ReachAsfPackets(const MediaByteSource& source, std::uint64_t packetsAt, std::uint64_t packets,
                              const AsfLayout& layout, VideoSampleReach& reach) {
    const std::uint64_t present = (source.FileSize() - packetsAt) / layout.packetSize;
    if (present >= packets) return MediaBoxCheck::Plausible;
    reach.samples = packets;
    reach.leadingInFile = present;
    std::vector<std::uint8_t> packet(layout.packetSize);
    // From the last packet back: the latest frame is usually in the last few.
    for (std::uint64_t index = present, count = 0; index-- > 0 && count < kMaxTopLevelBoxes; ++count) {
        if (!source.Read(packetsAt + index * layout.packetSize, packet.data(), packet.size())) {
            return MediaBoxCheck::Unreadable;
        }
        AsfPacketVideo video;
        if (ReadAsfPacket(packet.data(), packet.size(), layout, video) && video.endsAFrame) {
            reach.anyInFile = true;
            reach.lastLeadingTime = video.lastEnd;
            return MediaBoxCheck::Plausible;
        }
    }
    return present <= kMaxTopLevelBoxes ? MediaBoxCheck::NoSampleData : MediaBoxCheck::Plausible;
}

} // namespace

MediaBoxCheck CheckAsfHeader(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                             const MediaReadAt& readAt, VideoSampleReach* reach) {
    const MediaByteSource source(head, headSize, fileSize, readAt);
    std::uint8_t header[kAsfHeaderObjectMinimum];
    if (fileSize < sizeof(kAsfHeaderGuid)) return MediaBoxCheck::Unrecognised;
    if (!source.Read(0, header, sizeof(kAsfHeaderGuid))) return MediaBoxCheck::Unreadable;
    if (std::memcmp(header, kAsfHeaderGuid, sizeof(kAsfHeaderGuid)) != 0) return MediaBoxCheck::Unrecognised;
    if (fileSize < kAsfHeaderObjectMinimum) return MediaBoxCheck::Malformed;
    if (!source.Read(0, header, kAsfHeaderObjectMinimum)) return MediaBoxCheck::Unreadable;
    const std::uint64_t headerObjectSize = LittleEndian(header + 16, 8);
    if (headerObjectSize < kAsfHeaderObjectMinimum || headerObjectSize > fileSize) return MediaBoxCheck::Malformed;

    std::uint64_t packetSize = 1; // at least one byte of packet when the header names no size
    AsfLayout layout;
    std::uint64_t offset = kAsfHeaderObjectMinimum;
    for (std::uint32_t count = 0;; ++count) {
        const std::uint64_t left = headerObjectSize - offset;
        if (left < kAsfObjectHeaderSize) break;
        if (count == kMaxTopLevelBoxes) return MediaBoxCheck::TooManyBoxes;
        std::uint8_t object[kAsfObjectHeaderSize + 100]; // the fields read of the objects below
        if (!source.Read(offset, object, kAsfObjectHeaderSize)) return MediaBoxCheck::Unreadable;
        const std::uint64_t objectSize = LittleEndian(object + 16, 8);
        if (objectSize < kAsfObjectHeaderSize || objectSize > left) return MediaBoxCheck::Malformed;
        const std::size_t fields = static_cast<std::size_t>(std::min<std::uint64_t>(objectSize, sizeof(object)));
        const bool properties = std::memcmp(object, kAsfFilePropertiesGuid, 16) == 0;
        const bool stream = std::memcmp(object, kAsfStreamPropertiesGuid, 16) == 0;
        if ((properties || stream) && source.Read(offset, object, fields)) {
            if (properties && objectSize >= kAsfMinimumPacketSizeAt + 4) {
                packetSize = std::max<std::uint64_t>(LittleEndian(object + kAsfMinimumPacketSizeAt, 4), 1);
            }
            if (properties) ReadAsfFileProperties(object, fields, layout);
            if (stream) ReadAsfStreamProperties(object, fields, layout);
        }
        offset += objectSize;
    }

    // The data follows the header: its first packet must be in the file.
    const std::uint64_t dataAt = headerObjectSize;
    if (fileSize - dataAt < kAsfObjectHeaderSize) return MediaBoxCheck::NoSampleData;
    std::uint8_t data[kAsfDataObjectHeaderSize];
    if (!source.Read(dataAt, data, kAsfObjectHeaderSize)) return MediaBoxCheck::Unreadable;
    if (std::memcmp(data, kAsfDataGuid, 16) != 0) return MediaBoxCheck::Plausible; // the parser's to judge
    const std::uint64_t packetsAt = dataAt + kAsfDataObjectHeaderSize;
    if (packetsAt > fileSize || packetSize > fileSize - packetsAt) return MediaBoxCheck::NoSampleData;
    // The packet count, against the packets the file holds. A broadcast's count
    // may be 0 (unknown), and packets of varying size cannot be counted.
    if (!source.Read(dataAt, data, kAsfDataObjectHeaderSize)) return MediaBoxCheck::Unreadable;
    const std::uint64_t packets = LittleEndian(data + kAsfPacketCountAt, 8);
    if (packets == 0 || layout.packetSize == 0 || layout.packetSize > kAsfLargestScannedPacket) {
        return MediaBoxCheck::Plausible;
    }
    VideoSampleReach found;
    const MediaBoxCheck check = ReachAsfPackets(source, packetsAt, packets, layout, found);
    if (reach != nullptr) *reach = found;
    return check;
}

} // namespace Quivane
