// The public APNG test collection: every file loads cleanly, and the files
// whose reference picture is listed show it on the frame checked. The
// reference values are straight RGBA; frames here are premultiplied BGRA.
#include "ApngBuilder.h"
#include "TestSupport.h"
#include "platform/StopToken.h"

#include <atomic>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

struct Rgba {
    int r, g, b, a;
};

struct Reference {
    const char* name;
    int frame; // -1: the last frame
    Rgba origin;
    bool checkCentre;
    Rgba centre; // at (64, 32)
};

constexpr Rgba kGreen{0, 255, 0, 255};
constexpr Rgba kClear{0, 0, 0, 0};

const Reference kReferences[] = {
    {"single_frame", -1, kGreen, true, kGreen},
    // The reference counts the default image outside the animation as a
    // frame ("seek 1"); here it is no frame, so the animation's frame is 0.
    {"single_frame_default", 0, kGreen, true, kGreen},
    {"dispose_op_none", -1, kGreen, true, kGreen},
    {"dispose_op_background", -1, kClear, true, kClear},
    {"dispose_op_background_final", -1, kGreen, true, kGreen},
    {"dispose_op_previous", -1, kGreen, true, kGreen},
    {"dispose_op_previous_final", -1, kGreen, true, kGreen},
    {"dispose_op_previous_first", -1, kClear, true, kClear},
    {"dispose_op_none_region", -1, kGreen, true, kGreen},
    {"dispose_op_background_before_region", -1, kClear, true, kClear},
    {"dispose_op_background_region", -1, {0, 0, 255, 255}, true, kClear},
    {"dispose_op_previous_region", -1, kGreen, true, kGreen},
    {"dispose_op_previous_frame", -1, {255, 0, 0, 255}, false, {}},
    {"blend_op_source_solid", -1, kGreen, true, kGreen},
    {"blend_op_source_transparent", -1, kClear, true, kClear},
    {"blend_op_source_near_transparent", -1, {0, 255, 0, 2}, true, {0, 255, 0, 2}},
    {"blend_op_over", -1, kGreen, true, kGreen},
    // Here and in mode_16bit, mode_grayscale_alpha and mode_palette_1bit_alpha
    // the first fcTL frame is opaque and the later ones are drawn OVER it, so
    // the last frame is opaque; the reference lists other colours, which no
    // OVER on that frame gives. The OVER rule decides.
    {"blend_op_over_near_transparent", -1, kGreen, true, kGreen},
    {"fctl_actl", -1, kGreen, true, kGreen},
    {"mode_16bit", -1, {0, 0, 128, 255}, true, {0, 0, 128, 255}},
    {"mode_grayscale_alpha", -1, {128, 128, 128, 255}, true, {128, 128, 128, 255}},
    {"mode_palette", -1, kGreen, true, kGreen},
    {"mode_palette_alpha", -1, kGreen, true, kGreen},
    {"mode_palette_1bit_alpha", -1, {0, 0, 128, 255}, true, {0, 0, 128, 255}},
};

