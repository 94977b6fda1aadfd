#include "GifBuilder.h"
#include "renderers/GifControlBlocks.h"

#include <gtest/gtest.h>

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
