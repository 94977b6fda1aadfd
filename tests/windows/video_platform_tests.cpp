// Video stills from real MP4 and WMV files through the platform's media
// framework (in the test prefix, with the stand-in colour converter under
// tests/support): the representative still, positioned stills and pixels
// against ffmpeg's own decoding.
#include "TestSupport.h"
#include "renderers/FormatTable.h"
#include "renderers/FrameSource.h"
#include "renderers/VideoFrame.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

constexpr std::uint64_t kSecond = 10'000'000;

Pixels Still(IAnimatedRenderer& renderer) {
    ComPtr<IWICBitmapSource> frame;
    Pixels pixels;
    EXPECT_EQ(renderer.GetFrameBitmap(0, &frame), S_OK);
    if (frame) {
        EXPECT_EQ(ReadPremultipliedBgra(frame.Get(), pixels), S_OK);
    }
    return pixels;
}

DecodedVideoFrame AsFrame(const Pixels& pixels) {
    DecodedVideoFrame frame;
    frame.width = pixels.width;
    frame.height = pixels.height;
    frame.stride = pixels.width * 4;
    frame.pixels = pixels.bytes;
    return frame;
}

// Mean absolute difference per channel against a binary PPM (RGB).
double MeanDifference(const Pixels& pixels, const std::vector<std::uint8_t>& ppm) {
    const std::string text(ppm.begin(), ppm.begin() + std::min<size_t>(ppm.size(), 64));
    unsigned width = 0, height = 0, maxValue = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "P6 %u %u %u%n", &width, &height, &maxValue, &consumed) != 3) return 1e9;
    if (width != pixels.width || height != pixels.height) return 1e9;
    const std::uint8_t* rgb = ppm.data() + consumed + 1;
    double total = 0;
    for (UINT y = 0; y < height; ++y) {
        for (UINT x = 0; x < width; ++x) {
            const std::uint8_t* p = pixels.At(x, y);
            const std::uint8_t* e = rgb + (static_cast<size_t>(y) * width + x) * 3;
            total += std::abs(p[2] - e[0]) + std::abs(p[1] - e[1]) + std::abs(p[0] - e[2]);
        }
    }
    return total / (3.0 * width * height);
}

} // namespace

TEST(VideoPlatform, FullLoadShowsAStillPastTheBlackPart) {
    VideoStillRenderer renderer;
    ASSERT_EQ(renderer.Load(StreamFromBytes(VideoFixture("black_then_bright.mp4")).Get()), S_OK);
    ASSERT_EQ(renderer.GetFrameCount(), 1u);
    EXPECT_TRUE(renderer.IsTimeBased());
    EXPECT_NEAR(static_cast<double>(renderer.GetDuration()), 3.0 * kSecond, 0.2 * kSecond);
    EXPECT_GE(renderer.GetPosition(), kSecond); // the black second is passed over
    const Pixels still = Still(renderer);
    EXPECT_EQ(still.width, 160u);
    EXPECT_EQ(still.height, 90u);
    EXPECT_TRUE(PassesDarknessTest(AsFrame(still)));
}

TEST(VideoPlatform, BlackThroughoutShowsTheFallbackStill) {
    VideoStillRenderer renderer;
    ASSERT_EQ(renderer.Load(StreamFromBytes(VideoFixture("black.mp4")).Get()), S_OK);
    ASSERT_EQ(renderer.GetFrameCount(), 1u);
    EXPECT_FALSE(PassesDarknessTest(AsFrame(Still(renderer))));
}

TEST(VideoPlatform, FullHdGivesAFullHdPicture) {
    VideoStillRenderer renderer;
    ASSERT_EQ(renderer.Load(StreamFromBytes(VideoFixture("hd1080.mp4")).Get()), S_OK);
    const Pixels still = Still(renderer);
    EXPECT_EQ(still.width, 1920u);
    EXPECT_EQ(still.height, 1080u);
}

