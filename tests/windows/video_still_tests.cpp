// The still search over a scripted sample source: every rule of the read
// loop, and the picture cut to its visible area.
#include "TestSupport.h"
#include "renderers/LoadStopCondition.h"
#include "renderers/VideoSampleSource.h"
#include "renderers/VideoStillRenderer.h"

#include <gtest/gtest.h>

#include "platform/MediaFoundation.h"

#include <mferror.h>

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
        frame.width = 8;
        frame.height = 6;
        frame.stride = 32;
        frame.timestamp = current.timestamp;
        frame.pixels.assign(32 * 6, current.grey);
        return S_OK;
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
    void TearDown() override { ClearLoadStopCondition(); }
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
    SetLoadStopCondition(&generation, 1, 0);
    source.onRead = [&](int read) {
        if (read == 2) generation.store(2);
    };
    for (int i = 0; i < 10; ++i) source.script.push_back(Sample(i, 0));
    EXPECT_EQ(FindVideoStill(source, false, 0).hr, S_OK); // one frame was converted: it stands in

    ScriptedSource none;
    for (int i = 0; i < 10; ++i) none.script.push_back(Flag(0));
    generation.store(7);
    SetLoadStopCondition(&generation, 6, 0);
    EXPECT_EQ(FindVideoStill(none, false, 0).hr, HRESULT_FROM_WIN32(ERROR_CANCELLED));
    SetLoadStopCondition(nullptr, 0, 1); // a deadline long passed
    EXPECT_EQ(FindVideoStill(none, false, 0).hr, HRESULT_FROM_WIN32(WAIT_TIMEOUT));
}

TEST(VideoStillBitmap, VisibleAreaCutsThePicture) {
    DecodedVideoFrame frame;
    frame.width = 16;
    frame.height = 10;
    frame.stride = 64;
    frame.pixels.assign(64 * 10, 0);
    frame.pixels[2 * 64 + 3 * 4] = 222; // pixel (3, 2)
    frame.visibleArea = VisibleArea{3, 2, 8, 5};
    ComPtr<IWICBitmap> bitmap;
    ASSERT_EQ(MakeStillBitmap(frame, bitmap), S_OK);
    UINT width = 0, height = 0;
    bitmap->GetSize(&width, &height);
    EXPECT_EQ(width, 8u);
    EXPECT_EQ(height, 5u);
    WICPixelFormatGUID format;
    bitmap->GetPixelFormat(&format);
    EXPECT_TRUE(format == GUID_WICPixelFormat32bppBGR);
    Pixels pixels;
    ASSERT_EQ(ReadPremultipliedBgra(bitmap.Get(), pixels), S_OK);
    EXPECT_EQ(pixels.At(0, 0)[0], 222);

    frame.visibleArea = VisibleArea{0, 10, 4, 4}; // starts past the buffer
    EXPECT_EQ(MakeStillBitmap(frame, bitmap), E_FAIL);
}
