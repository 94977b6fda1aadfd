// The still search over a scripted sample source: every rule of the read
// loop, and the picture cut to its visible area.
#include "TestSupport.h"
#include "formats/video/MediaSampleReading.h"
#include "formats/video/VideoFrameSource.h"
#include "formats/video/VideoSampleSource.h"
#include "platform/StopToken.h"

#include <gtest/gtest.h>

#include "platform/MediaFoundation.h"

#include <mferror.h>
#include <mfapi.h>
#include <mfidl.h>

#include <cstring>

#include <atomic>
#include <deque>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

struct Step {
    DWORD flags = 0;
    LONGLONG timestamp = 0;
    bool hasSample = true;
    std::uint8_t grey = 100; // the picture: one grey level
    bool convertible = true;
    HRESULT readResult = S_OK;
};

Step Sample(LONGLONG timestamp, std::uint8_t grey) {
    Step step;
    step.timestamp = timestamp;
    step.grey = grey;
    return step;
}

Step Flag(DWORD flags) {
    Step step;
    step.flags = flags;
    step.hasSample = false;
    return step;
}

// Plays a script of reads; when it runs out, every read reports the end of the stream.
class ScriptedSource final : public VideoSampleSource {
public:
    std::deque<Step> script;
    std::uint64_t duration = 0;
    HRESULT seekResult = S_OK;
    std::vector<std::uint64_t> seeks;
    int reads = 0;
    int conversions = 0;
    std::function<void(int)> onRead;

    HRESULT ReadSample(DWORD& flags, LONGLONG& timestamp, bool& hasSample) override {
        ++reads;
        if (onRead) onRead(reads);
        if (script.empty()) {
            flags = MF_SOURCE_READERF_ENDOFSTREAM;
            hasSample = false;
            return S_OK;
        }
        current = script.front();
        script.pop_front();
        flags = current.flags;
        timestamp = current.timestamp;
        hasSample = current.hasSample;
        return current.readResult;
    }
    HRESULT ConvertSample(DecodedVideoFrame& frame) override {
        if (!current.convertible) return E_FAIL;
        ++conversions;
        frame.width = 8;
        frame.height = 6;
        frame.stride = 32;
        frame.timestamp = current.timestamp;
        frame.pixels.assign(32 * 6, current.grey);
        return S_OK;
    }
    HRESULT TestSampleBrightness(bool& bright) override {
        bright = current.grey >= 24;
        return current.convertible ? S_OK : E_FAIL;
    }
    HRESULT Seek(std::uint64_t position) override {
        seeks.push_back(position);
        return seekResult;
    }
    std::uint64_t Duration() override { return duration; }

private:
    Step current;
};

class StillSearch : public testing::Test {
protected:
    ScriptedSource source;
};

} // namespace

TEST_F(StillSearch, StartsAThirdInAndTakesTheFirstFrameThatIsNotBlack) {
    source.duration = 900;
    source.script = {Flag(MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED), Sample(300, 0), Sample(310, 5), Sample(320, 80),
                     Sample(330, 200)};
    const StillSearchResult found = FindVideoStill(source, false, 0);
    ASSERT_EQ(found.hr, S_OK);
    EXPECT_EQ(source.seeks, (std::vector<std::uint64_t>{300}));
    EXPECT_EQ(found.frame.timestamp, 320);
    EXPECT_EQ(found.frame.pixels[0], 80);
    EXPECT_EQ(source.conversions, 2); // the first frame, kept as the fallback, and the one chosen
}

TEST_F(StillSearch, BlackThroughoutGivesTheFirstFrameAfterOneRewind) {
    source.duration = 900;
    source.script = {Sample(300, 0), Sample(400, 1), Flag(MF_SOURCE_READERF_ENDOFSTREAM), Sample(0, 2), Sample(100, 3)};
    const StillSearchResult found = FindVideoStill(source, false, 0);
    ASSERT_EQ(found.hr, S_OK);
    EXPECT_EQ(source.seeks, (std::vector<std::uint64_t>{300, 0})); // rewound once, then the end stops it
    EXPECT_EQ(found.frame.timestamp, 300); // the fallback: the first frame converted
}

