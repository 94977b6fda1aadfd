#include "PngWriter.h"
#include "formats/png/PngChunks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace Quivane;
using QuivaneTest::AppendPngChunk;
using QuivaneTest::PngCrc32;

namespace {

// A PNG file written chunk by chunk, with correct CRCs unless told otherwise.
class PngWriter {
public:
    PngWriter() { bytes.assign(std::begin(kPngSignature), std::end(kPngSignature)); }
    PngWriter& Chunk(const char (&type)[5], const std::vector<std::uint8_t>& data) {
        AppendPngChunk(bytes, type, data.data(), data.size());
        return *this;
    }
    PngWriter& Ihdr(std::uint32_t w, std::uint32_t h) {
        std::vector<std::uint8_t> data(13, 0);
        Put32(data, 0, w);
        Put32(data, 4, h);
        data[8] = 8;  // bit depth
        data[9] = 6;  // RGBA
        data[12] = 1; // interlaced, to show the byte is carried
        return Chunk("IHDR", data);
    }
    PngWriter& Fctl(std::uint32_t w, std::uint32_t h, std::uint32_t x, std::uint32_t y, std::uint16_t num,
                    std::uint16_t den, std::uint8_t dispose, std::uint8_t blend) {
        std::vector<std::uint8_t> data(26, 0);
        Put32(data, 0, 99); // sequence numbers are never looked at
        Put32(data, 4, w);
        Put32(data, 8, h);
        Put32(data, 12, x);
        Put32(data, 16, y);
        data[20] = static_cast<std::uint8_t>(num >> 8);
        data[21] = static_cast<std::uint8_t>(num);
        data[22] = static_cast<std::uint8_t>(den >> 8);
        data[23] = static_cast<std::uint8_t>(den);
        data[24] = dispose;
        data[25] = blend;
        return Chunk("fcTL", data);
    }
    static void Put32(std::vector<std::uint8_t>& data, size_t at, std::uint32_t v) {
        data[at] = static_cast<std::uint8_t>(v >> 24);
        data[at + 1] = static_cast<std::uint8_t>(v >> 16);
        data[at + 2] = static_cast<std::uint8_t>(v >> 8);
        data[at + 3] = static_cast<std::uint8_t>(v);
    }
    std::vector<std::uint8_t> bytes;
};

ChunkWalkResult Walk(const std::vector<std::uint8_t>& bytes, ApngParseState& state) {
    return ParseApngChunks(bytes.data(), bytes.size(), state, [] { return false; });
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

std::string Span(const ByteSpan& span) { return std::string(reinterpret_cast<const char*>(span.data), span.size); }

} // namespace

TEST(PngCrc32, MatchesTheFormatsChecksum) {
    const std::uint8_t iend[] = {'I', 'E', 'N', 'D'};
    EXPECT_EQ(PngCrc32(iend, 4), 0xAE426082u);
    const char* text = "123456789";
    EXPECT_EQ(PngCrc32(reinterpret_cast<const std::uint8_t*>(text), 9), 0xCBF43926u);
    // Continuing a CRC over a second part equals one pass over both.
    EXPECT_EQ(PngCrc32(reinterpret_cast<const std::uint8_t*>(text) + 4, 5,
                       PngCrc32(reinterpret_cast<const std::uint8_t*>(text), 4)),
              0xCBF43926u);
}

TEST(ParseApngChunks, CollectsControlsPiecesAndCarriedChunks) {
    PngWriter png;
    png.Ihdr(100, 80)
        .Chunk("PLTE", Bytes({1, 2, 3}))
        .Chunk("acTL", Bytes({0, 0, 0, 2, 0, 0, 0, 0}))
        .Chunk("tRNS", Bytes({9}))
        .Chunk("zTXt", Bytes({'m', 0, 0, 1, 2}))
        .Chunk("prVt", Bytes({7, 7, 7}))
        .Fctl(100, 80, 0, 0, 1, 10, 0, 0)
        .Chunk("IDAT", Bytes({'a'}))
        .Chunk("IDAT", Bytes({'b', 'c'}))
        .Fctl(20, 10, 5, 6, 3, 1000, 2, 1)
        .Chunk("fdAT", Bytes({0, 0, 0, 7, 'd', 'e'}))
        .Chunk("tEXt", Bytes({'x'}))
        .Chunk("IEND", {});
    ApngParseState state;
    ASSERT_EQ(Walk(png.bytes, state), ChunkWalkResult::Ok);
    EXPECT_TRUE(state.sawIHDR);
    EXPECT_TRUE(state.sawAcTL);
    EXPECT_EQ(state.CanvasWidth(), 100u);
    EXPECT_EQ(state.CanvasHeight(), 80u);
    ASSERT_EQ(state.controls.size(), 2u);
    ASSERT_EQ(state.controls[0].pieces.size(), 2u);
    EXPECT_EQ(Span(state.controls[0].pieces[0]), "a");
    EXPECT_EQ(Span(state.controls[0].pieces[1]), "bc");
    const ApngFrameControl& second = state.controls[1];
    EXPECT_EQ(second.width, 20u);
    EXPECT_EQ(second.height, 10u);
    EXPECT_EQ(second.x_offset, 5u);
    EXPECT_EQ(second.y_offset, 6u);
    EXPECT_EQ(second.delay_num, 3);
    EXPECT_EQ(second.delay_den, 1000);
    EXPECT_EQ(second.dispose_op, 2);
    EXPECT_EQ(second.blend_op, 1);
    ASSERT_EQ(second.pieces.size(), 1u);
    EXPECT_EQ(Span(second.pieces[0]), "de"); // without the sequence number
    // Only what drawing needs, from before the image data: not acTL, nor text,
    // nor private chunks that would be copied into every frame.
    ASSERT_EQ(state.ancillaryChunks.size(), 2u);
    EXPECT_EQ(std::memcmp(state.ancillaryChunks[0].type.data(), "PLTE", 4), 0);
    EXPECT_EQ(std::memcmp(state.ancillaryChunks[1].type.data(), "tRNS", 4), 0);
}

TEST(ParseApngChunks, DefaultImageWithoutControlIsNoFrameOfTheAnimation) {
    PngWriter png;
    png.Ihdr(30, 20).Chunk("acTL", Bytes({0, 0, 0, 2, 0, 0, 0, 0})).Chunk("IDAT", Bytes({'a'}));
    png.Fctl(10, 10, 0, 0, 1, 2, 0, 1).Chunk("fdAT", Bytes({0, 0, 0, 1, 'b'})).Chunk("IEND", {});
    ApngParseState state;
    ASSERT_EQ(Walk(png.bytes, state), ChunkWalkResult::Ok);
    EXPECT_TRUE(state.defaultImageHidden);
    ASSERT_EQ(state.controls.size(), 1u);
    EXPECT_EQ(state.controls[0].width, 10u);
    ASSERT_EQ(state.controls[0].pieces.size(), 1u);
    EXPECT_EQ(Span(state.controls[0].pieces[0]), "b");
    ASSERT_EQ(state.imagePieces.size(), 1u); // kept for a viewer that does not animate
    EXPECT_EQ(Span(state.imagePieces[0]), "a");

    // With its fcTL first, the default image is the animation's first frame.
    PngWriter framed;
    framed.Ihdr(30, 20).Chunk("acTL", Bytes({0, 0, 0, 1, 0, 0, 0, 0})).Fctl(30, 20, 0, 0, 1, 2, 0, 1);
    framed.Chunk("IDAT", Bytes({'a'})).Chunk("IEND", {});
    ASSERT_EQ(Walk(framed.bytes, state), ChunkWalkResult::Ok);
    EXPECT_FALSE(state.defaultImageHidden);
    ASSERT_EQ(state.controls.size(), 1u);
    EXPECT_EQ(Span(state.controls[0].pieces.at(0)), "a");

    // Frame data with no fcTL before it belongs to no frame.
    PngWriter orphan;
    orphan.Ihdr(30, 20).Chunk("acTL", Bytes({0, 0, 0, 1, 0, 0, 0, 0})).Chunk("IDAT", Bytes({'a'}));
    orphan.Chunk("fdAT", Bytes({0, 0, 0, 1, 'b'})).Chunk("IEND", {});
    ASSERT_EQ(Walk(orphan.bytes, state), ChunkWalkResult::Ok);
    EXPECT_TRUE(state.controls.empty());
    EXPECT_EQ(state.imagePieces.size(), 1u);
}

TEST(ParseApngChunks, MalformedFilesAreRefused) {
    ApngParseState state;
    std::vector<std::uint8_t> nineteen(std::begin(kPngSignature), std::end(kPngSignature));
    nineteen.resize(19, 0);
    EXPECT_EQ(Walk(nineteen, state), ChunkWalkResult::Malformed);

    const auto refused = [](PngWriter png) {
        ApngParseState s;
        return Walk(png.bytes, s);
    };
    EXPECT_EQ(refused(PngWriter().Ihdr(4, 4).Chunk("fcTL", std::vector<std::uint8_t>(25))), ChunkWalkResult::Malformed);
    EXPECT_EQ(refused(PngWriter().Ihdr(4, 4).Chunk("fcTL", std::vector<std::uint8_t>(27))), ChunkWalkResult::Malformed);
    EXPECT_EQ(refused(PngWriter().Ihdr(4, 4).Chunk("fdAT", Bytes({0, 0, 0}))), ChunkWalkResult::Malformed);
    EXPECT_EQ(refused(PngWriter().Ihdr(4, 4).Fctl(4, 4, 0, 0, 1, 1, 0, 0).Chunk("fdAT", Bytes({0, 0, 0}))),
              ChunkWalkResult::Malformed);
    EXPECT_EQ(refused(PngWriter().Chunk("IHDR", std::vector<std::uint8_t>(12))), ChunkWalkResult::Malformed);

    // A chunk whose data or CRC runs past the end is refused...
    PngWriter cut;
    cut.Ihdr(4, 4).Chunk("IDAT", Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    cut.bytes.resize(cut.bytes.size() - 2);
    EXPECT_EQ(Walk(cut.bytes, state), ChunkWalkResult::Malformed);
    // ...but fewer than 12 trailing bytes after a complete chunk are ignored.
    PngWriter tail;
    tail.Ihdr(4, 4).Chunk("IDAT", Bytes({1}));
    tail.bytes.insert(tail.bytes.end(), {0, 0, 0, 0, 'I', 'E', 'N'});
    EXPECT_EQ(Walk(tail.bytes, state), ChunkWalkResult::Ok);
    EXPECT_EQ(state.imagePieces.size(), 1u);
}

TEST(ParseApngChunks, CorruptCrcsAndSequenceNumbersAreNotLookedAt) {
    PngWriter png;
    png.Ihdr(4, 4).Chunk("acTL", Bytes({0, 0, 0, 1, 0, 0, 0, 0})).Fctl(4, 4, 0, 0, 1, 1, 0, 0).Chunk("IDAT", Bytes({1}));
    png.bytes[png.bytes.size() - 1] ^= 0xFF; // the IDAT's CRC
    ApngParseState state;
    EXPECT_EQ(Walk(png.bytes, state), ChunkWalkResult::Ok);
    EXPECT_EQ(state.controls.size(), 1u);
}

TEST(ParseApngChunks, PollsBeforeEachChunk) {
    PngWriter png;
    png.Ihdr(4, 4).Chunk("acTL", Bytes({0, 0, 0, 1, 0, 0, 0, 0})).Chunk("IDAT", Bytes({1})).Chunk("IEND", {});
    ApngParseState state;
    int polls = 0;
    EXPECT_EQ(ParseApngChunks(png.bytes.data(), png.bytes.size(), state, [&] { return ++polls == 3; }),
              ChunkWalkResult::Stopped);
    EXPECT_EQ(polls, 3);
}


// Chunks the format allows once, before the image data: the first one stands;
// a repeat, before or after the data, is damage that changes nothing.
struct OnceOnlyCase {
    const char* name;
    bool afterData; // the repeat comes after the first IDAT
};

class ParseApngChunksRepeat : public testing::TestWithParam<OnceOnlyCase> {};

TEST_P(ParseApngChunksRepeat, TheFirstStands) {
    const OnceOnlyCase c = GetParam();
    const auto repeat = [&](PngWriter& png) {
        const std::string name = c.name;
        if (name == "IHDR") png.Ihdr(20000, 20000);
        if (name == "acTL") png.Chunk("acTL", Bytes({0, 0, 0, 9, 0, 0, 0, 0}));
        if (name == "PLTE") png.Chunk("PLTE", Bytes({7, 7, 7, 8, 8, 8}));
        if (name == "tRNS") png.Chunk("tRNS", Bytes({5, 5}));
    };
    PngWriter png;
    png.Ihdr(64, 48).Chunk("PLTE", Bytes({1, 2, 3})).Chunk("tRNS", Bytes({9}));
    const bool animated = std::string(c.name) == "acTL";
    if (animated) png.Chunk("acTL", Bytes({0, 0, 0, 1, 0, 0, 0, 0})).Fctl(64, 48, 0, 0, 1, 10, 0, 0);
    if (!c.afterData) repeat(png);
    png.Chunk("IDAT", Bytes({'a'}));
    if (c.afterData) repeat(png);
    png.Chunk("IDAT", Bytes({'b'})).Chunk("IEND", {});

    ApngParseState state;
    ASSERT_EQ(Walk(png.bytes, state), ChunkWalkResult::Ok);
    EXPECT_EQ(state.CanvasWidth(), 64u);
    EXPECT_EQ(state.CanvasHeight(), 48u);
    EXPECT_EQ(state.sawAcTL, animated);
    ASSERT_EQ(state.ancillaryChunks.size(), 2u);
    EXPECT_EQ(Span(state.ancillaryChunks[0].data), "\x01\x02\x03");
    EXPECT_EQ(Span(state.ancillaryChunks[1].data), "\x09");
    EXPECT_EQ(state.imagePieces.size(), 2u); // the data around the repeat is still read
}

INSTANTIATE_TEST_SUITE_P(OnceOnlyChunks, ParseApngChunksRepeat,
                         testing::Values(OnceOnlyCase{"IHDR", false}, OnceOnlyCase{"IHDR", true},
                                         OnceOnlyCase{"acTL", false}, OnceOnlyCase{"acTL", true},
                                         OnceOnlyCase{"PLTE", false}, OnceOnlyCase{"PLTE", true},
                                         OnceOnlyCase{"tRNS", false}, OnceOnlyCase{"tRNS", true}),
                         [](const testing::TestParamInfo<OnceOnlyCase>& info) {
                             return std::string(info.param.name) + (info.param.afterData ? "AfterData" : "BeforeData");
                         });

TEST(ParseApngChunks, AnAnimationControlAfterTheImageDataDoesNotAnimateAPlainPicture) {
    PngWriter png;
    png.Ihdr(8, 8).Chunk("IDAT", Bytes({'a'})).Chunk("acTL", Bytes({0, 0, 0, 1, 0, 0, 0, 0}));
    png.Fctl(8, 8, 0, 0, 1, 10, 0, 0).Chunk("fdAT", Bytes({0, 0, 0, 1, 'b'})).Chunk("IEND", {});
    ApngParseState state;
    ASSERT_EQ(Walk(png.bytes, state), ChunkWalkResult::Ok);
    EXPECT_FALSE(state.sawAcTL);
    EXPECT_EQ(state.imagePieces.size(), 1u);
}
