// ASF files cut short: the packets the file holds against the count its Data
// Object gives, and the video frames those packets end.
#include "formats/video/AsfPackets.h"
#include "formats/video/MediaBoxWalk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace Quivane;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kPacketSize = 200;
constexpr std::uint64_t kPrerollMs = 3100;
constexpr std::uint8_t kVideo = 1;
constexpr std::uint8_t kAudio = 2;

const std::uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                      0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const std::uint8_t kDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                    0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const std::uint8_t kVideoMediaGuid[16] = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                                          0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
const std::uint8_t kAudioMediaGuid[16] = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                                          0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};

void Put(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

Bytes StreamProperties(const std::uint8_t (&type)[16], std::uint8_t number) {
    Bytes out(kAsfStreamPropertiesGuid, kAsfStreamPropertiesGuid + 16);
    Put(out, 78, 8);
    out.insert(out.end(), type, type + 16);
    out.resize(72, 0); // error correction type, time offset, data lengths
    Put(out, number, 2);
    out.resize(78, 0);
    return out;
}

// One payload of a packet: part of media object `object` of `objectSize`
// bytes, presented at `timeMs`, from `offset` on, `length` bytes.
struct Payload {
    std::uint8_t stream;
    std::uint32_t objectSize, offset, length, timeMs;
};

// A packet as writers make them: error correction data, byte-sized padding,
// several payloads each with a word for its length and 8 bytes of replicated data.
Bytes Packet(const std::vector<Payload>& payloads) {
    Bytes out = {0x82, 0x00, 0x00, 0x09, 0x5D};
    const std::size_t paddingAt = out.size();
    out.push_back(0);
    Put(out, 1000, 4); // send time
    Put(out, 0, 2);
    out.push_back(static_cast<std::uint8_t>(0x80 | payloads.size()));
    for (const Payload& p : payloads) {
        out.push_back(static_cast<std::uint8_t>(p.stream | 0x80));
        out.push_back(1); // media object number
        Put(out, p.offset, 4);
        out.push_back(8);
        Put(out, p.objectSize, 4);
        Put(out, p.timeMs, 4);
        Put(out, p.length, 2);
        out.insert(out.end(), p.length, 0x55);
    }
    out[paddingAt] = static_cast<std::uint8_t>(kPacketSize - out.size());
    out.resize(kPacketSize, 0);
    return out;
}

// A header with File Properties, a video and an audio stream, then a Data
// Object that counts `packets` packets, of which `held` are in the file.
Bytes Asf(const std::vector<Bytes>& held, std::uint64_t packets, bool namesStreams = true) {
    Bytes properties(kAsfFilePropertiesGuid, kAsfFilePropertiesGuid + 16);
    Put(properties, 104, 8);
    properties.resize(80, 0);
    Put(properties, kPrerollMs, 8);
    Put(properties, 2, 4);
    Put(properties, kPacketSize, 4);
    Put(properties, kPacketSize, 4);
    Put(properties, 0, 4);
    Bytes children = properties;
    if (namesStreams) {
        for (const Bytes& stream : {StreamProperties(kVideoMediaGuid, kVideo), StreamProperties(kAudioMediaGuid, kAudio)}) {
            children.insert(children.end(), stream.begin(), stream.end());
        }
    }
    Bytes out(kHeaderGuid, kHeaderGuid + 16);
    Put(out, 30 + children.size(), 8);
    Put(out, namesStreams ? 3 : 1, 4);
    out.insert(out.end(), {0x01, 0x02});
    out.insert(out.end(), children.begin(), children.end());
    out.insert(out.end(), kDataGuid, kDataGuid + 16);
    Put(out, 50 + packets * kPacketSize, 8);
    out.resize(out.size() + 16, 0); // file ID
    Put(out, packets, 8);
    out.insert(out.end(), {0x01, 0x01});
    for (const Bytes& packet : held) out.insert(out.end(), packet.begin(), packet.end());
    return out;
}

MediaBoxCheck Check(const Bytes& file, VideoSampleReach& reach) {
    return CheckAsfHeader(file.data(), file.size(), file.size(), {}, &reach);
}

constexpr std::uint64_t Ticks(std::uint64_t ms) { return (ms - kPrerollMs) * 10000; }

} // namespace

