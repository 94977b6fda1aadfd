#include "GifBuilder.h"
#include "formats/gif/GifControlBlocks.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

std::vector<GifControlBlock> Walk(const std::vector<std::uint8_t>& bytes) {
    return ReadGifControlBlocks(bytes.data(), bytes.size());
}

GifFrameSpec Frame(std::uint8_t disposal, std::uint16_t delay, bool control = true, bool applicationBlock = false) {
    GifFrameSpec frame = SolidFrame(0, 0, 3, 2, 1);
    frame.disposal = disposal;
    frame.delayHundredths = delay;
    frame.hasControlBlock = control;
    frame.applicationBlockAfterControl = applicationBlock;
    return frame;
}

} // namespace

TEST(ReadGifControlBlocks, OneEntryPerImageWithItsOwnControlBlock) {
    const auto bytes = GifBuilder(3, 2, {{0, 0, 0}, {255, 0, 0}})
                           .AddFrame(Frame(1, 7))
                           .AddFrame(Frame(2, 300, true, /*applicationBlock=*/true))
                           .AddFrame(Frame(0, 0, /*control=*/false))
                           .AddFrame(Frame(3, 65535, true, true))
                           .Build();
    const auto blocks = Walk(bytes);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_TRUE(blocks[0].present);
    EXPECT_EQ(blocks[0].disposal, 1u);
    EXPECT_EQ(blocks[0].delayHundredths, 7u);
    EXPECT_TRUE(blocks[1].present);
    EXPECT_EQ(blocks[1].disposal, 2u);
    EXPECT_EQ(blocks[1].delayHundredths, 300u);
    EXPECT_FALSE(blocks[2].present); // a control block applies to the next image only
    EXPECT_EQ(blocks[3].disposal, 3u);
    EXPECT_EQ(blocks[3].delayHundredths, 65535u);
}

TEST(ReadGifControlBlocks, LongImagesSpanManySubBlocks) {
    GifFrameSpec big = SolidFrame(0, 0, 100, 40, 1); // data longer than one 255-byte sub-block
    big.disposal = 2;
    const auto blocks = Walk(GifBuilder(100, 40, {{0, 0, 0}, {255, 0, 0}}).AddFrame(big).AddFrame(Frame(3, 4)).Build());
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].disposal, 2u);
    EXPECT_EQ(blocks[1].disposal, 3u);
}

