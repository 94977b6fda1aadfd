// WebP frames composed by our demuxing and canvas against libwebp's own
// animation decoder, frame by frame, both premultiplied BGRA; the delay rule;
// damaged files.
#include "formats/webp/WebPAnimation.h"
#include "formats/webp/WebPCanvas.h"
#include "formats/webp/WebPFrameDelay.h"

#include <webp/demux.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace Quivane;

namespace {

std::vector<std::uint8_t> SourceFile(const std::string& path) {
    std::ifstream file(std::string(QUIVANE_SOURCE_DIR) + "/" + path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct AnimDecoderDelete {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// Every frame as libwebp's animation decoder composes it.
std::vector<std::vector<std::uint8_t>> ReferenceFrames(const std::vector<std::uint8_t>& bytes, std::uint32_t& width,
                                                       std::uint32_t& height) {
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_bgrA;
    options.use_threads = 0;
    const WebPData data{bytes.data(), bytes.size()};
    std::unique_ptr<WebPAnimDecoder, AnimDecoderDelete> decoder(WebPAnimDecoderNew(&data, &options));
    std::vector<std::vector<std::uint8_t>> frames;
    if (!decoder) return frames;
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) return frames;
    width = info.canvas_width;
    height = info.canvas_height;
    const std::size_t size = static_cast<std::size_t>(width) * height * 4;
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        std::uint8_t* pixels = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp)) break;
        frames.emplace_back(pixels, pixels + size);
    }
    return frames;
}

struct Composed {
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::uint32_t> delays;
    bool parsed = false;
    bool allDrawn = true;
};

Composed Compose(const std::vector<std::uint8_t>& bytes) {
    Composed out;
    WebPAnimation animation;
    out.parsed = animation.Parse(bytes.data(), bytes.size());
    if (!out.parsed) return out;
    WebPCanvas canvas(animation.CanvasWidth(), animation.CanvasHeight());
    for (const WebPFrameInfo& frame : animation.Frames()) {
        if (canvas.Draw(frame) != WebPDrawResult::Drawn) {
            out.allDrawn = false;
            break;
        }
        out.frames.emplace_back(canvas.Pixels(), canvas.Pixels() + canvas.ByteSize());
        out.delays.push_back(frame.delayMs);
        canvas.Dispose(frame);
    }
    return out;
}

// The largest difference of any channel of any frame; -1 when the frame counts differ.
int LargestDifference(const std::string& path) {
    const auto bytes = SourceFile(path);
    std::uint32_t width = 0, height = 0;
    const auto expected = ReferenceFrames(bytes, width, height);
    const Composed ours = Compose(bytes);
    EXPECT_TRUE(ours.parsed && ours.allDrawn) << path;
    if (expected.empty() || expected.size() != ours.frames.size()) return -1;
    int largest = 0;
    for (std::size_t f = 0; f < expected.size(); ++f) {
        EXPECT_EQ(ours.frames[f].size(), expected[f].size()) << path;
        if (ours.frames[f].size() != expected[f].size()) return -1;
        for (std::size_t i = 0; i < expected[f].size(); ++i) {
            const int difference = std::abs(int(ours.frames[f][i]) - int(expected[f][i]));
            if (difference > largest) largest = difference;
        }
    }
    return largest;
}

} // namespace

TEST(WebPComposition, LosslessAnimationsMatchLibwebpExactly) {
    for (const char* path : {"tests/fixtures/webp/anim-lossless.webp", "tests/fixtures/webp/anim-from-gif.webp",
                             "tests/fixtures/webp/still-lossless-alpha.webp", "samples/bouncing_ball.webp"}) {
        EXPECT_EQ(LargestDifference(path), 0) << path;
    }
}

TEST(WebPComposition, LossyAndMixedAnimationsMatchLibwebpWithinOneLevel) {
    for (const char* path : {"tests/fixtures/webp/anim-lossy.webp", "tests/fixtures/webp/anim-lossy-alpha.webp",
                             "tests/fixtures/webp/anim-mixed.webp", "tests/fixtures/webp/anim-blend.webp",
                             "tests/fixtures/webp/still-lossy.webp"}) {
        const int largest = LargestDifference(path);
        EXPECT_GE(largest, 0) << path;
        EXPECT_LE(largest, 1) << path;
    }
}

TEST(WebPComposition, DelaysFollowTheStoredDurations) {
    // 0 stands for none; below 10 is raised to 10.
    EXPECT_EQ(Compose(SourceFile("tests/fixtures/webp/anim-blend.webp")).delays,
              (std::vector<std::uint32_t>{100, 80, 60, 100, 40}));
    EXPECT_EQ(Compose(SourceFile("tests/fixtures/webp/anim-mixed.webp")).delays,
              (std::vector<std::uint32_t>{70, 70, 10, 70, 70, 70}));
    EXPECT_EQ(Compose(SourceFile("tests/fixtures/webp/still-lossy.webp")).delays, (std::vector<std::uint32_t>{100}));
    EXPECT_EQ(WebPFrameDelayMs(9), 10u);
    EXPECT_EQ(WebPFrameDelayMs(10), 10u);
}

