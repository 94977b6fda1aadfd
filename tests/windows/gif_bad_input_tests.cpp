// Truncated and corrupted GIFs end in a failing HRESULT or in valid, whole
// frames: never a crash, hang or half a picture.
#include "GifBuilder.h"
#include "TestSupport.h"
#include "platform/Failure.h"
#include "formats/FormatSources.h"
#include "frames/FrameSource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

::testing::AssertionResult LoadsCleanly(const std::vector<std::uint8_t>& bytes) {
    return ReadsWholeFramesOrFails(L".gif", bytes);
}

// A small deterministic generator, so a failing variant can be named and rerun.
class Lcg {
public:
    explicit Lcg(std::uint32_t start) : state_(start) {}
    std::uint32_t Next() { return state_ = state_ * 1664525u + 1013904223u; }

private:
    std::uint32_t state_;
};

class GifBadInput : public testing::TestWithParam<std::string> {
protected:
    std::vector<std::uint8_t> Original() { return ReadFileBytes(ConformancePath("gif/gifs/" + GetParam() + ".gif")); }
};

} // namespace

TEST_P(GifBadInput, TruncatedAnywhere) {
    const auto original = Original();
    ASSERT_FALSE(original.empty());
    std::vector<size_t> lengths;
    for (size_t n = 0; n < 40 && n < original.size(); ++n) lengths.push_back(n);          // inside the header
    for (size_t k = 1; k < 48; ++k) lengths.push_back(original.size() * k / 48);           // spread over the body
    for (size_t n = 1; n <= 4 && n < original.size(); ++n) lengths.push_back(original.size() - n); // near the end
    for (size_t length : lengths) {
        const std::vector<std::uint8_t> cut(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_TRUE(LoadsCleanly(cut)) << GetParam() << " cut to " << length << " bytes";
    }
}

TEST_P(GifBadInput, BytesFlipped) {
    const auto original = Original();
    ASSERT_FALSE(original.empty());
    Lcg random(static_cast<std::uint32_t>(std::hash<std::string>{}(GetParam()) & 0xFFFFFFFFu));
    for (int variant = 0; variant < 30; ++variant) {
        auto corrupt = original;
        const int flips = 1 + variant % 4;
        for (int f = 0; f < flips; ++f) {
            // Half the flips land in the first 64 bytes, where sizes and flags live.
            const size_t span = (f % 2 == 0) ? std::min<size_t>(64, corrupt.size()) : corrupt.size();
            corrupt[random.Next() % span] ^= static_cast<std::uint8_t>(1u << (random.Next() % 8));
        }
        EXPECT_TRUE(LoadsCleanly(corrupt)) << GetParam() << " variant " << variant;
    }
}

INSTANTIATE_TEST_SUITE_P(Suite, GifBadInput, testing::ValuesIn(ConformanceGifNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(GifHostileHeaders, SizesAndPlacementsAtTheLimits) {
    const std::vector<Rgb> palette = {{0, 0, 0}, {255, 0, 0}};
    struct Case {
        std::uint16_t screenWidth, screenHeight, left, top, width, height;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 3, 3},             {0, 7, 0, 0, 3, 3},           {65535, 65535, 0, 0, 1, 1},
        {8, 8, 65535, 65535, 2, 2},     {8, 8, 65534, 0, 4, 4},       {1, 1, 0, 0, 40, 40},
        {40000, 1, 39999, 0, 2, 1},     {300, 1, 299, 0, 2, 1},
    };
    for (const Case& c : cases) {
        const auto bytes =
            GifBuilder(c.screenWidth, c.screenHeight, palette).AddFrame(SolidFrame(c.left, c.top, c.width, c.height, 1)).Build();
        EXPECT_TRUE(LoadsCleanly(bytes)) << c.screenWidth << "x" << c.screenHeight << " frame at " << c.left << ","
                                         << c.top;
    }
}

TEST(GifHostileHeaders, DescriptorClaimingMoreThanTheDataHolds) {
    // The descriptor says 50x50 but the image data holds only a few pixels.
    GifFrameSpec frame = SolidFrame(0, 0, 50, 50, 1);
    frame.indices.resize(7);
    const auto bytes = GifBuilder(50, 50, {{0, 0, 0}, {255, 0, 0}}).AddFrame(frame).Build();
    EXPECT_TRUE(LoadsCleanly(bytes));
}

namespace {
std::mutex heardLock;
std::vector<FailurePlace> heard;
void HearFailure(const FailurePlace& place) {
    std::lock_guard<std::mutex> lock(heardLock);
    heard.push_back(place);
}
} // namespace

// A file cut inside its first image is damage, told as such, and the place it
// was found is what the hook hears and what the thread keeps however far it is passed up.
TEST(GifFailureReason, ACutFileFailsAsDamagedAndTheHookHearsWhere) {
    GifBuilder gif(4, 4, {{0, 0, 0}, {255, 0, 0}});
    std::vector<std::uint8_t> cut = gif.AddFrame(SolidFrame(0, 0, 4, 4, 1)).Build();
    cut.resize(cut.size() - 6);
    ResetFailureRecord();
    SetFailureHook(&HearFailure);
    const auto source = CreateFrameSource(FormatWithExtension(L".gif"));
    const HRESULT hr = source->Open(StreamFromBytes(cut).Get());
    SetFailureHook(nullptr);
    EXPECT_EQ(hr, WINCODEC_ERR_BADIMAGE);
    std::lock_guard<std::mutex> lock(heardLock);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].hr, WINCODEC_ERR_BADIMAGE);
    EXPECT_STREQ(heard[0].file, "GifFrameSource.cpp");
    EXPECT_GT(heard[0].line, 0);
    const auto kept = RecordedFailure();
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->line, heard[0].line);
    ResetFailureRecord();
    EXPECT_FALSE(RecordedFailure().has_value());
}