TEST(ReadGifControlBlocks, TruncatedOrForeignDataStopsQuietly) {
    const auto bytes = GifBuilder(3, 2, {{0, 0, 0}, {255, 0, 0}}).AddFrame(Frame(2, 5)).AddFrame(Frame(3, 6)).Build();
    EXPECT_TRUE(ReadGifControlBlocks(nullptr, 0).empty());
    EXPECT_TRUE(Walk({'P', 'N', 'G', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).empty());
    size_t previous = 0;
    for (size_t length = 0; length <= bytes.size(); ++length) {
        const auto blocks = Walk(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
        EXPECT_LE(blocks.size(), 2u);
        EXPECT_GE(blocks.size(), previous); // more data never loses an image already seen
        previous = blocks.size();
    }
    EXPECT_EQ(previous, 2u);
}

namespace {

struct HandImage {
    std::uint16_t left = 0, top = 0, width = 1, height = 1;
    std::uint8_t localTableBits = 0; // 0: none; n: a table of 2^n entries
    bool interlaced = false;
    bool control = false;
    std::uint8_t disposal = 0;
    std::uint16_t delay = 0;
};

void PutU16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// A GIF written byte by byte, so colour tables can be left out where GifBuilder
// always writes one. `descriptorEnds` gets the offset just past each image descriptor.
std::vector<std::uint8_t> HandGif(std::uint16_t width, std::uint16_t height, bool globalTable,
                                  const std::vector<HandImage>& images, std::vector<std::size_t>* descriptorEnds = nullptr) {
    std::vector<std::uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    PutU16(out, width);
    PutU16(out, height);
    out.push_back(globalTable ? 0x80 : 0x00); // two entries when present
    out.push_back(0);
    out.push_back(0);
    if (globalTable) out.insert(out.end(), 6, 0x7F);
    for (const HandImage& image : images) {
        if (image.control) {
            out.insert(out.end(), {0x21, 0xF9, 0x04, static_cast<std::uint8_t>(image.disposal << 2)});
            PutU16(out, image.delay);
            out.insert(out.end(), {0x00, 0x00});
        }
        out.push_back(0x2C);
        PutU16(out, image.left);
        PutU16(out, image.top);
        PutU16(out, image.width);
        PutU16(out, image.height);
        std::uint8_t packed = image.interlaced ? 0x40 : 0x00;
        if (image.localTableBits > 0) packed |= static_cast<std::uint8_t>(0x80 | (image.localTableBits - 1));
        out.push_back(packed);
        if (descriptorEnds) descriptorEnds->push_back(out.size());
        if (image.localTableBits > 0) out.insert(out.end(), 3u << image.localTableBits, 0x20);
        out.insert(out.end(), {0x02, 0x02, 0x4C, 0x01, 0x00}); // code size, one sub-block, terminator
    }
    out.push_back(0x3B);
    return out;
}

GifLayout Layout(const std::vector<std::uint8_t>& bytes) { return ReadGifLayout(bytes.data(), bytes.size()); }

} // namespace

TEST(ReadGifLayout, ScreenDescriptorsAndColourTablesInFileOrder) {
    std::vector<HandImage> images(4);
    images[0] = {1, 2, 3, 1, /*localTableBits=*/2, /*interlaced=*/true, /*control=*/true, 2, 9};
    images[1] = {0, 0, 4, 3};                // no local table
    images[2] = {0, 1, 32000, 65535};        // far larger than the screen
    images[3] = {4, 0, 1, 1, 1};             // wholly right of the screen
    for (const bool global : {false, true}) {
        SCOPED_TRACE(global);
        const GifLayout layout = Layout(HandGif(4, 3, global, images));
        ASSERT_TRUE(layout.valid);
        EXPECT_TRUE(layout.reachedTrailer);
        EXPECT_EQ(layout.screenWidth, 4u);
        EXPECT_EQ(layout.screenHeight, 3u);
        EXPECT_EQ(layout.globalColourTable, global);
        ASSERT_EQ(layout.images.size(), 4u);

        const GifImageLayout& first = layout.images[0];
        EXPECT_EQ(first.left, 1u);
        EXPECT_EQ(first.top, 2u);
        EXPECT_EQ(first.width, 3u);
        EXPECT_EQ(first.height, 1u);
        EXPECT_TRUE(first.localColourTable);
        EXPECT_TRUE(first.hasColourTable);
        EXPECT_TRUE(first.interlaced);
        EXPECT_TRUE(first.dataComplete);
        EXPECT_TRUE(first.control.present);
        EXPECT_EQ(first.control.disposal, 2u);
        EXPECT_EQ(first.control.delayHundredths, 9u);

        EXPECT_FALSE(layout.images[1].localColourTable);
        EXPECT_EQ(layout.images[1].hasColourTable, global); // neither table: the decoder has no palette
        EXPECT_FALSE(layout.images[1].interlaced);
        EXPECT_FALSE(layout.images[1].control.present);

        EXPECT_EQ(layout.images[2].width, 32000u);
        EXPECT_EQ(layout.images[2].height, 65535u);
        const CanvasRegion oversize = GifImageRegionOnScreen(layout, layout.images[2]);
        EXPECT_EQ(oversize.left, 0u);
        EXPECT_EQ(oversize.top, 1u);
        EXPECT_EQ(oversize.columns, 4u);
        EXPECT_EQ(oversize.rows, 2u);
        const CanvasRegion outside = GifImageRegionOnScreen(layout, layout.images[3]);
        EXPECT_EQ(outside.columns, 0u);
        EXPECT_EQ(outside.rows, 0u);
    }
}

TEST(ReadGifLayout, TruncatedFilesReportOnlyCompleteDescriptors) {
    std::vector<std::size_t> descriptorEnds;
    const std::vector<HandImage> images = {{0, 0, 2, 2, 1, false, true, 1, 5}, {1, 1, 1, 1}, {0, 0, 2, 1, 3}};
    const auto bytes = HandGif(2, 2, true, images, &descriptorEnds);
    const std::size_t globalTableEnd = 13 + 6;
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const GifLayout layout = Layout(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
        EXPECT_EQ(layout.valid, length >= globalTableEnd);
        const auto complete = static_cast<std::size_t>(
            std::count_if(descriptorEnds.begin(), descriptorEnds.end(), [&](std::size_t end) { return end <= length; }));
        ASSERT_EQ(layout.images.size(), complete);
        for (std::size_t i = 0; i < complete; ++i) {
            EXPECT_EQ(layout.images[i].width, images[i].width);
            // Each image's data ends five bytes (code size and sub-blocks) after its tables.
            const std::size_t dataEnd = descriptorEnds[i] + (images[i].localTableBits ? 3u << images[i].localTableBits : 0) + 5;
            EXPECT_EQ(layout.images[i].dataComplete, length >= dataEnd);
        }
        EXPECT_EQ(layout.reachedTrailer, length == bytes.size());
    }
    EXPECT_FALSE(Layout({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x87, 0, 0}).valid); // global table missing
}

TEST(ReadGifLayout, ASecondLogicalScreenIsDamageThatChangesNothing) {
    // A whole second header (signature and a 20000 x 20000 screen with a
    // global table), as where two files were joined: where a block should
    // start, and after the trailer.
    std::vector<std::uint8_t> second = HandGif(20000, 20000, true, {{0, 0, 20000, 20000}});
    second.pop_back(); // no trailer of its own
    const std::vector<HandImage> images = {{0, 0, 4, 3}, {1, 1, 2, 2}};
    const auto first = HandGif(4, 3, false, images);
    auto inPlaceOfABlock = HandGif(4, 3, false, {images[0]});
    inPlaceOfABlock.pop_back();
    inPlaceOfABlock.insert(inPlaceOfABlock.end(), second.begin(), second.end());
    auto afterTheTrailer = first;
    afterTheTrailer.insert(afterTheTrailer.end(), second.begin(), second.end());
    for (const auto& [bytes, count] : {std::pair{inPlaceOfABlock, 1u}, std::pair{afterTheTrailer, 2u}}) {
        const GifLayout layout = Layout(bytes);
        ASSERT_TRUE(layout.valid);
        EXPECT_EQ(layout.screenWidth, 4u);
        EXPECT_EQ(layout.screenHeight, 3u);
        EXPECT_FALSE(layout.globalColourTable);
        ASSERT_EQ(layout.images.size(), count); // the images before it, whole
        for (const GifImageLayout& image : layout.images) EXPECT_LE(image.width, 4u);
    }
}
