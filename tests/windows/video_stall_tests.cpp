// A platform decoder that stops answering: neither Unload nor GetThumbnail
// waits for a reader that does not come back.
#include "CrashAtExit.h"
#include "PreviewWindowFixture.h"
#include "StallingStream.h"
#include "TestSupport.h"
#include "platform/ServerLifetime.h"
#include "preview/PreviewHandlerCom.h"
#include "preview/PreviewStateMessage.h"
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

// A reader that never comes back is given up after a while without an
// answer: the thumbnail fails, and the preview's pane tells that the file
// took too long, long before the shell would stop waiting; the host's next
// preview still shows.
TEST(StuckPlatformDecoder, AVideoTheReaderNeverAnswersEndsAsTakingTooLong) {
    const LONG locksBefore = ServerModuleLocks();
    StallControl thumbnailStall = MakeStallingStream(VideoFixture("pattern.wmv"), 4096);
    const ULONGLONG started = GetTickCount64();
    HBITMAP bitmap = nullptr;
    EXPECT_EQ(MakeThumbnailWithin(thumbnailStall.stream.Get(), 64, &bitmap, kThumbnailPatienceMs),
              HRESULT_FROM_WIN32(WAIT_TIMEOUT));
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_LT(GetTickCount64() - started, kThumbnailPatienceMs / 2); // not the shell's patience running out

    TestWindow host(320, 240);
    StallControl previewStall = MakeStallingStream(VideoFixture("pattern.wmv"), 4096);
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