TEST_F(StillSearch, NoRewindWithoutAnInitialSeekOrInExactMode) {
    source.duration = 0; // no duration: no seek, reading from the start
    source.script = {Sample(0, 0), Flag(MF_SOURCE_READERF_ENDOFSTREAM), Sample(5, 200)};
    StillSearchResult found = FindVideoStill(source, false, 0);
    ASSERT_EQ(found.hr, S_OK);
    EXPECT_TRUE(source.seeks.empty());
    EXPECT_EQ(found.frame.timestamp, 0);

    ScriptedSource failedSeek;
    failedSeek.duration = 900;
    failedSeek.seekResult = E_FAIL; // the seek to a third failed: as if none happened
    failedSeek.script = {Flag(MF_SOURCE_READERF_ENDOFSTREAM), Sample(5, 200)};
    EXPECT_EQ(FindVideoStill(failedSeek, false, 0).hr, E_FAIL);

    ScriptedSource exact;
    exact.duration = 900;
    exact.script = {Sample(100, 50), Flag(MF_SOURCE_READERF_ENDOFSTREAM)};
    found = FindVideoStill(exact, true, 500);
    ASSERT_EQ(found.hr, S_OK); // the last frame before the end stands in
    EXPECT_EQ(exact.seeks, (std::vector<std::uint64_t>{500}));
    EXPECT_EQ(found.frame.timestamp, 100);
}

TEST_F(StillSearch, ExactModeStopsAtTheTargetAndClampsIt) {
    source.duration = 1000;
    source.script = {Sample(900, 0), Sample(998, 0), Sample(999, 0)};
    const StillSearchResult found = FindVideoStill(source, true, 5000);
    ASSERT_EQ(found.hr, S_OK);
    EXPECT_EQ(found.target, 999u);
    EXPECT_EQ(source.seeks, (std::vector<std::uint64_t>{999}));
    EXPECT_EQ(found.frame.timestamp, 999); // black frames count in exact mode

    ScriptedSource unseekable;
    unseekable.duration = 1000;
    unseekable.seekResult = MF_E_INVALIDREQUEST;
    EXPECT_EQ(FindVideoStill(unseekable, true, 10).hr, E_FAIL);
}

TEST_F(StillSearch, ReadErrorsEndTheSearchKeepingAnyFallback) {
    Step failure;
    failure.readResult = MF_E_INVALIDSTREAMNUMBER;
    source.duration = 900;
    source.script = {Sample(300, 0), failure};
    const StillSearchResult found = FindVideoStill(source, false, 0);
    EXPECT_EQ(found.hr, S_OK);
    EXPECT_EQ(found.frame.timestamp, 300);

    ScriptedSource nothing;
    nothing.script = {failure};
    EXPECT_EQ(FindVideoStill(nothing, false, 0).hr, MF_E_INVALIDSTREAMNUMBER);
}

TEST_F(StillSearch, UnconvertibleSamplesAreSkipped) {
    Step broken = Sample(10, 200);
    broken.convertible = false;
    source.script = {broken, Sample(20, 200)};
    const StillSearchResult found = FindVideoStill(source, false, 0);
    ASSERT_EQ(found.hr, S_OK);
    EXPECT_EQ(found.frame.timestamp, 20);
}

TEST_F(StillSearch, AtMost512Reads) {
    for (int i = 0; i < 600; ++i) source.script.push_back(Flag(0)); // reads without a sample
    EXPECT_EQ(FindVideoStill(source, false, 0).hr, E_FAIL);
    EXPECT_EQ(source.reads, kMaxStillReads);
}

