// The presenter in a real 1280x720 window: the cost of one Render with the
// frame's device bitmap cached, and how many pictures the window's 16 ms
// timer asks for with a still image, an animation and a running load.
//   presenter_bench ANIMATION.gif
#include "presentation/PreviewPresenter.h"
#include "formats/FormatSources.h"
#include "formats/FormatTable.h"
#include "frames/FrameFeeder.h"
#include "frames/StoreRenderer.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

using namespace Quivane;

namespace {

// The smallest one-frame GIF: 1x1, one red pixel.
const BYTE kStillGif[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 255, 0, 0, 0, 0, 0,
                          0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B};

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Every frame of the GIF decoded into the store the presenter shows from,
// all of them kept: no budget, so the feeding ends.
std::unique_ptr<IAnimatedRenderer> Load(IStream* stream) {
    std::unique_ptr<FrameSource> source = CreateFrameSource(*FormatForName(L".gif"));
    if (!source || FAILED(source->Open(stream))) return nullptr;
    auto store = std::make_shared<FrameStore>(source->FrameCount());
    FrameFeeder feeder(*source, store, std::numeric_limits<std::uint64_t>::max());
    if (FAILED(feeder.ReadFirstFrame()) || FAILED(feeder.FeedRest())) return nullptr;
    return std::make_unique<StoreRenderer>(std::move(store));
}

void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

double MedianRenderMs(PreviewPresenter& presenter) {
    std::vector<double> times;
    for (int i = 0; i < 51; ++i) {
        const double start = Now();
        presenter.Render();
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct TickCounts {
    double renders = 0;
    double framesAdvanced = 0; // how far playback moved, which a slow present must not slow down
};

// Drives the presenter the way the preview window's timer does, for `seconds`.
TickCounts RunTimer(PreviewPresenter& presenter, double seconds) {
    std::uint64_t lastTick = 0;
    int renders = 0;
    std::uint64_t advanced = 0;
    std::uint32_t shown = presenter.Playback().currentIndex;
    const std::uint32_t count = std::max<std::uint32_t>(presenter.Playback().frameCount, 1);
    const double end = Now() + seconds * 1000.0;
    while (Now() < end) {
        Sleep(16);
        Pump();
        if (presenter.OnTimerTick(GetTickCount64(), lastTick)) {
            presenter.Render();
            ++renders;
        }
        advanced += (presenter.Playback().currentIndex + count - shown) % count;
        shown = presenter.Playback().currentIndex;
    }
    return TickCounts{renders / seconds, static_cast<double>(advanced) / seconds};
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuivaneBenchWindow";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"bench", WS_POPUP | WS_VISIBLE, 0, 0, 1280, 720,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    Pump();

    IStream* animationStream = nullptr;
    if (FAILED(SHCreateStreamOnFileEx(argv[1], STGM_READ, 0, FALSE, nullptr, &animationStream))) return 4;
    std::unique_ptr<IAnimatedRenderer> animation = Load(animationStream);
    animationStream->Release();
    IStream* stillStream = SHCreateMemStream(kStillGif, sizeof(kStillGif));
    std::unique_ptr<IAnimatedRenderer> still = Load(stillStream);
    stillStream->Release();
    if (!animation || !still) return 5;
    const std::uint32_t delay = animation->GetFrameDelay(0);

    PreviewPresenter presenter;
    if (FAILED(presenter.Initialize(window, RECT{0, 0, 1280, 720}))) return 6;
    // The background alone first, as the floor that the platform's present sets.
    std::printf("render_1280x720_background_only_median_ms\t%.3f\n", MedianRenderMs(presenter));
    presenter.SetRenderer(std::move(animation));
    presenter.Render(); // makes the frame's device bitmap
    std::printf("render_1280x720_median_ms\t%.3f\n", MedianRenderMs(presenter));

    const TickCounts animated = RunTimer(presenter, 3.0);
    std::printf("animation_delay_ms\t%u\nanimation_renders_per_s\t%.1f\nanimation_frames_advanced_per_s\t%.1f\n",
                delay, animated.renders, animated.framesAdvanced);
    presenter.SetLoading(true, false);
    std::printf("loading_renders_per_s\t%.1f\n", RunTimer(presenter, 2.0).renders);
    presenter.SetLoading(false, false);
    presenter.SetRenderer(std::move(still));
    std::printf("still_renders_per_s\t%.1f\n", RunTimer(presenter, 2.0).renders);

    DestroyWindow(window);
    CoUninitialize();
    return 0;
}
