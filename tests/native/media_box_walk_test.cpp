#include "formats/video/MediaBoxWalk.h"
#include "formats/video/MediaDataStart.h"

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
// and that holds `body` bytes. A movie box's are zeros: one child that runs
// to its end, which the walk looks into.
Bytes Box(const char* type, std::size_t body, std::uint32_t declared) {
    Bytes out;
    PutBigEndian(out, declared, 4);
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body, std::memcmp(type, "moov", 4) == 0 ? 0x00 : 0x11);
    return out;
}

Bytes Box(const char* type, std::size_t body) { return Box(type, body, static_cast<std::uint32_t>(8 + body)); }

Bytes LargeBox(const char* type, std::size_t body, std::uint64_t declared) {
    Bytes out;
    PutBigEndian(out, 1, 4);
    out.insert(out.end(), type, type + 4);
    PutBigEndian(out, declared, 8);
    out.insert(out.end(), body, std::memcmp(type, "moov", 4) == 0 ? 0x00 : 0x22);
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
        Join({Ftyp(), Box("uuid", 16), Box("zzzz", 4), Box("moov", 8)}), // unknown printable types pass
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
        Join({Ftyp(), Box("mdat", 20), Box("moov", 40, 60)}), // after the data too
        Join({Ftyp(), Box("moov", 16), LargeBox("mdat", 10, 0x8000000000000000ull)}), // past any offset
        Join({Ftyp(), Box("moov", 16), LargeBox("free", 10, 0xFFFFFFFFFFFFFFF0ull)}),
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
    // moov's two header reads, its child's, then free's
    EXPECT_EQ(offsets, (std::vector<std::uint64_t>{5028, 5036, 5044, 5044, 8044})); // the child once for its size, once for a track

    offsets.clear();
    fail = true;
    EXPECT_EQ(CheckTopLevelBoxes(file.data(), 64, file.size(), readAt), MediaBoxCheck::Unreadable);
    EXPECT_EQ(CheckTopLevelBoxes(file.data(), 64, file.size()), MediaBoxCheck::Unreadable);
}

