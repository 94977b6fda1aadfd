#include "renderers/MediaBoxWalk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <vector>

using namespace Quivane;

namespace {

using Bytes = std::vector<std::uint8_t>;

void PutBigEndian(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutLittleEndian(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A box whose size field says `declared` (the real size when 0 is not meant)
// and that holds `body` bytes.
Bytes Box(const char* type, std::size_t body, std::uint32_t declared) {
    Bytes out;
    PutBigEndian(out, declared, 4);
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body, 0x11);
    return out;
}

Bytes Box(const char* type, std::size_t body) { return Box(type, body, static_cast<std::uint32_t>(8 + body)); }

Bytes LargeBox(const char* type, std::size_t body, std::uint64_t declared) {
    Bytes out;
    PutBigEndian(out, 1, 4);
    out.insert(out.end(), type, type + 4);
    PutBigEndian(out, declared, 8);
    out.insert(out.end(), body, 0x22);
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Ftyp() {
    Bytes out = Box("ftyp", 0);
    out[3] = 20;
    const char brands[] = "isom\0\0\0\1mp41";
    out.insert(out.end(), brands, brands + 12);
    return out;
}

MediaBoxCheck Check(const Bytes& file) { return CheckTopLevelBoxes(file.data(), file.size(), file.size()); }

} // namespace

TEST(CheckTopLevelBoxes, WellFormedLayoutsArePlausible) {
    const Bytes files[] = {
        Join({Ftyp(), Box("moov", 40), Box("mdat", 100)}),
        Join({Ftyp(), Box("mdat", 100), Box("moov", 40), Box("udta", 0)}),
        Join({Box("wide", 0), Box("mdat", 30), Box("moov", 12)}), // QuickTime, no ftyp
        Join({Box("moov", 12), Box("mdat", 30)}),
        Join({Ftyp(), Box("moov", 16), LargeBox("mdat", 50, 66)}),
        Join({Ftyp(), Box("moov", 16), Box("mdat", 50, 0)}), // size 0: to the end of the file
        Join({Ftyp(), Box("moov", 16), Box("mdat", 0, 0)}),
        Join({Ftyp(), Box("uuid", 16), Box("zzzz", 4)}),       // unknown printable types pass
        Join({Ftyp(), Box("moov", 16), Bytes{0, 0, 0, 0}}),    // stray padding
    };
    for (const Bytes& file : files) {
        EXPECT_TRUE(LooksLikeIsoMedia(file.data(), file.size()));
        EXPECT_EQ(Check(file), MediaBoxCheck::Plausible);
    }
}

TEST(CheckTopLevelBoxes, SizesThePlatformParserMustNotSeeAreMalformed) {
    const Bytes files[] = {
        Join({Ftyp(), LargeBox("moov", 40, 0xFFFFFFFFFFFFFFF0ull), Box("mdat", 100)}), // the crashing case
        Join({Ftyp(), LargeBox("moov", 40, 15)}),
        Join({Ftyp(), Box("moov", 40, 7)}),
        Join({Ftyp(), Box("moov", 40, 1)}),                   // largesize cut off by the end of the file
        Join({Ftyp(), Box("moov", 40, 49)}),                  // moov runs past the end
        Join({Ftyp(), Box("mdat", 20), Box("moov", 40, 60)}), // only an mdat may
        Join({Ftyp(), Box("mo\x01v", 40)}),
        Join({Ftyp(), Box("moo\x80", 40)}),
        Join({Box("ftyp", 7)}),                 // no room for the brand and version
        Join({Ftyp(), Box("uuid", 15)}),        // no room for the extended type
        Join({Ftyp(), Box("uuid", 15, 0)}),
    };
    for (std::size_t i = 0; i < std::size(files); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Check(files[i]), MediaBoxCheck::Malformed);
    }
}

TEST(CheckTopLevelBoxes, CutShortMediaDataIsPlausible) {
    Bytes file = Join({Ftyp(), Box("moov", 40), Box("mdat", 1000)});
    file.resize(file.size() - 900);
    EXPECT_EQ(Check(file), MediaBoxCheck::Plausible);
    EXPECT_EQ(Check(Join({Ftyp(), Box("moov", 40), LargeBox("mdat", 10, 5000000000ull)})), MediaBoxCheck::Plausible);
}

TEST(CheckTopLevelBoxes, OtherFilesAreUnrecognised) {
    const Bytes files[] = {
        {},
        {0, 0, 0, 8, 'f', 't', 'y'},
        Box("RIFF", 20),
        Box("moov", 20, 5), // a leading box needs a size that could be real
        Join({Box("\x89PNG", 0), Box("IHDR", 13)}),
    };
    for (const Bytes& file : files) {
        EXPECT_FALSE(LooksLikeIsoMedia(file.data(), file.size()));
        EXPECT_EQ(Check(file), MediaBoxCheck::Unrecognised);
    }
    EXPECT_FALSE(LooksLikeIsoMedia(nullptr, 0));
}

TEST(CheckTopLevelBoxes, ReadsOnlyHeadersBeyondTheHead) {
    const Bytes file = Join({Ftyp(), Box("mdat", 5000), LargeBox("moov", 3000, 3016), Box("free", 100)});
    std::vector<std::uint64_t> offsets;
    bool fail = false;
    const MediaReadAt readAt = [&](std::uint64_t offset, std::uint8_t* out, std::size_t count) {
        offsets.push_back(offset);
        if (fail || offset > file.size() || count > file.size() - offset) return false;
        std::memcpy(out, file.data() + offset, count);
        return true;
    };
    EXPECT_EQ(CheckTopLevelBoxes(file.data(), 64, file.size(), readAt), MediaBoxCheck::Plausible);
    EXPECT_EQ(offsets, (std::vector<std::uint64_t>{5028, 5036, 8044})); // moov's two header reads, then free's

    offsets.clear();
    fail = true;
    EXPECT_EQ(CheckTopLevelBoxes(file.data(), 64, file.size(), readAt), MediaBoxCheck::Unreadable);
    EXPECT_EQ(CheckTopLevelBoxes(file.data(), 64, file.size()), MediaBoxCheck::Unreadable);
}

TEST(CheckTopLevelBoxes, StopsAtTheBoxCountCap) {
    Bytes file = Ftyp();
    for (std::uint32_t i = 1; i < kMaxTopLevelBoxes; ++i) {
        const Bytes free = Box("free", 0);
        file.insert(file.end(), free.begin(), free.end());
    }
    EXPECT_EQ(Check(file), MediaBoxCheck::Plausible);
    file.insert(file.end(), {0, 0, 0, 8, 'f', 'r', 'e', 'e'});
    EXPECT_EQ(Check(file), MediaBoxCheck::TooManyBoxes);
}

namespace {

const std::uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                      0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

Bytes AsfObject(std::uint8_t guidByte, std::uint64_t declared, std::size_t body) {
    Bytes out(16, guidByte);
    PutLittleEndian(out, declared, 8);
    out.insert(out.end(), body, 0x33);
    return out;
}

// A Header Object holding `children`, then a data object of 60 bytes.
Bytes Asf(const std::vector<Bytes>& children, std::uint64_t declared = 0) {
    Bytes body;
    for (const Bytes& child : children) body.insert(body.end(), child.begin(), child.end());
    Bytes out(kHeaderGuid, kHeaderGuid + 16);
    PutLittleEndian(out, declared ? declared : 30 + body.size(), 8);
    PutLittleEndian(out, children.size(), 4);
    out.insert(out.end(), {0x01, 0x02});
    out.insert(out.end(), body.begin(), body.end());
    const Bytes data = AsfObject(0x44, 60, 36);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

MediaBoxCheck CheckAsf(const Bytes& file) { return CheckAsfHeader(file.data(), file.size(), file.size()); }

} // namespace

TEST(CheckAsfHeader, HeaderObjectAndItsChildrenMustFit) {
    EXPECT_EQ(CheckAsf(Asf({AsfObject(1, 104, 80), AsfObject(2, 24, 0)})), MediaBoxCheck::Plausible);
    EXPECT_EQ(CheckAsf(Asf({})), MediaBoxCheck::Plausible);

    EXPECT_EQ(CheckAsf(Asf({AsfObject(1, 104, 80)}, 29)), MediaBoxCheck::Malformed);
    EXPECT_EQ(CheckAsf(Asf({AsfObject(1, 104, 80)}, 0xFFFFFFFFFFFFull)), MediaBoxCheck::Malformed);
    EXPECT_EQ(CheckAsf(Asf({AsfObject(1, 105, 80)})), MediaBoxCheck::Malformed); // child past the header's end
    EXPECT_EQ(CheckAsf(Asf({AsfObject(1, 23, 80)})), MediaBoxCheck::Malformed);
    EXPECT_EQ(CheckAsf(Asf({AsfObject(1, 0, 80)})), MediaBoxCheck::Malformed);
    Bytes cut = Asf({});
    cut.resize(29);
    EXPECT_EQ(CheckAsf(cut), MediaBoxCheck::Malformed);

    EXPECT_EQ(CheckAsf(Join({Ftyp(), Box("moov", 40)})), MediaBoxCheck::Unrecognised);
    EXPECT_EQ(CheckAsf(Bytes(kHeaderGuid, kHeaderGuid + 15)), MediaBoxCheck::Unrecognised);
}
