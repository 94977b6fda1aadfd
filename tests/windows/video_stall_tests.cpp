// A platform decoder that stops answering: neither Unload nor GetThumbnail
// waits for a reader that does not come back.
#include "CrashAtExit.h"
#include "PreviewWindowFixture.h"
#include "StallingStream.h"
#include "TestSupport.h"
#include "platform/ServerLifetime.h"
#include "preview/PreviewHandlerCom.h"
#include "preview/PreviewStateMessage.h"
#include "formats/FormatSources.h"
#include "formats/FormatTable.h"
#include "thumbnail/ThumbnailProviderCom.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

QUIVANE_TOLERATE_CRASH_AT_EXIT("Wine's media pipeline (GStreamer) may crash as the process ends while a reader "
                               "these tests left stuck inside a stalled stream is still waiting: the stall is what "
                               "they test, and the process is over by then");

using namespace Quivane;
using namespace QuivaneTest;

namespace {

// Waits (serving this apartment) until `done` holds.
bool WaitUntil(const std::function<bool()>& done) {
    const ULONGLONG giveUp = GetTickCount64() + 120000;
    MSG message;
    while (!done() && GetTickCount64() < giveUp) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(10);
    }
    return done();
}

// Initializes `handler` with `stream` and previews it in `host`, as a host does.
void PreviewIn(IPreviewHandler* handler, IStream* stream, const TestWindow& host) {
    ComPtr<IInitializeWithStream> init;
    ASSERT_EQ(handler->QueryInterface(IID_PPV_ARGS(&init)), S_OK);
    ASSERT_EQ(init->Initialize(stream, STGM_READ), S_OK);
    const RECT area = host.ClientRect();
    ASSERT_EQ(handler->SetWindow(host.Handle(), &area), S_OK);
    ASSERT_EQ(handler->DoPreview(), S_OK);
}

} // namespace

// The platform's media reader stuck inside a read that never comes back.
TEST(StuckPlatformDecoder, UnloadAndGetThumbnailReturnWhileTheReaderIsStuck) {
    StallControl stall = MakeStallingStream(VideoFixture("pattern.wmv"), 4096);
    ComPtr<IPreviewHandler> handler;
    ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
    TestWindow host(320, 240);
    PreviewIn(handler.Get(), stall.stream.Get(), host);
    ASSERT_TRUE(WaitUntil([&] { return stall.Stalled(); }));
    HWND preview = PreviewWindowOf(handler.Get());
    ASSERT_EQ(handler->Unload(), S_OK); // returns, letting the stuck worker go
    EXPECT_FALSE(IsWindow(preview));

    // What GetThumbnail runs, with a patience short enough for a test.
    const LONG locksBefore = ServerModuleLocks();
    StallControl thumbnailStall = MakeStallingStream(VideoFixture("pattern.wmv"), 4096);
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(1);
    EXPECT_EQ(MakeThumbnailWithin(thumbnailStall.stream.Get(), 64, &bitmap, 3000), HRESULT_FROM_WIN32(WAIT_TIMEOUT));
    EXPECT_EQ(bitmap, nullptr);
    // The stuck reads then fail, as on a share that went away: the readers
    // come back, and the platform's pipeline is left as the next test needs it.
    stall.Release();
    thumbnailStall.Release();
    // Both workers end: the thumbnail's, and the preview's, which was counted before.
    EXPECT_TRUE(WaitUntil([&] { return ServerModuleLocks() == locksBefore - 1; }));
}

// A read that comes back (failing) long after the caller stopped waiting:
// the worker then frees what it held, and the library with it.
TEST(StuckPlatformDecoder, AWorkerLetGoFreesWhatItHoldsWhenItReturns) {
    const auto gif = ReadFileBytes(WindowsPathFromUnix(std::string(std::getenv("QUIVANE_SOURCE_DIR")) +
                                                       "/samples/bouncing_ball.gif"));
    ASSERT_GT(gif.size(), 64u);
    const LONG locksBefore = ServerModuleLocks();
    StallControl previewStall = MakeStallingStream(gif, kSniffHeaderSize);
    {
        ComPtr<IPreviewHandler> handler;
        ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
        TestWindow host(320, 240);
        PreviewIn(handler.Get(), previewStall.stream.Get(), host);
        ASSERT_TRUE(WaitUntil([&] { return previewStall.Stalled(); }));
        ASSERT_EQ(handler->Unload(), S_OK);
    }
    StallControl thumbnailStall = MakeStallingStream(gif, kSniffHeaderSize);
    HBITMAP bitmap = nullptr;
    EXPECT_EQ(MakeThumbnailWithin(thumbnailStall.stream.Get(), 64, &bitmap, 3000), HRESULT_FROM_WIN32(WAIT_TIMEOUT));
    EXPECT_EQ(ServerModuleLocks(), locksBefore + 2); // each stuck worker keeps the library

    previewStall.Release();
    thumbnailStall.Release();
    EXPECT_TRUE(WaitUntil([&] { return ServerModuleLocks() == locksBefore; }));
}