TEST(CheckTopLevelBoxes, StopsAtTheBoxCountCap) {
    Bytes file = Join({Ftyp(), Box("moov", 0)});
    for (std::uint32_t i = 2; i < kMaxTopLevelBoxes; ++i) {
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

// --- What the platform plays: trailing bytes and boxes it skips ---------

namespace {

Bytes Garbage(std::size_t count) {
    Bytes out(count);
    std::uint32_t state = 7;
    for (auto& b : out) b = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    return out;
}

const Bytes kGoodFile = Join({Ftyp(), Box("moov", 40), Box("mdat", 100)});

} // namespace

TEST(TopLevelShapesThePlatformPlays, TrailingZeroPadding) {
    EXPECT_EQ(Check(Join({kGoodFile, Bytes(16, 0)})), MediaBoxCheck::Plausible);
    EXPECT_EQ(Check(Join({kGoodFile, Bytes(4096, 0)})), MediaBoxCheck::Plausible);
}

TEST(TopLevelShapesThePlatformPlays, TrailingGarbage) {
    EXPECT_EQ(Check(Join({kGoodFile, Garbage(333)})), MediaBoxCheck::Plausible);
    const char text[] = "garbage appended by a careless tool";
    EXPECT_EQ(Check(Join({kGoodFile, Bytes(text, text + sizeof(text))})), MediaBoxCheck::Plausible);
    EXPECT_EQ(Check(Join({kGoodFile, Box("mo\x01v", 40)})), MediaBoxCheck::Plausible);
    EXPECT_EQ(Check(Join({kGoodFile, Box("free", 40, 3)})), MediaBoxCheck::Plausible); // a size under 8
}

TEST(TopLevelShapesThePlatformPlays, FreeSkipWideAndUuidBoxes) {
    EXPECT_EQ(Check(Join({Ftyp(), Box("free", 10), Box("skip", 0), Box("wide", 0), Box("uuid", 16), Box("moov", 40),
                          Box("free", 3), Box("mdat", 100), Box("uuid", 40), Box("skip", 8)})),
              MediaBoxCheck::Plausible);
}

TEST(TopLevelShapesThePlatformPlays, ALastBoxOfSizeZero) {
    EXPECT_EQ(Check(Join({Ftyp(), Box("moov", 40), Box("mdat", 100, 0)})), MediaBoxCheck::Plausible);
    EXPECT_EQ(Check(Join({Ftyp(), Box("moov", 40), Box("mdat", 100), Box("free", 30, 0)})), MediaBoxCheck::Plausible);
}

TEST(TopLevelShapesThePlatformPlays, ACutShortBoxAfterTheMovie) {
    Bytes file = Join({kGoodFile, Box("udta", 100)});
    file.resize(file.size() - 50);
    EXPECT_EQ(Check(file), MediaBoxCheck::Plausible);
}

TEST(CheckTopLevelBoxes, AFileWithoutAMovieHoldsNothingToPlay) {
    EXPECT_EQ(Check(Join({Ftyp(), Box("free", 8), Box("mdat", 1000)})), MediaBoxCheck::NoSampleData);
    Bytes cut = Join({Ftyp(), Box("mdat", 1000), Box("moov", 40)}); // cut before the movie at its end
    cut.resize(500);
    EXPECT_EQ(Check(cut), MediaBoxCheck::NoSampleData);
    EXPECT_EQ(Check(Join({Ftyp(), Box("free", 100, 100000)})), MediaBoxCheck::Plausible); // no box to end on: not ours
    EXPECT_EQ(Check(Join({Ftyp(), Garbage(100)})), MediaBoxCheck::Plausible);
}

TEST(TopLevelShapesThePlatformPlays, ButNotAFirstBoxThatIsNoBox) {
    EXPECT_EQ(Check(Join({Box("ftyp", 40, 100)})), MediaBoxCheck::Malformed);
    EXPECT_EQ(Check(Join({Box("ftyp", 40, 5), Box("moov", 40)})), MediaBoxCheck::Malformed);
}

// --- The video track's sample tables --------------------------------------

namespace {

Bytes Container(const char* type, std::initializer_list<Bytes> children) {
    const Bytes body = Join(children);
    Bytes out;
    PutBigEndian(out, 8 + body.size(), 4);
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A full box: version, flags, then `fields`.
Bytes FullBox(const char* type, const Bytes& fields, std::uint8_t version = 0) {
    Bytes body{version, 0, 0, 0};
    body.insert(body.end(), fields.begin(), fields.end());
    return Container(type, {body});
}

Bytes Fields(std::initializer_list<std::uint32_t> values) {
    Bytes out;
    for (const std::uint32_t value : values) PutBigEndian(out, value, 4);
    return out;
}

struct Run {
    std::uint32_t firstChunk;
    std::uint32_t perChunk;
};

struct Track {
    const char* handler = "vide";
    std::uint32_t timescale = 1000;
    std::uint32_t delta = 100;             // each sample's duration
    std::vector<std::uint64_t> chunkOffsets;
    bool co64 = false;
    std::vector<Run> runs;
    std::vector<std::uint32_t> sizes;      // each sample's size, when `constantSize` is 0
    std::uint32_t constantSize = 0;
    std::uint32_t constantCount = 0;
    std::int64_t editMediaTime = -2;       // -2: no edit list; -1: an empty edit first, then 0
};

std::uint32_t SampleCount(const Track& track) {
    return track.constantSize ? track.constantCount : static_cast<std::uint32_t>(track.sizes.size());
}

Bytes Trak(const Track& t) {
    Bytes offsets;
    PutBigEndian(offsets, t.chunkOffsets.size(), 4);
    for (const std::uint64_t offset : t.chunkOffsets) PutBigEndian(offsets, offset, t.co64 ? 8 : 4);
    Bytes runs;
    PutBigEndian(runs, t.runs.size(), 4);
    for (const Run& run : t.runs) runs = Join({runs, Fields({run.firstChunk, run.perChunk, 1})});
    Bytes sizes = Fields({t.constantSize, SampleCount(t)});
    if (!t.constantSize) {
        for (const std::uint32_t size : t.sizes) PutBigEndian(sizes, size, 4);
    }
    const Bytes stbl = Container("stbl", {FullBox("stsd", Fields({0})), FullBox("stts", Fields({1, SampleCount(t), t.delta})),
                                          FullBox("stsc", runs), FullBox("stsz", sizes),
                                          FullBox(t.co64 ? "co64" : "stco", offsets)});
    Bytes handler = Fields({0});
    handler.insert(handler.end(), t.handler, t.handler + 4);
    handler = Join({handler, Fields({0, 0, 0}), Bytes{0}});
    Bytes trak = Container("mdia", {FullBox("mdhd", Fields({0, 0, t.timescale, 1000, 0})), FullBox("hdlr", handler),
                                    Container("minf", {Container("dinf", {}), stbl})});
    Bytes edits;
    if (t.editMediaTime == -1) {
        edits = Container("edts", {FullBox("elst", Fields({2, 500, 0xFFFFFFFFu, 0x10000, 3000, 0, 0x10000}))});
    } else if (t.editMediaTime >= 0) {
        edits = Container("edts",
                          {FullBox("elst", Fields({1, 3000, static_cast<std::uint32_t>(t.editMediaTime), 0x10000}))});
    }
    return Container("trak", {FullBox("tkhd", Bytes(80, 0)), edits, trak});
}

Bytes Moov(std::initializer_list<Track> tracks) {
    Bytes traks;
    for (const Track& track : tracks) traks = Join({traks, Trak(track)});
    return Container("moov", {FullBox("mvhd", Bytes(96, 0)), traks});
}

// A "fast start" file: ftyp, moov, then mdat holding `sizes` samples in
// chunks of `perChunk`, each sample's bytes its index.
struct FastStart {
    Bytes file;
    std::vector<std::uint64_t> sampleEnds; // where each sample ends in the file
    Track track;
};

FastStart MakeFastStart(std::vector<std::uint32_t> sizes, std::uint32_t perChunk, bool co64 = false,
                        std::int64_t editMediaTime = -2) {
    FastStart made;
    Track& t = made.track;
    t.sizes = std::move(sizes);
    t.co64 = co64;
    t.editMediaTime = editMediaTime;
    t.runs = {{1, perChunk}};
    const std::size_t chunks = (t.sizes.size() + perChunk - 1) / perChunk;
    t.chunkOffsets.assign(chunks, 0);
    if (t.sizes.size() % perChunk != 0) {
        t.runs.push_back({static_cast<std::uint32_t>(chunks), static_cast<std::uint32_t>(t.sizes.size() % perChunk)});
    }
    const std::uint64_t dataAt = Ftyp().size() + Moov({t}).size() + 8;
    std::uint64_t at = dataAt;
    Bytes data;
    for (std::size_t i = 0; i < t.sizes.size(); ++i) {
        if (i % perChunk == 0) t.chunkOffsets[i / perChunk] = at;
        data.insert(data.end(), t.sizes[i], static_cast<std::uint8_t>(i));
        at += t.sizes[i];
        made.sampleEnds.push_back(at);
    }
    made.file = Join({Ftyp(), Moov({t}), Box("mdat", data.size()), data});
    // Box() filled the body: the data goes in its place.
    made.file.erase(made.file.begin() + static_cast<std::ptrdiff_t>(dataAt),
                    made.file.begin() + static_cast<std::ptrdiff_t>(dataAt + data.size()));
    return made;
}

Bytes Cut(const Bytes& file, std::uint64_t size) {
    return Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
}

MediaBoxCheck CheckWithReach(const Bytes& file, VideoSampleReach& reach) {
    return CheckTopLevelBoxes(file.data(), file.size(), file.size(), {}, &reach);
}

std::vector<std::uint32_t> Sizes(std::size_t count, std::uint32_t base = 40) {
    std::vector<std::uint32_t> sizes;
    for (std::size_t i = 0; i < count; ++i) sizes.push_back(base + static_cast<std::uint32_t>(i % 7) * 3);
    return sizes;
}

} // namespace

TEST(VideoSampleTables, AWholeFileHoldsEverySample) {
    const FastStart made = MakeFastStart(Sizes(30), 4);
    VideoSampleReach reach;
    EXPECT_EQ(CheckWithReach(made.file, reach), MediaBoxCheck::Plausible);
    EXPECT_EQ(reach.samples, 30u);
    EXPECT_EQ(reach.leadingInFile, 30u);
    EXPECT_FALSE(reach.CutShort());
}

TEST(VideoSampleTables, CutBeforeTheMediaDataHoldsNoSample) {
    const FastStart made = MakeFastStart(Sizes(30), 4);
    const std::size_t mdatAt = Ftyp().size() + Moov({made.track}).size();
    for (const std::size_t end : {mdatAt, mdatAt + 8, mdatAt + 8 + 39}) { // before mdat, its header, all but a byte
        SCOPED_TRACE(end);
        VideoSampleReach reach;
        EXPECT_EQ(CheckWithReach(Cut(made.file, end), reach), MediaBoxCheck::NoSampleData);
        EXPECT_EQ(reach.samples, 30u);
        EXPECT_EQ(reach.leadingInFile, 0u);
        EXPECT_FALSE(reach.anyInFile);
    }
}

TEST(VideoSampleTables, ACutRecordingHoldsItsFirstSamplesAndSaysWhenTheLastStarts) {
    const FastStart made = MakeFastStart(Sizes(30), 4);
    for (const std::size_t held : {1u, 3u, 4u, 5u, 29u}) {
        SCOPED_TRACE(held);
        // The file ends inside the next sample.
        VideoSampleReach reach;
        EXPECT_EQ(CheckWithReach(Cut(made.file, made.sampleEnds[held - 1] + 2), reach), MediaBoxCheck::Plausible);
        EXPECT_EQ(reach.leadingInFile, held);
        EXPECT_TRUE(reach.anyInFile);
        EXPECT_TRUE(reach.CutShort());
        EXPECT_EQ(reach.lastLeadingTime, (held - 1) * 100u * 10000u); // 100 of 1000 per sample, in 100-ns units
    }
}

TEST(VideoSampleTables, ChunkOffsetsPastTheEndHoldNoSample) {
    FastStart made = MakeFastStart(Sizes(12), 3, true);
    VideoSampleReach reach;
    ASSERT_EQ(CheckWithReach(made.file, reach), MediaBoxCheck::Plausible);
    ASSERT_EQ(reach.leadingInFile, 12u);
    Track far = made.track;
    for (std::uint64_t& offset : far.chunkOffsets) offset += 0x100000000ull; // past 4 GiB, as only co64 can say
    const Bytes moved = Join({Ftyp(), Moov({far}), Bytes(made.file.begin() + static_cast<std::ptrdiff_t>(Ftyp().size() + Moov({far}).size()), made.file.end())});
    EXPECT_EQ(CheckWithReach(moved, reach), MediaBoxCheck::NoSampleData);
    far.chunkOffsets = {~0ull - 10, ~0ull - 5, ~0ull}; // offset plus size overflows
    EXPECT_EQ(CheckWithReach(Join({Ftyp(), Moov({far}), Box("mdat", 600)}), reach), MediaBoxCheck::NoSampleData);
}

TEST(VideoSampleTables, OnlyTheVideoTrackCounts) {
    FastStart made = MakeFastStart(Sizes(10), 5);
    Track sound;
    sound.handler = "soun";
    sound.sizes = Sizes(10);
    sound.runs = {{1, 10}};
    sound.chunkOffsets = {1u << 30};
    Track video = made.track;
    const std::size_t tail = made.file.size() - Ftyp().size() - Moov({video}).size();
    // The sound track's data is missing, the video's is there (offsets moved by the sound track's size).
    for (std::uint64_t& offset : video.chunkOffsets) offset += Trak(sound).size();
    Bytes file = Join({Ftyp(), Moov({sound, video}), Bytes(made.file.end() - static_cast<std::ptrdiff_t>(tail), made.file.end())});
    VideoSampleReach reach;
    EXPECT_EQ(CheckWithReach(file, reach), MediaBoxCheck::Plausible);
    EXPECT_EQ(reach.leadingInFile, 10u);
    // And the other way round: the video's data missing fails, the sound's present or not.
    sound.chunkOffsets = {Ftyp().size()};
    video.chunkOffsets.assign(video.chunkOffsets.size(), 1u << 30);
    EXPECT_EQ(CheckWithReach(Join({Ftyp(), Moov({sound, video}), Box("mdat", 1000)}), reach), MediaBoxCheck::NoSampleData);
}

TEST(VideoSampleTables, ConstantSizesAndLongRunsAreMeasuredWithoutVisitingEachSample) {
    Track t;
    t.co64 = true;
    t.constantSize = 100;
    t.constantCount = 4000000000u; // far more than the file could hold
    t.runs = {{1, 2000000000u}};
    const std::uint64_t dataAt = Ftyp().size() + Moov({t}).size() + 8;
    t.chunkOffsets = {dataAt, dataAt + 200000000000ull};
    const Bytes file = Join({Ftyp(), Moov({t}), Box("mdat", 1050)});
    VideoSampleReach reach;
    EXPECT_EQ(CheckWithReach(file, reach), MediaBoxCheck::Plausible);
    EXPECT_EQ(reach.leadingInFile, 10u);
    EXPECT_TRUE(reach.CutShort());
    EXPECT_EQ(reach.lastLeadingTime, 9u * 100u * 10000u);
}

TEST(VideoSampleTables, AnEditListMovesTheTimeBack) {
    const FastStart edited = MakeFastStart(Sizes(20), 20, false, 200); // two samples of 100
    VideoSampleReach reach;
    EXPECT_EQ(CheckWithReach(Cut(edited.file, edited.sampleEnds[9]), reach), MediaBoxCheck::Plausible);
    EXPECT_EQ(reach.leadingInFile, 10u);
    EXPECT_EQ(reach.lastLeadingTime, 7u * 100u * 10000u);
    // An empty edit first: the media edit after it starts at 0.
    const FastStart delayed = MakeFastStart(Sizes(20), 20, false, -1);
    EXPECT_EQ(CheckWithReach(Cut(delayed.file, delayed.sampleEnds[9]), reach), MediaBoxCheck::Plausible);
    EXPECT_EQ(reach.lastLeadingTime, 9u * 100u * 10000u);
}

TEST(VideoSampleTables, TablesThatSayNothingAreNotJudged) {
    FastStart made = MakeFastStart(Sizes(8), 4);
    const Bytes noData = Join({Ftyp(), Moov({made.track})});
    VideoSampleReach reach;
    ASSERT_EQ(CheckWithReach(noData, reach), MediaBoxCheck::NoSampleData);

    Track fragmented; // samples in movie fragments: the track's own tables are empty
    EXPECT_EQ(CheckWithReach(Join({Ftyp(), Moov({fragmented}), Box("moof", 20), Box("mdat", 0)}), reach),
              MediaBoxCheck::Plausible);
    EXPECT_EQ(reach.samples, 0u);

    Track disagreeing = made.track;
    disagreeing.runs = {{2, 4}}; // the first run must start at chunk 1
    EXPECT_EQ(CheckWithReach(Join({Ftyp(), Moov({disagreeing})}), reach), MediaBoxCheck::Plausible);
    disagreeing.runs = {{1, 2}, {2, 2}, {1, 2}}; // out of order
    EXPECT_EQ(CheckWithReach(Join({Ftyp(), Moov({disagreeing})}), reach), MediaBoxCheck::Plausible);

    Track sound = made.track;
    sound.handler = "soun";
    EXPECT_EQ(CheckWithReach(Join({Ftyp(), Moov({sound})}), reach), MediaBoxCheck::Plausible);

    // A table declaring more entries than its box holds.
    Bytes shortTable = noData;
    const Bytes stsz{'s', 't', 's', 'z'};
    const auto at = std::search(shortTable.begin(), shortTable.end(), stsz.begin(), stsz.end()) - shortTable.begin();
    shortTable[static_cast<std::size_t>(at) + 15] = 9; // sample count 9, eight sizes
    EXPECT_EQ(CheckWithReach(shortTable, reach), MediaBoxCheck::Plausible);
}

TEST(VideoSampleTables, ABoxRunningPastItsParentInsideTheMovieIsMalformed) {
    const FastStart made = MakeFastStart(Sizes(8), 4);
    VideoSampleReach reach;
    ASSERT_EQ(CheckWithReach(made.file, reach), MediaBoxCheck::Plausible);
    // A flipped bit in a size inside minf has left the platform's reader stuck for good.
    for (const char* type : {"dinf", "stbl", "stsz", "mdia", "tkhd"}) {
        SCOPED_TRACE(type);
        Bytes file = made.file;
        const auto at = std::search(file.begin(), file.end(), type, type + 4) - file.begin() - 4;
        file[static_cast<std::size_t>(at) + 1] ^= 0x02; // 128 KiB more: past the parent and the file
        EXPECT_EQ(CheckWithReach(file, reach), MediaBoxCheck::Malformed);
    }
    for (const char* type : {"dinf", "stbl", "mdia"}) {
        SCOPED_TRACE(type);
        Bytes file = made.file;
        const auto at = std::search(file.begin(), file.end(), type, type + 4) - file.begin() - 4;
        file[static_cast<std::size_t>(at) + 3] += 12; // past the parent, within the file
        EXPECT_EQ(CheckWithReach(file, reach), MediaBoxCheck::Malformed);
    }
    // Inside a box that is no container (the sample description's contents) the parser's rules are its own.
    Bytes file = made.file;
    const char udta[] = "stsd";
    const auto stsd = std::search(file.begin(), file.end(), udta, udta + 4) - file.begin();
    file[static_cast<std::size_t>(stsd) + 8] = 0x7F; // its entry count, read as a size by no one
    EXPECT_EQ(CheckWithReach(file, reach), MediaBoxCheck::Plausible);
}

TEST(VideoSampleTables, LargeTablesAreReadInBlocks) {
    FastStart made = MakeFastStart(Sizes(20000, 8), 1);
    std::size_t reads = 0;
    const MediaReadAt readAt = [&](std::uint64_t offset, std::uint8_t* out, std::size_t count) {
        ++reads;
        if (offset > made.file.size() || count > made.file.size() - offset) return false;
        std::memcpy(out, made.file.data() + offset, count);
        return true;
    };
    VideoSampleReach reach;
    EXPECT_EQ(CheckTopLevelBoxes(made.file.data(), 64, made.file.size(), readAt, &reach), MediaBoxCheck::Plausible);
    EXPECT_EQ(reach.leadingInFile, 20000u);
    // 80 KB of sizes, 80 KB of offsets and 12 bytes of runs, in 4 KiB blocks, and a few headers.
    EXPECT_LT(reads, 120u);
}

// --- ASF, AVI and Matroska: the first data in the file ----------------------

namespace {

const std::uint8_t kDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                    0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const std::uint8_t kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                              0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

// A header holding File Properties with packets of `packetSize`, then a Data Object of `packets` packets.
Bytes AsfWithData(std::uint32_t packetSize, std::uint32_t packets) {
    Bytes properties(kFilePropertiesGuid, kFilePropertiesGuid + 16);
    PutLittleEndian(properties, 104, 8);
    properties.resize(92, 0);
    PutLittleEndian(properties, packetSize, 4);
    PutLittleEndian(properties, packetSize, 4);
    PutLittleEndian(properties, 0, 4);
    Bytes out(kHeaderGuid, kHeaderGuid + 16);
    PutLittleEndian(out, 30 + properties.size(), 8);
    PutLittleEndian(out, 1, 4);
    out.insert(out.end(), {0x01, 0x02});
    out.insert(out.end(), properties.begin(), properties.end());
    out.insert(out.end(), kDataGuid, kDataGuid + 16);
    PutLittleEndian(out, 50 + static_cast<std::uint64_t>(packetSize) * packets, 8);
    out.resize(out.size() + 26, 0);
    out.resize(out.size() + static_cast<std::size_t>(packetSize) * packets, 0x82);
    return out;
}

MediaBoxCheck CheckAsfCut(Bytes file, std::size_t size) {
    file.resize(size);
    return CheckAsf(file);
}

} // namespace

TEST(CheckAsfHeader, TheFirstDataPacketMustBeInTheFile) {
    const Bytes file = AsfWithData(3200, 4);
    const std::size_t headerEnd = 30 + 104;
    EXPECT_EQ(CheckAsf(file), MediaBoxCheck::Plausible);
    EXPECT_EQ(CheckAsfCut(file, headerEnd + 50 + 3200), MediaBoxCheck::Plausible);
    EXPECT_EQ(CheckAsfCut(file, headerEnd + 50 + 3199), MediaBoxCheck::NoSampleData);
    EXPECT_EQ(CheckAsfCut(file, headerEnd + 50), MediaBoxCheck::NoSampleData);
    EXPECT_EQ(CheckAsfCut(file, headerEnd + 24), MediaBoxCheck::NoSampleData);
    EXPECT_EQ(CheckAsfCut(file, headerEnd), MediaBoxCheck::NoSampleData); // the header alone
}

namespace {

Bytes Chunk(const char* id, const Bytes& body) {
    Bytes out(id, id + 4);
    PutLittleEndian(out, body.size(), 4);
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2) out.push_back(0);
    return out;
}

Bytes List(const char* type, std::initializer_list<Bytes> children) {
    Bytes body(type, type + 4);
    for (const Bytes& child : children) body.insert(body.end(), child.begin(), child.end());
    return Chunk("LIST", body);
}

Bytes Avi(std::initializer_list<Bytes> chunks) {
    Bytes body{'A', 'V', 'I', ' '};
    for (const Bytes& chunk : chunks) body.insert(body.end(), chunk.begin(), chunk.end());
    return Chunk("RIFF", body);
}

MediaBoxCheck CheckAvi(const Bytes& file) { return CheckAviData(file.data(), file.size(), file.size()); }

} // namespace

TEST(CheckAviData, TheFirstChunkOfTheMovieListMustBeInTheFile) {
    const Bytes headers = List("hdrl", {Chunk("avih", Bytes(56, 0)), List("strl", {Chunk("strh", Bytes(56, 0))})});
    const Bytes file = Avi({headers, Chunk("JUNK", Bytes(101, 0)), List("movi", {Chunk("00dc", Bytes(501, 7)),
                                                                                  Chunk("00dc", Bytes(300, 7))}),
                            Chunk("idx1", Bytes(32, 0))});
    EXPECT_TRUE(LooksLikeAvi(file.data(), file.size()));
    EXPECT_EQ(CheckAvi(file), MediaBoxCheck::Plausible);
    const std::size_t movi = 12 + headers.size() + 8 + 102;
    for (const std::size_t size : {movi + 12 + 8 + 501, movi + 12 + 8 + 600}) {
        EXPECT_EQ(CheckAvi(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size))),
                  MediaBoxCheck::Plausible) << size;
    }
    for (const std::size_t size : {std::size_t{100}, movi, movi + 12, movi + 12 + 8 + 500}) {
        EXPECT_EQ(CheckAvi(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size))),
                  MediaBoxCheck::NoSampleData) << size;
    }
    EXPECT_EQ(CheckAvi(Avi({headers, List("movi", {})})), MediaBoxCheck::NoSampleData);
    EXPECT_EQ(CheckAvi(Join({Ftyp(), Box("moov", 8)})), MediaBoxCheck::Unrecognised);
}