TEST_F(StillSearch, StopsForANewerLoadOrAPassedDeadline) {
    std::atomic<std::uint64_t> generation{1};
    source.onRead = [&](int read) {
        if (read == 2) generation.store(2);
    };
    for (int i = 0; i < 10; ++i) source.script.push_back(Sample(i, 0));
    // One frame was converted: it stands in.
    EXPECT_EQ(FindVideoStill(source, false, 0, std::nullopt, StopToken(&generation, 1)).hr, S_OK);

    ScriptedSource none;
    for (int i = 0; i < 10; ++i) none.script.push_back(Flag(0));
    generation.store(7);
    EXPECT_EQ(FindVideoStill(none, false, 0, std::nullopt, StopToken(&generation, 6)).hr,
              HRESULT_FROM_WIN32(ERROR_CANCELLED));
    const StopToken passed = StopToken::At(StopToken::Clock::now());
    EXPECT_EQ(FindVideoStill(none, false, 0, std::nullopt, passed).hr, HRESULT_FROM_WIN32(WAIT_TIMEOUT));
}

// The platform's pipeline must not be torn down under a seek it is still running.
TEST_F(StillSearch, AStoppedLoadReadsOnceAfterEverySeekBeforeItLeaves) {
    const StopToken passed = StopToken::At(StopToken::Clock::now()); // stopped before it starts
    source.duration = 30 * 10'000'000ull;
    for (int i = 0; i < 10; ++i) source.script.push_back(Flag(0));
    EXPECT_EQ(FindVideoStill(source, false, 0, std::nullopt, passed).hr, HRESULT_FROM_WIN32(WAIT_TIMEOUT));
    EXPECT_EQ(source.seeks.size(), 1u);
    EXPECT_EQ(source.reads, 1);
    ScriptedSource unseeked; // nothing to wait for: no read at all
    EXPECT_EQ(FindVideoStill(unseeked, false, 0, std::nullopt, passed).hr, HRESULT_FROM_WIN32(WAIT_TIMEOUT));
    EXPECT_EQ(unseeked.reads, 0);
}

TEST_F(StillSearch, APositionedLoadEndsWithinOneReadOfItsDeadline) {
    source.duration = 100 * 10'000'000ull;
    for (int i = 0; i < 100; ++i) source.script.push_back(Sample(i, 0)); // never reaches the target
    // Five scripted reads take far less than the second; read 5 lasts until the deadline has passed.
    const StopToken stop = StopToken::Within(std::chrono::seconds(1));
    source.onRead = [&](int read) {
        while (read == 5 && !stop.ShouldStop()) Sleep(1);
    };
    const StillSearchResult found = FindVideoStill(source, true, 99 * 10'000'000ull, std::nullopt, stop);
    EXPECT_EQ(found.hr, S_OK); // the last frame read stands in
    EXPECT_LE(source.reads, 6);
    EXPECT_GE(source.reads, 5);
}

namespace {

// A real media type and sample, as the source reader hands them over.
ComPtr<IMFMediaType> Rgb32Type(UINT32 width, UINT32 height) {
    ComPtr<IMFMediaType> type;
    EXPECT_EQ(MFCreateMediaType(&type), S_OK);
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32);
    type->SetUINT64(MF_MT_FRAME_SIZE, (static_cast<UINT64>(width) << 32) | height);
    return type;
}

// Rows of `rowBytes`, each filled with its row number.
ComPtr<IMFSample> NumberedRows(UINT32 rowBytes, UINT32 rows, LONGLONG time) {
    ComPtr<IMFMediaBuffer> buffer;
    EXPECT_EQ(MFCreateMemoryBuffer(rowBytes * rows, &buffer), S_OK);
    BYTE* data = nullptr;
    buffer->Lock(&data, nullptr, nullptr);
    for (UINT32 row = 0; row < rows; ++row) std::memset(data + row * rowBytes, static_cast<int>(row), rowBytes);
    buffer->Unlock();
    buffer->SetCurrentLength(rowBytes * rows);
    ComPtr<IMFSample> sample;
    EXPECT_EQ(MFCreateSample(&sample), S_OK);
    sample->AddBuffer(buffer.Get());
    sample->SetSampleTime(time);
    return sample;
}

