// The preview's loader on its own, with a message-only window taking its
// notices: a finished load is announced and taken once; a full load asked for
// while another runs waits, and only the newest runs; a seek is dropped while
// a load runs; a worker stuck past the loader's patience is let go and the
// loader goes on.
#include "GifBuilder.h"
#include "PreviewWindowFixture.h"
#include "StallingStream.h"
#include "TestSupport.h"
#include "platform/ServerLifetime.h"
#include "preview/PreviewLoader.h"

#include <gtest/gtest.h>

#include <new>
#include <vector>

using namespace Quivane;
using namespace QuivaneTest;

// Allocation failures on cue, for the test's own thread only: after
// `allocationsLeft` more allocations one fails, and the rest succeed again.
namespace {
thread_local long allocationsLeft = -1;
thread_local int allocationsFailed = 0;
} // namespace

void* operator new(std::size_t size) {
    if (allocationsLeft == 0) {
        allocationsLeft = -1;
        ++allocationsFailed;
        throw std::bad_alloc();
    }
    if (allocationsLeft > 0) --allocationsLeft;
    if (void* block = HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

namespace {

ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

const std::vector<Rgb> kPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}};

std::vector<std::uint8_t> Gif(int frames) {
    GifBuilder gif(16, 16, kPalette);
    for (int i = 0; i < frames; ++i) gif.AddFrame(SolidFrame(0, 0, 16, 16, static_cast<std::uint8_t>(1 + i % 2)));
    return gif.Build();
}

int noticesSeen = 0;

LRESULT CALLBACK CountNotices(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LOAD_COMPLETE) ++noticesSeen;
    return DefWindowProcW(window, message, wParam, lParam);
}

class PreviewLoaderAlone : public testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = CountNotices;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QuivaneLoaderNotices";
        RegisterClassW(&windowClass);
        notices = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
        ASSERT_NE(notices, nullptr);
        noticesSeen = 0;
        loader.SetCompletionTarget(notices);
    }
    void TearDown() override {
        loader.CancelAll();
        DestroyWindow(notices);
    }

    // The frame counts of the results taken, as the preview window takes them,
    // until no worker runs and nothing waits.
    std::vector<std::uint64_t> TakeUntilIdle() {
        std::vector<std::uint64_t> counts;
        EXPECT_TRUE(PumpUntil([&] {
            if (std::optional<LoadResult> taken = loader.TakeResult()) {
                counts.push_back(taken->media && SUCCEEDED(taken->hr) ? taken->media->FrameCount() : 0);
            }
            return !loader.StartPendingLoad() && !loader.AnyRunning() && noticesSeen > 0;
        }));
        if (std::optional<LoadResult> last = loader.TakeResult()) {
            counts.push_back(last->media && SUCCEEDED(last->hr) ? last->media->FrameCount() : 0);
        }
        return counts;
    }

    HWND notices = nullptr;
    PreviewLoader loader;
};

} // namespace

TEST_F(PreviewLoaderAlone, AFinishedLoadIsAnnouncedAndTakenOnce) {
    EXPECT_FALSE(loader.HasSource());
    loader.SetSource(StreamFromBytes(Gif(3)).Get(), L"three.gif");
    EXPECT_EQ(loader.Name(), L"three.gif");
    loader.Load();
    EXPECT_EQ(TakeUntilIdle(), std::vector<std::uint64_t>{3});
    EXPECT_FALSE(loader.TakeResult().has_value());
}

TEST_F(PreviewLoaderAlone, OnlyTheNewestOfTheLoadsAskedForWhileOneRunsIsRun) {
    GateControl gate = MakeGatedStream(Gif(2));
    gate.Close();
    loader.SetSource(gate.stream.Get(), L"held.gif");
    loader.Load();
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting(); }));
    for (int frames : {3, 4, 5}) loader.StartLoad(StreamFromBytes(Gif(frames)).Get(), L"next.gif");
    EXPECT_FALSE(loader.StartPendingLoad()); // not while the held one runs
    gate.Open();
    EXPECT_EQ(TakeUntilIdle(), std::vector<std::uint64_t>{5}); // the held load and 3, 4 are never delivered
}

TEST_F(PreviewLoaderAlone, ASeekIsDroppedWhileALoadRunsOrWithoutASource) {
    EXPECT_FALSE(loader.StartPositionedLoad(0));
    GateControl gate = MakeGatedStream(Gif(2));
    gate.Close();
    loader.SetSource(gate.stream.Get(), L"held.gif");
    loader.Load();
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting(); }));
    EXPECT_TRUE(loader.AnyRunning());
    EXPECT_FALSE(loader.StartPositionedLoad(0));
    gate.Open();
    EXPECT_EQ(TakeUntilIdle(), std::vector<std::uint64_t>{2});
}

// The worker keeps the channel it was started with: it reads on after the
// loader gave up on it, and its result goes nowhere.
TEST_F(PreviewLoaderAlone, AWorkerStuckPastThePatienceIsLetGoAndTheLoaderGoesOn) {
    const LONG locksBefore = ServerModuleLocks();
    GateControl gate = MakeGatedStream(Gif(2));
    gate.Close();
    loader.SetSource(gate.stream.Get(), L"held.gif");
    loader.Load();
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting(); }));
    loader.CancelAll(); // returns once its patience is spent
    EXPECT_FALSE(loader.AnyRunning());
    EXPECT_GT(ServerModuleLocks(), locksBefore); // the worker let go still runs

    loader.SetSource(StreamFromBytes(Gif(4)).Get(), L"next.gif");
    loader.Load();
    EXPECT_EQ(TakeUntilIdle(), std::vector<std::uint64_t>{4}); // notices still reach the target
    gate.Open();
    EXPECT_TRUE(PumpUntil([&] { return ServerModuleLocks() == locksBefore; }));
    EXPECT_FALSE(loader.TakeResult().has_value());
}

// Each allocation the start of a load makes, failed in turn: the load ends
// as a failure (never a crash, nor a load that never ends), and the
// host's stream, marshalled for the worker, has every reference given back.
TEST_F(PreviewLoaderAlone, AStartThatRunsOutOfMemoryEndsInAFailedLoad) {
    const ComPtr<IStream> stream = StreamFromBytes(Gif(2));
    const ULONG baseline = References(stream.Get());
    for (long allowed = 0;; ++allowed) {
        SCOPED_TRACE(allowed);
        noticesSeen = 0;
        allocationsFailed = 0;
        allocationsLeft = allowed;
        loader.StartLoad(stream.Get(), L"a.gif");
        allocationsLeft = -1;
        const bool failed = allocationsFailed > 0;
        EXPECT_EQ(TakeUntilIdle(), std::vector<std::uint64_t>{failed ? 0u : 2u});
        loader.CancelAll();
        EXPECT_EQ(References(stream.Get()), baseline);
        if (!failed) break; // every allocation of a start has failed once
    }
}
