// The WebP frame source, libwebp decoding inside the DLL: frames, delays and
// pixels of real files, damaged files, the stop token.
#include "TestSupport.h"
#include "formats/FormatSources.h"
#include "formats/FormatTable.h"
#include "frames/FrameSource.h"
#include "platform/StopToken.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

std::vector<std::uint8_t> Fixture(const std::string& name) {
    const char* source = std::getenv("QUIVANE_SOURCE_DIR");
    if (source == nullptr) return {};
    return ReadFileBytes(WindowsPathFromUnix(std::string(source) + "/tests/fixtures/webp/" + name));
}

std::unique_ptr<FrameSource> OpenedWebP(const std::vector<std::uint8_t>& bytes) {
    const FormatRow* format = FormatForName(L"a.webp");
    if (format == nullptr) return nullptr;
    std::unique_ptr<FrameSource> source = CreateFrameSource(*format);
    if (!source || FAILED(source->OpenBytes(std::make_shared<const std::vector<std::uint8_t>>(bytes)))) return nullptr;
    return source;
}

// A PAM's straight RGBA, premultiplied into BGRA.
std::vector<std::uint8_t> PremultipliedPam(const std::vector<std::uint8_t>& pam) {
    const std::string text(pam.begin(), pam.end());
    const std::size_t start = text.find("ENDHDR\n");
    if (start == std::string::npos) return {};
    std::vector<std::uint8_t> bgra;
    for (std::size_t i = start + 7; i + 4 <= pam.size(); i += 4) {
        const int a = pam[i + 3];
        for (int c : {2, 1, 0}) bgra.push_back(static_cast<std::uint8_t>((pam[i + c] * a + 127) / 255));
        bgra.push_back(static_cast<std::uint8_t>(a));
    }
    return bgra;
}

} // namespace

TEST(WebPSource, DecodedByTheDllItselfAsAnOwnDecoder) {
    const FormatRow* format = FormatForName(L"a.webp");
    ASSERT_NE(format, nullptr);
    EXPECT_TRUE(format->ownDecoder);
    const auto source = OpenedWebP(Fixture("anim-lossless.webp"));
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(source->ReadsAnyFrameDirectly());
}

// Lossless partial frames: each composed canvas is exactly the picture that was encoded as that frame.
TEST(WebPSource, LosslessAnimationComposesToTheEncodedPictures) {
    const SourceFrames read = ReadSourceFrames(L".webp", Fixture("anim-lossless.webp"));
    ASSERT_EQ(read.hr, S_OK);
    ASSERT_EQ(read.frames.size(), 4u);
    for (std::size_t f = 0; f < read.frames.size(); ++f) {
        const auto expected = PremultipliedPam(Fixture("anim-lossless.frame" + std::to_string(f) + ".pam"));
        const Pixels& actual = read.frames[f];
        ASSERT_EQ(expected.size(), static_cast<std::size_t>(actual.width) * actual.height * 4);
        for (UINT y = 0; y < actual.height; ++y) {
            for (UINT x = 0; x < actual.width; ++x) {
                const std::uint8_t* e = expected.data() + (static_cast<std::size_t>(y) * actual.width + x) * 4;
                for (int c = 0; c < 4; ++c) ASSERT_NEAR(actual.At(x, y)[c], e[c], 1) << f << ": " << x << "," << y;
            }
        }
    }
}

// Resuming from the state saved after frame k composes what reading on in order composes.
TEST(WebPSource, CheckpointResumesWhereCompositionStood) {
    const auto bytes = Fixture("anim-blend.webp");
    const auto inOrder = OpenedWebP(bytes);
    ASSERT_NE(inOrder, nullptr);
    const std::uint32_t count = inOrder->FrameCount();
    ASSERT_EQ(count, 5u);
    FrameCheckpoint unread;
    EXPECT_EQ(inOrder->SaveCheckpoint(unread), E_UNEXPECTED);
    std::vector<FramePixels> frames(count);
    std::vector<FrameCheckpoint> checkpoints(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        ASSERT_EQ(inOrder->ReadFrame(i, frames[i]), S_OK);
        ASSERT_EQ(inOrder->SaveCheckpoint(checkpoints[i]), S_OK);
        EXPECT_EQ(checkpoints[i].nextFrame, i + 1);
    }
    for (std::uint32_t k = 0; k + 1 < count; ++k) {
        const auto resumed = OpenedWebP(bytes);
        ASSERT_NE(resumed, nullptr);
        ASSERT_EQ(resumed->ResumeFrom(checkpoints[k]), S_OK);
        for (std::uint32_t i = k + 1; i < count; ++i) {
            FramePixels frame;
            ASSERT_EQ(resumed->ReadFrame(i, frame), S_OK);
            EXPECT_EQ(frame.pixels, frames[i].pixels) << "frame " << i << " after resuming at " << k;
            EXPECT_EQ(frame.delayMs, frames[i].delayMs);
        }
    }
    FrameCheckpoint wrongSize = checkpoints[0];
    wrongSize.canvas.pop_back();
    EXPECT_EQ(OpenedWebP(bytes)->ResumeFrom(wrongSize), E_INVALIDARG);
    EXPECT_EQ(OpenedWebP(bytes)->ResumeFrom(checkpoints[count - 1]), E_INVALIDARG); // past the last frame
}