// The platform's reader stuck inside the file, seen through the frame source
// (no read-ahead of ours in between): the source gives up once the reader
// has not answered for a while, long before the shell would stop waiting.
TEST(StuckPlatformDecoder, AVideoSourceGivesUpOnAReaderThatNeverAnswers) {
    const LONG locksBefore = ServerModuleLocks();
    StallControl stall = MakeStallingStream(VideoFixture("pattern.wmv"), 4096); // the header passes
    std::unique_ptr<FrameSource> source = CreateFrameSource(*FormatForName(L"clip.wmv"));
    ASSERT_TRUE(source);
    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(source->Open(stall.stream.Get()), HRESULT_FROM_WIN32(WAIT_TIMEOUT));
    EXPECT_TRUE(stall.Stalled()); // inside the platform's reader, which is still waiting
    EXPECT_LT(GetTickCount64() - started, kThumbnailPatienceMs / 2);
    source.reset();
    stall.Release(); // the stuck read fails, and the reader left to it ends
    EXPECT_TRUE(WaitUntil([&] { return ServerModuleLocks() == locksBefore; }));
}

// pattern.wmv with a Padding Object of `padding` bytes at the end of its
// header: a file larger than any read-ahead, whose data starts past it.
std::vector<std::uint8_t> PaddedWmv(std::uint32_t padding) {
    const auto whole = VideoFixture("pattern.wmv");
    std::uint64_t headerSize = 0;
    std::uint32_t objects = 0;
    for (int i = 7; i >= 0; --i) headerSize = (headerSize << 8) | whole[16 + i];
    for (int i = 3; i >= 0; --i) objects = (objects << 8) | whole[24 + i];
    const auto put = [](std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    std::vector<std::uint8_t> out(whole.begin(), whole.begin() + 16);
    put(out, headerSize + padding, 8);
    put(out, objects + 1, 4);
    out.insert(out.end(), whole.begin() + 28, whole.begin() + static_cast<std::ptrdiff_t>(headerSize));
    const std::uint8_t paddingGuid[16] = {0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                                          0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};
    out.insert(out.end(), paddingGuid, paddingGuid + 16);
    put(out, padding, 8);
    out.resize(out.size() + padding - 24, 0);
    out.insert(out.end(), whole.begin() + static_cast<std::ptrdiff_t>(headerSize), whole.end());
    return out;
}

// A video whose reading stops answering once the load is inside the video's
// source: the thumbnail fails and the preview's pane tells that the file took
// too long, long before the shell would stop waiting; the host's next preview
// still shows.
TEST(StuckPlatformDecoder, AVideoWhoseReadingStopsAnsweringEndsAsTakingTooLong) {
    constexpr std::uint32_t kPadding = 320 * 1024;
    const auto padded = PaddedWmv(kPadding);
    ASSERT_EQ(ReadSourceFrames(L".wmv", padded).hr, S_OK); // whole, it shows
    const LONG locksBefore = ServerModuleLocks();
    StallControl thumbnailStall = MakeStallingStream(padded, kPadding); // past the first read-ahead
    const ULONGLONG started = GetTickCount64();
    HBITMAP bitmap = nullptr;
    EXPECT_EQ(MakeThumbnailWithin(thumbnailStall.stream.Get(), 64, &bitmap, kThumbnailPatienceMs),
              HRESULT_FROM_WIN32(WAIT_TIMEOUT));
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_TRUE(thumbnailStall.Stalled());
    EXPECT_LT(GetTickCount64() - started, kThumbnailPatienceMs / 2); // not the shell's patience running out

    TestWindow host(320, 240);
    StallControl previewStall = MakeStallingStream(padded, kPadding);
    ComPtr<IPreviewHandler> handler;
    ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
    PreviewIn(handler.Get(), previewStall.stream.Get(), host);
    HWND pane = PreviewWindowOf(handler.Get());
    ASSERT_TRUE(WaitUntil([&] { return AskPreviewState(pane, kPreviewStateLoadResult) != S_OK; }));
    EXPECT_EQ(static_cast<HRESULT>(AskPreviewState(pane, kPreviewStateLoadResult)), HRESULT_FROM_WIN32(WAIT_TIMEOUT));
    wchar_t text[512] = {};
    GetWindowTextW(pane, text, 512);
    EXPECT_NE(std::wstring(text).find(L"took too long"), std::wstring::npos);
    ASSERT_EQ(handler->Unload(), S_OK);

    const auto gif = ReadFileBytes(WindowsPathFromUnix(std::string(std::getenv("QUIVANE_SOURCE_DIR")) +
                                                       "/samples/bouncing_ball.gif"));
    PreviewIn(handler.Get(), StreamFromBytes(gif).Get(), host);
    pane = PreviewWindowOf(handler.Get());
    EXPECT_TRUE(WaitUntil([&] { return AskPreviewState(pane, 0) == kPreviewStateShowing; }));
    EXPECT_GT(AskPreviewState(pane, kPreviewStateFrameCount), 1);
    ASSERT_EQ(handler->Unload(), S_OK);

    thumbnailStall.Release();
    previewStall.Release();
    EXPECT_TRUE(WaitUntil([&] { return ServerModuleLocks() == locksBefore + 1; })); // the handler's own
}
