#include "presentation/InfoLineText.h"

#include <gtest/gtest.h>

using namespace Quivane;

namespace {

MediaFacts Facts(const wchar_t* format, std::uint32_t width, std::uint32_t height, const wchar_t* codec = L"") {
    MediaFacts facts;
    facts.format = format;
    facts.width = width;
    facts.height = height;
    facts.codec = codec;
    return facts;
}

constexpr std::uint64_t kSecond = 10'000'000;

} // namespace

TEST(InfoLine, AnimationsCountFromOneAndNameAnySpeedButTheirOwn) {
    const MediaFacts gif = Facts(L"GIF", 1280, 720);
    EXPECT_EQ(AnimationInfoLine(gif, 11, 150, 40, 100), L"12 / 150 \u00B7 40 ms \u00B7 1280\u00D7720 \u00B7 GIF");
    EXPECT_EQ(AnimationInfoLine(gif, 149, 150, 40, 25),
              L"150 / 150 \u00B7 40 ms \u00B7 1280\u00D7720 \u00B7 GIF \u00B7 0.25\u00D7");
    EXPECT_EQ(AnimationInfoLine(gif, 0, 2, 100, 400), L"1 / 2 \u00B7 100 ms \u00B7 1280\u00D7720 \u00B7 GIF \u00B7 4\u00D7");
    // A still has no frames to count and no speed; unknown facts are left out, not shown as zeros.
    EXPECT_EQ(AnimationInfoLine(Facts(L"PNG", 20000, 1920), 0, 1, 0, 200), L"20000\u00D71920 \u00B7 PNG");
    EXPECT_EQ(AnimationInfoLine(Facts(L"", 0, 0), 3, 9, 10, 100), L"4 / 9 \u00B7 10 ms");
}

TEST(InfoLine, SpeedsAsPeopleWriteThem) {
    EXPECT_EQ(SpeedText(25), L"0.25\u00D7");
    EXPECT_EQ(SpeedText(50), L"0.5\u00D7");
    EXPECT_EQ(SpeedText(200), L"2\u00D7");
    EXPECT_EQ(SpeedText(150), L"1.5\u00D7");
}

TEST(InfoLine, VideosShowPositionDurationSizeAndCodec) {
    EXPECT_EQ(VideoInfoLine(Facts(L"MP4", 1920, 1080, L"H.264"), 12 * kSecond + 99, 36 * kSecond + kSecond / 2),
              L"0:12.0 / 0:36.5 \u00B7 1920\u00D71080 \u00B7 H.264");
    // Tenths are cut, never rounded up past the position; hours appear when there are some.
    EXPECT_EQ(ClockText(kSecond - 1), L"0:00.9");
    EXPECT_EQ(ClockText(725 * kSecond + 3 * kSecond / 10), L"12:05.3");
    EXPECT_EQ(ClockText(3723 * kSecond + 4 * kSecond / 10), L"1:02:03.4");
    // Without a codec the container is named; without a duration, the position alone.
    EXPECT_EQ(VideoInfoLine(Facts(L"AVI", 0, 0), 0, 0), L"0:00.0 \u00B7 AVI");
}