MFVideoArea Area(int x, int y, LONG width, LONG height) {
    MFVideoArea area = {};
    area.OffsetX.value = static_cast<short>(x);
    area.OffsetY.value = static_cast<short>(y);
    area.Area.cx = width;
    area.Area.cy = height;
    return area;
}

class ReadFrame : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK); }
    void TearDown() override { MFShutdown(); }
};

} // namespace

TEST_F(ReadFrame, StrideMissingMeansWidthTimesFour) {
    auto type = Rgb32Type(4, 3);
    DecodedVideoFrame frame;
    ASSERT_EQ(ReadVideoFrame(type.Get(), NumberedRows(16, 3, 1234).Get(), frame), S_OK);
    EXPECT_EQ(frame.stride, 16u);
    EXPECT_EQ(frame.timestamp, 1234);
    EXPECT_EQ(frame.pixels[2 * 16], 2);
    EXPECT_FALSE(frame.visibleArea.has_value());
}

TEST_F(ReadFrame, NegativeStrideComesOutUpright) {
    auto type = Rgb32Type(4, 3);
    type->SetUINT32(MF_MT_DEFAULT_STRIDE, static_cast<UINT32>(-24)); // bottom-up rows of 24 bytes
    DecodedVideoFrame frame;
    ASSERT_EQ(ReadVideoFrame(type.Get(), NumberedRows(24, 3, 0).Get(), frame), S_OK);
    EXPECT_EQ(frame.stride, 24u);
    EXPECT_EQ(frame.pixels[0], 2); // the last row in memory is the top one
    EXPECT_EQ(frame.pixels[2 * 24], 0);
}

TEST_F(ReadFrame, ShortBuffersNarrowStridesAndEmptySizesAreRefused) {
    auto type = Rgb32Type(4, 3);
    DecodedVideoFrame frame;
    EXPECT_EQ(ReadVideoFrame(type.Get(), NumberedRows(16, 2, 0).Get(), frame), E_FAIL);
    type->SetUINT32(MF_MT_DEFAULT_STRIDE, 12);
    EXPECT_EQ(ReadVideoFrame(type.Get(), NumberedRows(16, 3, 0).Get(), frame), E_FAIL);
    auto empty = Rgb32Type(0, 3);
    EXPECT_EQ(ReadVideoFrame(empty.Get(), NumberedRows(16, 3, 0).Get(), frame), E_FAIL);
    EXPECT_EQ(ReadVideoFrame(nullptr, NumberedRows(16, 3, 0).Get(), frame), E_POINTER);
}

