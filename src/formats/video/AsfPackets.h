#pragma once
// The data packets of an ASF file (WMV, WMA) read as far as their payload
// headers: which stream each payload belongs to, and when the media object
// it ends is presented. A file cut short holds only its first packets; the
// still must come from the video frames they hold whole.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

// What the header objects say that the packets need.
struct AsfLayout {
    std::uint32_t packetSize = 0;           // fixed packet size (File Properties: minimum = maximum)
    std::uint64_t prerollMs = 0;            // subtracted from every presentation time
    std::vector<std::uint8_t> videoStreams; // stream numbers of video streams; empty when none was named
};

// What one packet holds of the video streams.
struct AsfPacketVideo {
    bool endsAFrame = false;  // some video payload ends its media object here
    std::uint64_t lastEnd = 0; // when the latest such object is presented, in 100-ns units after the preroll
};

// Reads a packet of `layout.packetSize` bytes. False when its headers do not
// fit or make no sense; the packet is then taken to hold nothing.
bool ReadAsfPacket(const std::uint8_t* packet, std::size_t size, const AsfLayout& layout, AsfPacketVideo& video);

// The fields of the header objects that AsfLayout collects, read from an
// object's whole bytes (its GUID and size included).
void ReadAsfFileProperties(const std::uint8_t* object, std::size_t size, AsfLayout& layout);
void ReadAsfStreamProperties(const std::uint8_t* object, std::size_t size, AsfLayout& layout);

extern const std::uint8_t kAsfFilePropertiesGuid[16];
extern const std::uint8_t kAsfStreamPropertiesGuid[16];

} // namespace Quivane
