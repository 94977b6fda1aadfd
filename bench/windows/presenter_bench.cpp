// The presenter in a real 1280x720 window: the cost of one Render with the
// frame's device bitmap cached (plain, over the checkerboard, pixel-exact,
// with the information line and the pause badge over it),
// how many pictures the window's 16 ms timer asks for with a still image, an
// animation and a running load, and the animation's time at double speed
// against its own.
//   presenter_bench ANIMATION.gif
#include "presentation/PreviewPresenter.h"
#include "formats/FormatSources.h"
#include "formats/FormatTable.h"
#include "frames/FrameFeeder.h"
#include "frames/StoreMedia.h"

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
std::unique_ptr<DecodedMedia> Load(IStream* stream) {
    std::unique_ptr<FrameSource> source = CreateFrameSource(*FormatForName(L".gif"));
    if (!source || FAILED(source->Open(stream))) return nullptr;
    auto store = std::make_shared<FrameStore>(source->FrameCount());
    FrameFeeder feeder(*source, store, std::numeric_limits<std::uint64_t>::max());
    if (FAILED(feeder.ReadFirstFrame()) || FAILED(feeder.FeedRest())) return nullptr;
    return std::make_unique<StoreMedia>(std::move(store));
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

// The median Render of each look, taken in blocks in turn so a busy machine
// slows each alike; the first Render of a block, which pays for switching the
// look (a new sampler state for software OpenGL), is left out.
struct Look {
    ViewOptions options;
    bool paused = false; // the pause badge shows
};

std::vector<double> MedianRenderMsInTurns(PreviewPresenter& presenter, const std::vector<Look>& looks) {
    std::vector<std::vector<double>> times(looks.size());
    for (int round = 0; round < 15; ++round) {
        for (std::size_t k = 0; k < looks.size(); ++k) {
            presenter.SetViewOptions(looks[k].options);
            if (presenter.Playback().paused != looks[k].paused) presenter.TogglePause();
            presenter.Render();
            for (int i = 0; i < 2; ++i) {
                const double start = Now();
                presenter.Render();
                times[k].push_back(Now() - start);
            }
        }
    }
    std::vector<double> medians;
    for (std::vector<double>& each : times) {
        std::sort(each.begin(), each.end());
        medians.push_back(each[each.size() / 2]);
    }
    return medians;
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

ViewOptions AtSpeedStep(std::uint32_t step) {
    ViewOptions options;
    options.speedStep = step;
    return options;
}

// The time, on a simulated clock ticking every 16 ms as the window's timer
// does, for every frame of the animation to show once at `speedStep`.
std::uint64_t LoopClockMs(PreviewPresenter& presenter, std::uint32_t speedStep) {
    constexpr std::uint64_t kTickMs = 16;
    presenter.SetViewOptions(AtSpeedStep(speedStep));
    presenter.GoToFirstFrame();
    const std::uint32_t count = std::max<std::uint32_t>(presenter.Playback().frameCount, 1);
    std::uint32_t shown = presenter.Playback().currentIndex;
    std::uint64_t advanced = 0;
    std::uint64_t now = 1000;
    std::uint64_t lastTick = now;
    while (advanced < count && now < 100000000) {
        now += kTickMs;
        presenter.OnTimerTick(now, lastTick);
        advanced += (presenter.Playback().currentIndex + count - shown) % count;
        shown = presenter.Playback().currentIndex;
    }
    return now - 1000;
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
    std::unique_ptr<DecodedMedia> animation = Load(animationStream);
    animationStream->Release();
    IStream* stillStream = SHCreateMemStream(kStillGif, sizeof(kStillGif));
    std::unique_ptr<DecodedMedia> still = Load(stillStream);
    stillStream->Release();
    if (!animation || !still) return 5;
    const std::uint32_t delay = animation->FrameDelay(0);

    PreviewPresenter presenter;
    if (FAILED(presenter.Initialize(window, RECT{0, 0, 1280, 720}))) return 6;
    // The background alone first, as the floor that the platform's present sets.
    std::printf("render_1280x720_background_only_median_ms\t%.3f\n", MedianRenderMs(presenter));
    presenter.SetMedia(std::move(animation));
    presenter.Render(); // makes the frame's device bitmap
    std::printf("render_1280x720_median_ms\t%.3f\n", MedianRenderMs(presenter));

    // The view's looks against the plain picture, taken in turns so a busy machine slows each alike.
    ViewOptions checkered;
    checkered.checkerboard = true;
    ViewOptions exact = checkered;
    exact.pixelExact = true;
    ViewOptions informed;
    informed.infoLine = true;
    const std::vector<double> looks =
        MedianRenderMsInTurns(presenter, {{ViewOptions(), false}, {checkered, false}, {exact, false}, {informed, true}});
    std::printf("render_plain_in_turns_median_ms\t%.3f\n", looks[0]);
    std::printf("render_checkerboard_median_ms\t%.3f\t(+%.3f ms, ratio %.3f to plain)\n", looks[1], looks[1] - looks[0],
                looks[1] / looks[0]);
    std::printf("render_checkerboard_pixel_exact_median_ms\t%.3f\t(+%.3f ms, ratio %.3f to plain)\n", looks[2],
                looks[2] - looks[0], looks[2] / looks[0]);
    std::printf("render_info_line_pause_badge_median_ms\t%.3f\t(+%.3f ms to plain, target at most +2 ms)\n", looks[3],
                looks[3] - looks[0]);
    presenter.SetViewOptions(ViewOptions());
    if (presenter.Playback().paused) presenter.TogglePause();

    // Double speed: the frames in half the time of the file's own timing.
    const std::uint64_t normalLoop = LoopClockMs(presenter, kNormalSpeedStep);
    const std::uint64_t doubleLoop = LoopClockMs(presenter, kNormalSpeedStep + 1);
    std::printf("loop_ms_1x_16ms_ticks\t%llu\nloop_ms_2x_16ms_ticks\t%llu\nloop_time_ratio_2x_to_1x\t%.3f\t(target 0.5)\n",
                static_cast<unsigned long long>(normalLoop), static_cast<unsigned long long>(doubleLoop),
                static_cast<double>(doubleLoop) / static_cast<double>(std::max<std::uint64_t>(normalLoop, 1)));
    presenter.GoToFirstFrame();
    const TickCounts animated = RunTimer(presenter, 3.0);
    std::printf("animation_delay_ms\t%u\nanimation_renders_per_s\t%.1f\nanimation_frames_advanced_per_s\t%.1f\n",
                delay, animated.renders, animated.framesAdvanced);
    presenter.SetLoading(true, false);
    std::printf("loading_renders_per_s\t%.1f\n", RunTimer(presenter, 2.0).renders);
    presenter.SetLoading(false, false);
    presenter.SetMedia(std::move(still));
    std::printf("still_renders_per_s\t%.1f\n", RunTimer(presenter, 2.0).renders);

    DestroyWindow(window);
    CoUninitialize();
    return 0;
}