TEST_F(ReadFrame, AperturesChooseTheVisibleArea) {
    auto type = Rgb32Type(1920, 1088);
    MFVideoArea display = Area(0, 0, 1920, 1080);
    type->SetBlob(MF_MT_MINIMUM_DISPLAY_APERTURE, reinterpret_cast<UINT8*>(&display), sizeof(display));
    MFVideoArea geometric = Area(8, 8, 100, 100); // the display aperture comes first
    type->SetBlob(MF_MT_GEOMETRIC_APERTURE, reinterpret_cast<UINT8*>(&geometric), sizeof(geometric));
    DecodedVideoFrame frame;
    ASSERT_EQ(ReadVideoFrame(type.Get(), NumberedRows(1920 * 4, 1088, 0).Get(), frame), S_OK);
    ASSERT_TRUE(frame.visibleArea.has_value());
    EXPECT_EQ(frame.visibleArea->width, 1920u);
    EXPECT_EQ(frame.visibleArea->height, 1080u);
    FramePixels still;
    ASSERT_EQ(CopyStillPixels(frame, still), S_OK);
    EXPECT_EQ(still.height, 1080u);

    auto whole = Rgb32Type(8, 8);
    MFVideoArea all = Area(0, 0, 8, 8); // the whole frame: no area
    whole->SetBlob(MF_MT_GEOMETRIC_APERTURE, reinterpret_cast<UINT8*>(&all), sizeof(all));
    ASSERT_EQ(ReadVideoFrame(whole.Get(), NumberedRows(32, 8, 0).Get(), frame), S_OK);
    EXPECT_FALSE(frame.visibleArea.has_value());
    MFVideoArea outside = Area(9, 0, 4, 4);
    whole->SetBlob(MF_MT_GEOMETRIC_APERTURE, reinterpret_cast<UINT8*>(&outside), sizeof(outside));
    ASSERT_EQ(ReadVideoFrame(whole.Get(), NumberedRows(32, 8, 0).Get(), frame), S_OK);
    EXPECT_FALSE(frame.visibleArea.has_value());
    MFVideoArea offset = Area(2, 3, 4, 4);
    whole->SetBlob(MF_MT_GEOMETRIC_APERTURE, reinterpret_cast<UINT8*>(&offset), sizeof(offset));
    ASSERT_EQ(ReadVideoFrame(whole.Get(), NumberedRows(32, 8, 0).Get(), frame), S_OK);
    ASSERT_TRUE(frame.visibleArea.has_value());
    EXPECT_EQ(frame.visibleArea->x, 2u);
    EXPECT_EQ(frame.visibleArea->y, 3u);
}

TEST(VideoStillPixels, VisibleAreaCutsThePictureAndItIsOpaque) {
    DecodedVideoFrame frame;
    frame.width = 16;
    frame.height = 10;
    frame.stride = 64;
    frame.pixels.assign(64 * 10, 0);
    frame.pixels[2 * 64 + 3 * 4] = 222; // pixel (3, 2)
    frame.visibleArea = VisibleArea{3, 2, 8, 5};
    FramePixels still;
    ASSERT_EQ(CopyStillPixels(frame, still), S_OK);
    EXPECT_EQ(still.width, 8u);
    EXPECT_EQ(still.height, 5u);
    EXPECT_EQ(still.pixels[0], 222);
    EXPECT_EQ(still.pixels[3], 255); // the sample's fourth byte is not alpha

    frame.visibleArea = VisibleArea{0, 10, 4, 4}; // starts past the buffer
    EXPECT_EQ(CopyStillPixels(frame, still), E_FAIL);
}

// A file that ends before its samples do: the search seeks no later than the
// last sample it holds and reads nothing after it, as nothing more will come.
TEST_F(StillSearch, StopsAtTheLastSampleAFileCutShortHolds) {
    source.duration = 9000;
    source.script = {Sample(0, 0), Sample(100, 3), Sample(200, 4), Sample(300, 90)};
    StillSearchResult found = FindVideoStill(source, false, 0, std::uint64_t{200});
    ASSERT_EQ(found.hr, S_OK);
    EXPECT_EQ(source.seeks, (std::vector<std::uint64_t>{200})); // not a third of 9000
    EXPECT_EQ(source.reads, 3);                                 // no read after the sample at 200
    EXPECT_EQ(found.frame.timestamp, 0);                        // all dark: the first frame stands in

    ScriptedSource exact;
    exact.duration = 9000;
    exact.script = {Sample(100, 50), Sample(200, 60), Sample(300, 70)};
    found = FindVideoStill(exact, true, 5000, std::uint64_t{200});
    ASSERT_EQ(found.hr, S_OK);
    EXPECT_EQ(exact.seeks, (std::vector<std::uint64_t>{200}));
    EXPECT_EQ(found.target, 200u);
    EXPECT_EQ(found.frame.timestamp, 200);
    EXPECT_EQ(exact.reads, 2);
}