TEST(CheckAsfHeader, AFileCutShortIsSeenFromItsPacketCount) {
    // Frame 0 spans the first two packets; frame 1 fits in the third, beside audio.
    const std::vector<Bytes> packets = {
        Packet({{kVideo, 250, 0, 150, 3100}}),
        Packet({{kVideo, 250, 150, 100, 3100}, {kAudio, 40, 0, 40, 3120}}),
        Packet({{kAudio, 40, 0, 40, 3150}, {kVideo, 90, 0, 90, 3140}}),
        Packet({{kVideo, 300, 0, 150, 3180}}),
    };
    struct Case {
        std::size_t held;
        MediaBoxCheck check;
        std::uint64_t lastHeld; // when the last whole frame held is presented
    };
    for (const Case& c : {Case{1, MediaBoxCheck::NoSampleData, 0}, Case{2, MediaBoxCheck::Plausible, Ticks(3100)},
                          Case{3, MediaBoxCheck::Plausible, Ticks(3140)},
                          Case{4, MediaBoxCheck::Plausible, Ticks(3140)}}) { // the last one is a frame's start only
        SCOPED_TRACE(c.held);
        VideoSampleReach reach;
        const Bytes file = Asf(std::vector<Bytes>(packets.begin(), packets.begin() + c.held), 30);
        EXPECT_EQ(Check(file, reach), c.check);
        EXPECT_EQ(reach.samples, 30u);
        EXPECT_EQ(reach.leadingInFile, c.held);
        EXPECT_EQ(reach.anyInFile, c.check == MediaBoxCheck::Plausible);
        EXPECT_EQ(reach.lastLeadingTime, c.lastHeld);
        EXPECT_TRUE(reach.CutShort());
    }

    // Every packet counted is there: nothing to judge.
    VideoSampleReach whole;
    EXPECT_EQ(Check(Asf(packets, 4), whole), MediaBoxCheck::Plausible);
    EXPECT_FALSE(whole.CutShort());
    EXPECT_EQ(whole.samples, 0u);
    // A count of 0 (a broadcast's, unknown) is no count.
    EXPECT_EQ(Check(Asf({packets[0]}, 0), whole), MediaBoxCheck::Plausible);
}

TEST(CheckAsfHeader, PacketsOfAudioAloneHoldNoVideoFrame) {
    const Bytes audio = Packet({{kAudio, 40, 0, 40, 3100}, {kAudio, 40, 0, 40, 3140}});
    VideoSampleReach reach;
    EXPECT_EQ(Check(Asf({audio, audio, audio}, 10), reach), MediaBoxCheck::NoSampleData);
    // A header that names no stream's type: every stream may be the video.
    EXPECT_EQ(Check(Asf({audio}, 10, false), reach), MediaBoxCheck::Plausible);
    EXPECT_EQ(reach.lastLeadingTime, Ticks(3140));
}

TEST(ReadAsfPacket, HeadersThatDoNotFitHoldNothing) {
    AsfLayout layout;
    layout.packetSize = kPacketSize;
    layout.prerollMs = kPrerollMs;
    layout.videoStreams = {kVideo};
    AsfPacketVideo video;
    Bytes packet = Packet({{kVideo, 90, 0, 90, 3200}});
    ASSERT_TRUE(ReadAsfPacket(packet.data(), packet.size(), layout, video));
    EXPECT_TRUE(video.endsAFrame);
    EXPECT_EQ(video.lastEnd, Ticks(3200));

    // Without error correction data, the packet starts with its flags.
    Bytes plain(packet.begin() + 3, packet.end());
    ASSERT_TRUE(ReadAsfPacket(plain.data(), plain.size(), layout, video));
    EXPECT_TRUE(video.endsAFrame);

    struct Damage {
        const char* name;
        std::size_t at;
        std::uint8_t value;
    };
    for (const Damage& d : {Damage{"error correction of another type", 0, 0xA2},
                            Damage{"stream numbers not a byte", 4, 0x9D},
                            Damage{"padding past the end", 5, 0xFF},
                            Damage{"a payload longer than the packet", 29, 0xFF}}) {
        SCOPED_TRACE(d.name);
        Bytes damaged = packet;
        damaged[d.at] = d.value;
        EXPECT_FALSE(ReadAsfPacket(damaged.data(), damaged.size(), layout, video));
        EXPECT_FALSE(video.endsAFrame);
    }
    for (std::size_t size = 0; size < 30; ++size) {
        EXPECT_FALSE(ReadAsfPacket(packet.data(), size, layout, video)) << size;
    }
}