TEST(WebPComposition, FileCutShortKeepsItsWholeFrames) {
    const auto bytes = SourceFile("tests/fixtures/webp/anim-blend.webp");
    const Composed whole = Compose(bytes);
    ASSERT_EQ(whole.frames.size(), 5u);
    bool sawPartial = false;
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        const std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + cut);
        const Composed part = Compose(head);
        ASSERT_LE(part.frames.size(), whole.frames.size());
        for (std::size_t f = 0; f < part.frames.size(); ++f) ASSERT_EQ(part.frames[f], whole.frames[f]) << cut;
        if (part.parsed && part.frames.size() < whole.frames.size()) sawPartial = true;
    }
    EXPECT_TRUE(sawPartial);
}

TEST(WebPComposition, NoWebPContainerParsesToNothing) {
    WebPAnimation animation;
    const std::uint8_t riff[] = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'E', 'B', 'P'};
    EXPECT_FALSE(animation.Parse(riff, sizeof(riff)));
    EXPECT_TRUE(animation.Frames().empty());
    EXPECT_FALSE(animation.Parse(nullptr, 0));
}

TEST(WebPComposition, FrameWhoseBitstreamIsNotItsSizeIsNotDrawn) {
    const auto bytes = SourceFile("tests/fixtures/webp/anim-blend.webp");
    WebPAnimation animation;
    ASSERT_TRUE(animation.Parse(bytes.data(), bytes.size()));
    WebPFrameInfo frame = animation.Frames()[1];
    frame.width -= 2; // the bitstream is 16x12
    WebPCanvas canvas(animation.CanvasWidth(), animation.CanvasHeight());
    EXPECT_EQ(canvas.Draw(frame), WebPDrawResult::Undecodable);
    frame = animation.Frames()[1];
    frame.x = animation.CanvasWidth() - 2; // leaves the canvas
    EXPECT_EQ(canvas.Draw(frame), WebPDrawResult::Undecodable);
}

// Composing from the key frame at or before frame k, on a transparent canvas,
// gives what composing every frame from the first gives.
TEST(WebPComposition, EachFrameComposedFromItsKeyFrameEqualsTheInOrderFrame) {
    std::size_t keyFramesAfterTheFirst = 0;
    for (const char* path : {"tests/fixtures/webp/anim-blend.webp", "tests/fixtures/webp/anim-from-gif.webp",
                             "tests/fixtures/webp/anim-mixed.webp", "tests/fixtures/webp/anim-lossy-alpha.webp",
                             "tests/fixtures/webp/anim-lossless.webp", "samples/bouncing_ball.webp"}) {
        const auto bytes = SourceFile(path);
        const Composed inOrder = Compose(bytes);
        WebPAnimation animation;
        ASSERT_TRUE(animation.Parse(bytes.data(), bytes.size())) << path;
        ASSERT_EQ(inOrder.frames.size(), animation.Frames().size()) << path;
        for (std::uint32_t k = 0; k < animation.Frames().size(); ++k) {
            const std::uint32_t key = animation.KeyFrameAtOrBefore(k);
            ASSERT_LE(key, k);
            if (key == k && k > 0) ++keyFramesAfterTheFirst;
            WebPCanvas canvas(animation.CanvasWidth(), animation.CanvasHeight());
            for (std::uint32_t i = key; i < k; ++i) {
                ASSERT_EQ(canvas.Draw(animation.Frames()[i]), WebPDrawResult::Drawn);
                canvas.Dispose(animation.Frames()[i]);
            }
            ASSERT_EQ(canvas.Draw(animation.Frames()[k]), WebPDrawResult::Drawn);
            EXPECT_EQ(std::vector<std::uint8_t>(canvas.Pixels(), canvas.Pixels() + canvas.ByteSize()), inOrder.frames[k])
                << path << " frame " << k << " from key frame " << key;
        }
    }
    EXPECT_GT(keyFramesAfterTheFirst, 3u); // the files have key frames to start from
}

// A stop request between slices of a frame's bitstream ends its decoding there.
TEST(WebPComposition, StopRequestEndsAFramePartWay) {
    const auto bytes = SourceFile("tests/fixtures/webp/still-noise.webp");
    WebPAnimation animation;
    ASSERT_TRUE(animation.Parse(bytes.data(), bytes.size()));
    const WebPFrameInfo& frame = animation.Frames()[0];
    ASSERT_GT(frame.bitstreamSize, 2 * kWebPDecodeSlice);
    WebPCanvas whole(animation.CanvasWidth(), animation.CanvasHeight());
    int asked = 0;
    ASSERT_EQ(whole.Draw(frame, [&] { return ++asked < 0; }), WebPDrawResult::Drawn);
    EXPECT_EQ(asked, static_cast<int>((frame.bitstreamSize + kWebPDecodeSlice - 1) / kWebPDecodeSlice));
    EXPECT_EQ(LargestDifference("tests/fixtures/webp/still-noise.webp"), 0);

    WebPCanvas stopped(animation.CanvasWidth(), animation.CanvasHeight());
    asked = 0;
    EXPECT_EQ(stopped.Draw(frame, [&] { return ++asked == 2; }), WebPDrawResult::Stopped);
    EXPECT_EQ(asked, 2);
}