std::vector<std::string> AllApngNames() {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(ConformancePath("apng/*.png").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = found.cFileName;
        names.emplace_back(name.begin(), name.end() - 4);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

::testing::AssertionResult PixelIs(const Pixels& pixels, UINT x, UINT y, const Rgba& straight) {
    // Premultiplied BGRA of the reference colour; one step either way for rounding.
    const int expected[4] = {(straight.b * straight.a + 127) / 255, (straight.g * straight.a + 127) / 255,
                             (straight.r * straight.a + 127) / 255, straight.a};
    const std::uint8_t* p = pixels.At(x, y);
    for (int c = 0; c < 4; ++c) {
        if (std::abs(p[c] - expected[c]) > 1) {
            return ::testing::AssertionFailure() << "(" << x << "," << y << ") BGRA " << int(p[0]) << "," << int(p[1])
                                                 << "," << int(p[2]) << "," << int(p[3]) << ", expected "
                                                 << expected[0] << "," << expected[1] << "," << expected[2] << ","
                                                 << expected[3];
        }
    }
    return ::testing::AssertionSuccess();
}

class ApngReference : public testing::TestWithParam<Reference> {};
class ApngFile : public testing::TestWithParam<std::string> {};

} // namespace

TEST_P(ApngReference, FrameShowsTheReferencePixels) {
    const Reference& reference = GetParam();
    const auto bytes = ReadFileBytes(ConformancePath(std::string("apng/") + reference.name + ".png"));
    ASSERT_FALSE(bytes.empty());
    const SourceFrames read = ReadSourceFrames(L".png", bytes);
    ASSERT_EQ(read.hr, S_OK);
    ASSERT_GT(read.frames.size(), 0u);
    const std::size_t index = reference.frame < 0 ? read.frames.size() - 1 : static_cast<std::size_t>(reference.frame);
    ASSERT_LT(index, read.frames.size());
    const Pixels& pixels = read.frames[index];
    EXPECT_TRUE(PixelIs(pixels, 0, 0, reference.origin));
    if (reference.checkCentre) {
        EXPECT_TRUE(PixelIs(pixels, 64, 32, reference.centre));
    }
}

INSTANTIATE_TEST_SUITE_P(Suite, ApngReference, testing::ValuesIn(kReferences),
                         [](const testing::TestParamInfo<Reference>& info) { return std::string(info.param.name); });

TEST_P(ApngFile, LoadsToAWholeFrameListOrFails) {
    const auto bytes = ReadFileBytes(ConformancePath("apng/" + GetParam() + ".png"));
    ASSERT_FALSE(bytes.empty());
    EXPECT_TRUE(ReadsWholeFramesOrFails(L".png", bytes));
}

INSTANTIATE_TEST_SUITE_P(Suite, ApngFile, testing::ValuesIn(AllApngNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(ApngRules, SuiteFilesFollowThePathRules) {
    const auto load = [](const char* name) {
        return ReadSourceFrames(L".png", ReadFileBytes(ConformancePath(std::string("apng/") + name + ".png")));
    };
    {
        const SourceFrames read = load("chunk_no_actl"); // no acTL: the plain path shows the default image for 80 ms
        ASSERT_EQ(read.hr, S_OK);
        ASSERT_EQ(read.frames.size(), 1u);
        EXPECT_EQ(read.delays[0], 80u);
    }
    for (const char* name : {"chunk_no_fctl", "syntax_num_frames_zero_default"}) {
        // acTL, and IDAT without fcTL: no animation, so the default image is a still.
        const SourceFrames read = load(name);
        ASSERT_EQ(read.hr, S_OK) << name;
        ASSERT_EQ(read.frames.size(), 1u) << name;
        EXPECT_EQ(read.delays[0], 80u) << name;
    }
    // A default image with no fcTL before it is no frame: the animation is the fcTL frames alone.
    for (const auto& [name, frames] : {std::pair{"delay", 4u}, std::pair{"blend_op_over", 2u},
                                       std::pair{"single_frame_default", 1u}, std::pair{"dispose_op_none", 3u}}) {
        const SourceFrames read = load(name);
        ASSERT_EQ(read.hr, S_OK) << name;
        EXPECT_EQ(read.frames.size(), frames) << name;
    }
    for (const char* name : {"sequence_gap", "sequence_reorder", "sequence_repeat", "sequence_start"}) {
        EXPECT_EQ(load(name).hr, S_OK) << name; // sequence numbers are never compared
    }
    EXPECT_GE(AllApngNames().size(), 54u);
}

// Truncated and byte-flipped suite files: a failing result or a whole frame list.
TEST_P(ApngFile, TruncatedAndCorruptedCopiesLoadCleanly) {
    const auto original = ReadFileBytes(ConformancePath("apng/" + GetParam() + ".png"));
    ASSERT_FALSE(original.empty());
    for (size_t k = 0; k <= 24; ++k) {
        const std::vector<std::uint8_t> cut(original.begin(),
                                            original.begin() + static_cast<std::ptrdiff_t>(original.size() * k / 24));
        EXPECT_TRUE(ReadsWholeFramesOrFails(L".png", cut)) << GetParam() << " cut at " << k << "/24";
    }
    std::uint32_t state = static_cast<std::uint32_t>(original.size());
    for (int variant = 0; variant < 12; ++variant) {
        auto corrupt = original;
        for (int f = 0; f < 1 + variant % 3; ++f) {
            state = state * 1664525u + 1013904223u;
            corrupt[8 + state % (corrupt.size() - 8)] ^= static_cast<std::uint8_t>(1u << (state >> 29));
        }
        EXPECT_TRUE(ReadsWholeFramesOrFails(L".png", corrupt)) << GetParam() << " variant " << variant;
    }
}

TEST(ApngRules, StopRequestEndsTheDecodeWithNoFrames) {
    std::atomic<std::uint64_t> generation{2};
    const SourceFrames read =
        ReadSourceFrames(L".png", ReadFileBytes(ConformancePath("apng/delay.png")), StopToken(&generation, 1));
    EXPECT_EQ(read.hr, HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_EQ(read.frames.size(), 0u);
}

// The default image outside the animation is shown only when the animation
// cannot play, as a viewer that does not animate shows it; otherwise it never
// shows, not even under frames drawn over it.
TEST(ApngRules, TheHiddenDefaultImageStandsInOnlyForAnAnimationThatCannotPlay) {
    const auto red = SolidImageData(8, 8, {255, 0, 0, 255});
    const auto clear = SolidImageData(8, 8, {0, 0, 0, 0});
    const auto pixelOf = [](const SourceFrames& read, std::uint32_t index) {
        const Pixels& pixels = read.frames[index];
        return pixels.bytes.size() >= 4 ? std::vector<std::uint8_t>(pixels.bytes.begin(), pixels.bytes.begin() + 4)
                                        : std::vector<std::uint8_t>{};
    };
    const std::vector<std::uint8_t> redPixel = {0, 0, 255, 255}, clearPixel = {0, 0, 0, 0};
    {
        // A playable animation: transparent frames drawn over, the red default never shows.
        const SourceFrames read =
            ReadSourceFrames(L".png", ApngBuilder(8, 8).DefaultImage(red).Frame(clear).Frame(clear).Build());
        ASSERT_EQ(read.hr, S_OK);
        ASSERT_EQ(read.frames.size(), 2u);
        EXPECT_EQ(pixelOf(read, 0), clearPixel);
        EXPECT_EQ(pixelOf(read, 1), clearPixel);
    }
    for (const auto& frames : {std::vector<std::optional<std::vector<std::uint8_t>>>{DamagedImageData(), clear},
                               std::vector<std::optional<std::vector<std::uint8_t>>>{std::nullopt}}) {
        ApngBuilder apng(8, 8);
        apng.DefaultImage(red);
        for (const auto& frame : frames) apng.Frame(frame);
        // First frame damaged, or no frame with data: the still stands in.
        const SourceFrames read = ReadSourceFrames(L".png", apng.Build());
        ASSERT_EQ(read.hr, S_OK);
        ASSERT_EQ(read.frames.size(), 1u);
        EXPECT_EQ(read.delays[0], 80u);
        EXPECT_EQ(pixelOf(read, 0), redPixel);
    }
}