namespace {

Bytes Element(std::uint32_t id, const Bytes& body, bool unknownSize = false) {
    Bytes out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if ((id >> shift) != 0) out.push_back(static_cast<std::uint8_t>(id >> shift));
    }
    if (unknownSize) {
        out.push_back(0x01);
        out.insert(out.end(), 7, 0xFF);
    } else {
        out.push_back(0x08); // a 5-byte size
        PutBigEndian(out, body.size(), 4);
    }
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

MediaBoxCheck CheckMatroska(const Bytes& file) { return CheckMatroskaData(file.data(), file.size(), file.size()); }

} // namespace

TEST(CheckMatroskaData, TheFirstBlockOfTheFirstClusterMustBeInTheFile) {
    const Bytes ebml = Element(0x1A45DFA3, Element(0x4282, {'w', 'e', 'b', 'm'}));
    const Bytes info = Element(0x1549A966, Bytes(40, 0));
    const Bytes tracks = Element(0x1654AE6B, Bytes(90, 0));
    const Bytes cluster = Element(0x1F43B675, Join({Element(0xE7, {0}), Element(0xA3, Bytes(700, 5)),
                                                    Element(0xA3, Bytes(300, 5))}));
    for (const bool unknownSegmentSize : {false, true}) {
        SCOPED_TRACE(unknownSegmentSize);
        const Bytes file = Join({ebml, Element(0x18538067, Join({info, tracks, cluster}), unknownSegmentSize)});
        EXPECT_TRUE(LooksLikeMatroska(file.data(), file.size()));
        EXPECT_EQ(CheckMatroska(file), MediaBoxCheck::Plausible);
        const std::size_t clusterAt = file.size() - cluster.size();
        const std::size_t blockEnd = clusterAt + 9 + 7 + 6 + 700; // cluster header, timestamp, block header
        EXPECT_EQ(CheckMatroska(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(blockEnd))),
                  MediaBoxCheck::Plausible);
        for (const std::size_t size : {ebml.size(), ebml.size() + 3, clusterAt - 10, clusterAt, clusterAt + 7,
                                       clusterAt + 9 + 7, blockEnd - 1}) {
            EXPECT_EQ(CheckMatroska(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size))),
                      MediaBoxCheck::NoSampleData) << size;
        }
    }
    EXPECT_EQ(CheckMatroska(Join({Ftyp(), Box("moov", 8)})), MediaBoxCheck::Unrecognised);
}
