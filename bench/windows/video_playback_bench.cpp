// Videos played in the preview pane, per file: the worker's decode rate at an
// 800x500 pane against the file's own rate; through the handler in a real
// 800x500 window, the time from Space to the first new frame on screen, the
// frames shown and dropped in 10 s of playing and the most a frame shown lay
// behind the clock; and the process's peak memory while playing above what
// it held with the still.
//   video_playback_bench FILE...
#include "BenchPump.h"
#include "formats/video/VideoForwardDecoding.h"
#include "preview/PreviewHandlerCom.h"
#include "preview/PreviewStateMessage.h"
#include "platform/ComAdopt.h"

#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

using namespace Quivane;
using namespace QuivaneBench;
using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT kPaneWidth = 800;
constexpr UINT kPaneHeight = 500;
constexpr double kPlayMs = 10000;

ComPtr<IStream> OpenFile(const std::wstring& path) {
    ComPtr<IStream> stream;
    SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL, FALSE, nullptr,
                           &stream);
    return stream;
}

struct DecodeRate {
    double realTime = 0; // video time decoded per wall time
    double frameMs = 0;  // one frame of the file
    double openMs = 0;   // the worker opening the file
    double firstMs = 0;  // then its first frame from the start
};

// The worker's own loop over the file for three seconds, its ring drained as fast as frames come.
DecodeRate MeasureDecodeRate(const std::wstring& path) {
    DecodeRate rate;
    VideoFrameRing ring;
    std::atomic<bool> done{false};
    std::atomic<double> started{0}, ended{0};
    std::thread worker([&] {
        if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
            {
                PlayingVideo video;
                ComPtr<IStream> stream = OpenFile(path);
                const double opening = Now();
                if (stream && SUCCEEDED(video.Open(stream.Get()))) {
                    rate.openMs = Now() - opening;
                    ForwardDecodeRequest request;
                    request.maxWidth = kPaneWidth;
                    request.maxHeight = kPaneHeight;
                    started = Now();
                    static_cast<void>(video.Play(request, ring, StopToken::Within(std::chrono::milliseconds(3000))));
                    ended = Now();
                }
            }
            CoUninitialize();
        }
        done = true;
    });
    std::uint64_t decoded = 0, frames = 0;
    while (!done) {
        VideoFrameRing::Taken taken = ring.TakeDue(UINT64_MAX);
        if (taken.frame && frames == 0) rate.firstMs = Now() - started;
        frames += taken.dropped + (taken.frame ? 1 : 0);
        if (taken.frame) decoded += taken.frame->duration * (taken.dropped + 1);
        if (!taken.frame) Sleep(1);
    }
    worker.join();
    if (ended > started && frames > 0) {
        rate.realTime = decoded / 10000.0 / (ended - started);
        rate.frameMs = decoded / 10000.0 / frames;
    }
    return rate;
}

std::size_t WorkingSet() {
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    return memory.WorkingSetSize;
}

HWND MakeHost() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuivaneVideoBenchHost";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, kPaneWidth, kPaneHeight,
                           nullptr, nullptr, windowClass.hInstance, nullptr);
}

void MeasurePlaying(const std::wstring& path, HWND host, const DecodeRate& rate) {
    ComPtr<IPreviewHandler> handler;
    ComPtr<IInitializeWithStream> init;
    HWND preview = nullptr;
    const char* step = "create";
    RECT area = {0, 0, static_cast<LONG>(kPaneWidth), static_cast<LONG>(kPaneHeight)};
    if (FAILED(CreatePreviewHandler(IID_PPV_ARGS(&handler))) || FAILED(handler.As(&init)) ||
        FAILED(init->Initialize(OpenFile(path).Get(), STGM_READ)) ||
        FAILED(StartPreview(handler.Get(), host, area, preview, step))) {
        std::printf("  could not preview (%s)\n", step);
        return;
    }
    const UINT state = PreviewStateMessage();
    const auto ask = [&](WPARAM question) { return SendMessageW(preview, state, question, 0); };
    PumpUntil([&] { return ask(0) == kPreviewStateShowing && ask(kPreviewStateDecoding) == 0; }, 60000);
    Pump();
    const std::size_t still = WorkingSet();
    std::size_t peak = still;
    const double pressed = Now();
    SendMessageW(preview, WM_KEYDOWN, VK_SPACE, 1);
    double firstFrame = -1;
    while (Now() - pressed < kPlayMs) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        Pump();
        if (firstFrame < 0 && ask(kPreviewStateFramesShown) > 0) firstFrame = Now() - pressed;
        peak = std::max(peak, WorkingSet());
    }
    const double lagMs = static_cast<double>(ask(kPreviewStateLargestLag)) / 10000.0;
    std::printf("  space_to_first_frame_ms %7.1f  (target <= 200: %.2fx of it)\n", firstFrame, firstFrame / 200.0);
    std::printf("  in 10 s: shown %ld  dropped %ld  largest_lag_ms %.1f = %.2f frames  (target <= 2 frames)\n",
                static_cast<long>(ask(kPreviewStateFramesShown)), static_cast<long>(ask(kPreviewStateFramesDropped)),
                lagMs, rate.frameMs > 0 ? lagMs / rate.frameMs : 0.0);
    std::printf("  peak_MB_above_still %7.1f  (target <= 150: %.2fx of it)\n", (peak - still) / 1048576.0,
                (peak - still) / 1048576.0 / 150.0);
    handler->Unload();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    HWND host = MakeHost();
    for (int i = 1; i < argc; ++i) {
        const std::wstring path = argv[i];
        std::printf("%ls\n", PathFindFileNameW(path.c_str()));
        const DecodeRate rate = MeasureDecodeRate(path);
        std::printf("  decode_at_800x500 %.2fx real time  (frame %.1f ms; target >= 1.5x for 720p30)\n", rate.realTime,
                    rate.frameMs);
        std::printf("  worker alone: open_ms %.1f  first_frame_from_0_ms %.1f\n", rate.openMs, rate.firstMs);
        std::fflush(stdout);
        MeasurePlaying(path, host, rate);
        std::fflush(stdout);
    }
    DestroyWindow(host);
    CoUninitialize();
    return 0;
}