TEST(VideoPlatform, PositionedLoadsReportTheirTarget) {
    const auto bytes = VideoFixture("black_then_bright.mp4");
    VideoStillRenderer renderer;
    ASSERT_EQ(renderer.Load(StreamFromBytes(bytes).Get()), S_OK);
    const std::uint64_t duration = renderer.GetDuration();
    for (const std::uint64_t target : {std::uint64_t{0}, duration / 2, duration, duration + 5 * kSecond}) {
        ASSERT_EQ(renderer.LoadAtPosition(StreamFromBytes(bytes).Get(), target), S_OK) << target;
        EXPECT_EQ(renderer.GetFrameCount(), 1u);
        EXPECT_EQ(renderer.GetPosition(), std::min(target, duration - 1));
        EXPECT_EQ(renderer.GetDuration(), duration);
    }
}

TEST(VideoPlatform, PixelsMatchFfmpegAtTheSameTime) {
    struct Case {
        const char* video;
        std::uint64_t at;
        const char* reference;
    };
    for (const Case& c : {Case{"black_then_bright.mp4", 2 * kSecond, "black_then_bright.frame20.ppm"},
                          Case{"pattern.wmv", kSecond, "pattern.frame10.ppm"}}) {
        VideoStillRenderer renderer;
        ASSERT_EQ(renderer.LoadAtPosition(StreamFromBytes(VideoFixture(c.video)).Get(), c.at), S_OK) << c.video;
        EXPECT_LT(MeanDifference(Still(renderer), VideoFixture(c.reference)), 6.0) << c.video;
    }
}

TEST(VideoPlatform, ShortAndWmvFilesLoad) {
    VideoStillRenderer shortClip;
    ASSERT_EQ(shortClip.Load(StreamFromBytes(VideoFixture("short.mp4")).Get()), S_OK);
    EXPECT_LT(shortClip.GetDuration(), kSecond);
    VideoStillRenderer wmv;
    ASSERT_EQ(wmv.Load(StreamFromBytes(VideoFixture("pattern.wmv")).Get()), S_OK);
    EXPECT_NEAR(static_cast<double>(wmv.GetDuration()), 2.0 * kSecond, 0.3 * kSecond);
}

// Thumbnails see only the stream: each container is known by its first bytes.
TEST(VideoPlatform, EveryContainerIsKnownByItsHeaderAndShowsThePattern) {
    struct Case {
        const char* video;
        const wchar_t* format;
    };
    const auto pattern = VideoFixture("pattern.source10.ppm");
    for (const Case& c : {Case{"pattern.m4v", L"MPEG-4"}, Case{"pattern.mov", L"QuickTime"},
                          Case{"pattern.mkv", L"Matroska"}, Case{"pattern.avi", L"AVI"},
                          Case{"pattern.webm", L"WebM"}}) {
        const auto bytes = VideoFixture(c.video);
        const FormatRow* format = ChooseFormatForStream(StreamFromBytes(bytes).Get(), L"");
        ASSERT_NE(format, nullptr) << c.video;
        EXPECT_EQ(std::wstring(format->name), c.format) << c.video;
        VideoStillRenderer renderer;
        ASSERT_EQ(renderer.LoadAtPosition(StreamFromBytes(bytes).Get(), kSecond), S_OK) << c.video;
        EXPECT_NEAR(static_cast<double>(renderer.GetDuration()), 2.0 * kSecond, 0.3 * kSecond) << c.video;
        EXPECT_LT(MeanDifference(Still(renderer), pattern), 8.0) << c.video;
    }
}

TEST(VideoPlatform, AContainerWithImpossibleSizesFailsBeforeTheParserSeesIt) {
    // The moov box declares a 64-bit size (size field 1) far beyond the file.
    auto bytes = VideoFixture("short.mp4");
    std::size_t at = 0;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t size = (bytes[at] << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
        if (std::memcmp(&bytes[at + 4], "moov", 4) == 0) break;
        ASSERT_GE(size, 8u);
        at += size;
    }
    ASSERT_LE(at + 16, bytes.size());
    const std::uint8_t hugeSize[12] = {0, 0, 0, 1, 'm', 'o', 'o', 'v', 0x7F, 0xFF, 0xFF, 0xFF};
    std::memcpy(&bytes[at], hugeSize, sizeof(hugeSize));
    VideoStillRenderer renderer;
    EXPECT_EQ(renderer.Load(StreamFromBytes(bytes).Get()), E_FAIL);
    EXPECT_EQ(renderer.GetFrameCount(), 0u);
}
