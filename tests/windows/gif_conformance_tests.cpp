// Every file of the public GIF suite, frame by frame, against the suite's
// expected pictures (straight RGBA, premultiplied here for comparison).
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

std::vector<std::wstring> ExpectedFramePaths(const std::string& name) {
    std::vector<std::wstring> paths;
    const std::wstring single = ConformancePath("gif/gifs/frames/" + name + ".png");
    if (GetFileAttributesW(single.c_str()) != INVALID_FILE_ATTRIBUTES) return {single};
    for (int k = 0;; ++k) {
        const std::wstring path = ConformancePath("gif/gifs/frames/" + name + "-" + std::to_string(k) + ".png");
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) break;
        paths.push_back(path);
    }
    return paths;
}

// Premultiplying rounds, so each channel may differ by one.
::testing::AssertionResult SamePicture(const Pixels& actual, const Pixels& expected) {
    if (actual.width != expected.width || actual.height != expected.height) {
        return ::testing::AssertionFailure() << "size " << actual.width << "x" << actual.height << ", expected "
                                             << expected.width << "x" << expected.height;
    }
    for (UINT y = 0; y < actual.height; ++y) {
        for (UINT x = 0; x < actual.width; ++x) {
            const std::uint8_t* a = actual.At(x, y);
            const std::uint8_t* e = expected.At(x, y);
            for (int c = 0; c < 4; ++c) {
                if (std::abs(int(a[c]) - int(e[c])) > 1) {
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << "," << y << ") BGRA " << int(a[0]) << "," << int(a[1]) << ","
                           << int(a[2]) << "," << int(a[3]) << ", expected " << int(e[0]) << "," << int(e[1]) << ","
                           << int(e[2]) << "," << int(e[3]);
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

class GifConformance : public testing::TestWithParam<std::string> {};

} // namespace

TEST_P(GifConformance, EveryFrameMatchesTheSuite) {
    const std::string name = GetParam();
    const std::vector<std::uint8_t> bytes = ReadFileBytes(ConformancePath("gif/gifs/" + name + ".gif"));
    ASSERT_FALSE(bytes.empty());
    const std::vector<std::wstring> expectedPaths = ExpectedFramePaths(name);
    ASSERT_FALSE(expectedPaths.empty());

    const SourceFrames read = ReadSourceFrames(L".gif", bytes);
    ASSERT_EQ(read.hr, S_OK);
    ASSERT_EQ(read.frames.size(), expectedPaths.size());
    for (std::uint32_t k = 0; k < expectedPaths.size(); ++k) {
        Pixels expected;
        ASSERT_EQ(DecodeFileAsPremultipliedBgra(expectedPaths[k], expected), S_OK);
        const Pixels& actual = read.frames[k];
        // The suite, too, clears a disposed area to transparent rather than to the
        // background colour, so every frame is expected to match.
        EXPECT_TRUE(SamePicture(actual, expected)) << name << "-" << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Suite, GifConformance, testing::ValuesIn(ConformanceGifNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(GifConformanceSuite, IsPresent) { EXPECT_GE(ConformanceGifNames().size(), 13u); }