TEST(WebPSource, FramesAndDurationsOfRealFiles) {
    struct Case {
        const char* file;
        std::vector<std::uint32_t> delays;
        UINT width, height;
    };
    const Case cases[] = {
        {"still-lossy.webp", {100}, 32, 24},
        {"still-lossless-alpha.webp", {100}, 20, 14},
        {"anim-lossless.webp", {80, 160, 240, 50}, 24, 20},
        {"anim-lossy.webp", {70, 130, 200}, 24, 20},
        {"anim-blend.webp", {100, 80, 60, 100, 40}, 32, 24},
        {"anim-mixed.webp", {70, 70, 10, 70, 70, 70}, 32, 24},
        {"anim-lossy-alpha.webp", {40, 70, 100, 130, 160}, 32, 24},
    };
    for (const Case& c : cases) {
        const SourceFrames read = ReadSourceFrames(L".webp", Fixture(c.file));
        ASSERT_EQ(read.hr, S_OK) << c.file;
        ASSERT_EQ(read.frames.size(), c.delays.size()) << c.file;
        for (std::uint32_t i = 0; i < c.delays.size(); ++i) {
            EXPECT_EQ(read.delays[i], c.delays[i]) << c.file << " frame " << i;
            EXPECT_EQ(read.frames[i].width, c.width);
            EXPECT_EQ(read.frames[i].height, c.height);
        }
    }
}

TEST(WebPSource, LosslessStillMatchesTheReferenceDecoder) {
    const SourceFrames read = ReadSourceFrames(L".webp", Fixture("still-lossless-alpha.webp"));
    ASSERT_EQ(read.hr, S_OK);
    ASSERT_EQ(read.frames.size(), 1u);
    const Pixels& actual = read.frames[0];
    // dwebp's output: a PAM of straight RGBA after a text header ending in ENDHDR.
    const auto pam = Fixture("still-lossless-alpha.expected.pam");
    const std::string text(pam.begin(), pam.end());
    const size_t start = text.find("ENDHDR\n");
    ASSERT_NE(start, std::string::npos);
    const std::uint8_t* rgba = pam.data() + start + 7;
    ASSERT_EQ(pam.size() - (start + 7), static_cast<size_t>(actual.width) * actual.height * 4);
    for (UINT y = 0; y < actual.height; ++y) {
        for (UINT x = 0; x < actual.width; ++x) {
            const std::uint8_t* e = rgba + (static_cast<size_t>(y) * actual.width + x) * 4;
            const std::uint8_t* a = actual.At(x, y);
            const int expected[4] = {(e[2] * e[3] + 127) / 255, (e[1] * e[3] + 127) / 255, (e[0] * e[3] + 127) / 255,
                                     e[3]};
            for (int c = 0; c < 4; ++c) ASSERT_NEAR(a[c], expected[c], 1) << x << "," << y << " channel " << c;
        }
    }
}

TEST(WebPSource, BadFilesFailCleanly) {
    const auto original = Fixture("anim-lossless.webp");
    ASSERT_FALSE(original.empty());
    std::uint32_t state = 11;
    for (int variant = 0; variant < 120; ++variant) {
        auto bytes = original;
        if (variant % 2 == 0) {
            bytes.resize(bytes.size() * variant / 120);
        } else {
            for (int f = 0; f < 3; ++f) {
                state = state * 1664525u + 1013904223u;
                bytes[state % bytes.size()] ^= static_cast<std::uint8_t>(1u << (state >> 29));
            }
        }
        const SourceFrames read = ReadSourceFrames(L".webp", bytes); // may fail, must not crash
        for (std::uint32_t delay : read.delays) EXPECT_GE(delay, 10u) << "variant " << variant;
    }
}

TEST(WebPSource, StopRequestEndsTheDecodeWithNoFrames) {
    std::atomic<std::uint64_t> generation{5};
    const SourceFrames read = ReadSourceFrames(L".webp", Fixture("anim-lossless.webp"), StopToken(&generation, 4));
    EXPECT_EQ(read.hr, HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_EQ(read.frames.size(), 0u);
}

TEST(WebPSource, StopRequestBetweenFramesEndsTheComposition) {
    std::atomic<std::uint64_t> generation{5};
    const FormatRow* format = FormatForName(L"a.webp");
    ASSERT_NE(format, nullptr);
    std::unique_ptr<FrameSource> source = CreateFrameSource(*format, StopToken(&generation, 5));
    ASSERT_NE(source, nullptr);
    ASSERT_EQ(source->OpenBytes(std::make_shared<const std::vector<std::uint8_t>>(Fixture("anim-blend.webp"))), S_OK);
    FramePixels frame;
    ASSERT_EQ(source->ReadFrame(0, frame), S_OK);
    generation = 6;
    EXPECT_EQ(source->ReadFrame(1, frame), HRESULT_FROM_WIN32(ERROR_CANCELLED));
}
