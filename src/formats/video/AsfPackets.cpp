#include "AsfPackets.h"

#include "MediaByteSource.h"

#include <algorithm>
#include <cstring>

namespace Quivane {

const std::uint8_t kAsfFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const std::uint8_t kAsfStreamPropertiesGuid[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                                   0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

namespace {

constexpr std::uint8_t kAsfVideoMediaGuid[16] = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                                                 0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
// Offsets inside the objects, their 24-byte headers included.
constexpr std::size_t kPrerollAt = 80;
constexpr std::size_t kMinimumPacketSizeAt = 92;
constexpr std::size_t kStreamTypeAt = 24;
constexpr std::size_t kStreamFlagsAt = 72;

// Reads the packet's fields in order; once a field runs past the end, every
// later read gives 0 and Ok() stays false.
class FieldCursor {
public:
    FieldCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    // A field of the two-bit length type the flags give: none, 1, 2 or 4 bytes.
    std::uint32_t Field(unsigned lengthType) {
        static const std::size_t kBytes[4] = {0, 1, 2, 4};
        return static_cast<std::uint32_t>(Take(kBytes[lengthType & 3]));
    }
    std::uint64_t Take(std::size_t bytes) {
        if (!ok_ || bytes > size_ - at_) {
            ok_ = false;
            return 0;
        }
        const std::uint64_t value = LittleEndian(data_ + at_, bytes);
        at_ += bytes;
        return value;
    }
    bool Skip(std::size_t bytes) {
        Take(0);
        if (!ok_ || bytes > size_ - at_) return ok_ = false;
        at_ += bytes;
        return true;
    }
    const std::uint8_t* Here() const { return data_ + at_; }
    std::size_t Left() const { return size_ - at_; }
    bool Ok() const { return ok_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

bool IsVideo(std::uint8_t stream, const AsfLayout& layout) {
    return layout.videoStreams.empty() ||
           std::find(layout.videoStreams.begin(), layout.videoStreams.end(), stream) != layout.videoStreams.end();
}

} // namespace

void ReadAsfFileProperties(const std::uint8_t* object, std::size_t size, AsfLayout& layout) {
    if (size < kMinimumPacketSizeAt + 8) return;
    layout.prerollMs = LittleEndian(object + kPrerollAt, 8);
    const std::uint64_t minimum = LittleEndian(object + kMinimumPacketSizeAt, 4);
    const std::uint64_t maximum = LittleEndian(object + kMinimumPacketSizeAt + 4, 4);
    layout.packetSize = minimum == maximum ? static_cast<std::uint32_t>(minimum) : 0;
}

void ReadAsfStreamProperties(const std::uint8_t* object, std::size_t size, AsfLayout& layout) {
    if (size < kStreamFlagsAt + 2 || std::memcmp(object + kStreamTypeAt, kAsfVideoMediaGuid, 16) != 0) return;
    layout.videoStreams.push_back(static_cast<std::uint8_t>(object[kStreamFlagsAt] & 0x7F));
}

bool ReadAsfPacket(const std::uint8_t* packet, std::size_t size, const AsfLayout& layout, AsfPacketVideo& video) {
    video = AsfPacketVideo{};
    FieldCursor cursor(packet, size);
    std::uint8_t flags = static_cast<std::uint8_t>(cursor.Take(1));
    if (flags & 0x80) { // error correction data, then the payload parsing information
        if (flags & 0x60) return false; // only its data of a stated length is defined
        cursor.Skip(flags & 0x0F);
        flags = static_cast<std::uint8_t>(cursor.Take(1));
    }
    const std::uint8_t properties = static_cast<std::uint8_t>(cursor.Take(1));
    cursor.Field(flags >> 5);                          // packet length
    cursor.Field(flags >> 1);                          // sequence
    const std::uint32_t padding = cursor.Field(flags >> 3);
    const std::uint32_t sendTimeMs = static_cast<std::uint32_t>(cursor.Take(4));
    cursor.Take(2);                                    // duration
    const bool multiple = (flags & 1) != 0;
    const std::uint8_t payloadFlags = multiple ? static_cast<std::uint8_t>(cursor.Take(1)) : 0;
    const unsigned payloads = multiple ? payloadFlags & 0x3F : 1;
    if (!cursor.Ok() || (properties >> 6) != 1 || padding > cursor.Left()) return false;

    for (unsigned i = 0; i < payloads; ++i) {
        const std::uint8_t stream = static_cast<std::uint8_t>(cursor.Take(1) & 0x7F);
        cursor.Field(properties >> 4);                                  // media object number
        const std::uint32_t offset = cursor.Field(properties >> 2);     // offset, or a time when compressed
        const std::uint32_t replicated = cursor.Field(properties);
        const std::uint32_t objectSize = replicated >= 8 ? static_cast<std::uint32_t>(LittleEndian(cursor.Here(), 4)) : 0;
        std::uint64_t timeMs = replicated >= 8 ? LittleEndian(cursor.Here() + 4, 4) : sendTimeMs;
        if (replicated == 1) timeMs = offset; // compressed payloads: each a whole small object
        if (!cursor.Ok() || replicated > cursor.Left()) return false;
        cursor.Skip(replicated);
        const std::size_t length = multiple ? cursor.Field(payloadFlags >> 6)
                                            : (cursor.Left() >= padding ? cursor.Left() - padding : 0);
        if (!cursor.Ok() || length > cursor.Left()) return false;
        cursor.Skip(length);
        const bool ends = replicated == 1 || (replicated >= 8 && std::uint64_t{offset} + length >= objectSize);
        if (ends && IsVideo(stream, layout)) {
            video.endsAFrame = true;
            const std::uint64_t time = (timeMs > layout.prerollMs ? timeMs - layout.prerollMs : 0) * 10000;
            video.lastEnd = std::max(video.lastEnd, time);
        }
    }
    return true;
}

} // namespace Quivane
