#include "PreviewCommand.h"

#include "PreviewHost.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <sstream>

namespace QuivaneTool {

namespace {

constexpr UINT_PTR kScriptTimer = 0x51;
constexpr UINT kScriptIntervalMs = 16;
constexpr ULONGLONG kLoadTimeoutMs = 30000;
constexpr ULONGLONG kKeySpacingMs = 60;

struct Options {
    std::wstring file;
    int width = 640;
    int height = 400;
    std::vector<std::wstring> keys;
    std::wstring screenshot;
    ULONGLONG afterMs = 1000;
    bool time = false;
    bool playThrough = false; // settles once every frame has been on screen
};

bool ParseOptions(const std::vector<std::wstring>& args, Options& options) {
    if (args.size() < 2) return false;
    options.file = args[1];
    for (size_t i = 2; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == L"--size" && hasValue) {
            if (std::swscanf(args[++i].c_str(), L"%dx%d", &options.width, &options.height) != 2) return false;
        } else if (arg == L"--keys" && hasValue) {
            std::wstringstream list(args[++i]);
            for (std::wstring key; std::getline(list, key, L',');) options.keys.push_back(key);
        } else if (arg == L"--screenshot" && hasValue) {
            options.screenshot = args[++i];
        } else if (arg == L"--after-ms" && hasValue) {
            options.afterMs = static_cast<ULONGLONG>(_wtoi(args[++i].c_str()));
        } else if (arg == L"--time") {
            options.time = true;
        } else if (arg == L"--play-through") {
            options.playThrough = true;
        } else {
            return false;
        }
    }
    return options.width > 0 && options.height > 0;
}

// Sends one scripted input to the preview window, as the user's key or wheel would.
bool SendInput(HWND preview, const std::wstring& key) {
    static const struct {
        const wchar_t* name;
        WPARAM code;
    } kKeys[] = {{L"space", VK_SPACE}, {L"right", VK_RIGHT}, {L"left", VK_LEFT}, {L"home", VK_HOME},
                 {L"end", VK_END},     {L"r", 0x52},         {L"up", VK_UP},     {L"down", VK_DOWN}};
    for (const auto& entry : kKeys) {
        if (key == entry.name) return PostMessageW(preview, WM_KEYDOWN, entry.code, 1) != FALSE;
    }
    if (key == L"wheelup" || key == L"wheeldown") {
        const short delta = key == L"wheelup" ? WHEEL_DELTA : -WHEEL_DELTA;
        return PostMessageW(preview, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0) != FALSE;
    }
    return key == L"wait";
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

} // namespace

int RunPreviewCommand(const std::vector<std::wstring>& args) {
    Options options;
    if (!ParseOptions(args, options)) {
        std::fwprintf(stderr, L"usage: quivane preview FILE [--size WxH] [--keys LIST] [--screenshot OUT.png "
                              L"[--after-ms N]] [--play-through] [--time]\n");
        return 2;
    }
    PreviewHost host;
    LARGE_INTEGER opened = {}, shown = {}, lastTick = {}, now = {};
    HRESULT hr = host.Open(options.file, options.width, options.height);
    QueryPerformanceCounter(&opened);
    if (SUCCEEDED(hr)) hr = host.Preview();
    if (FAILED(hr)) {
        std::fwprintf(stderr, L"error: 0x%08lX (preview)\n", static_cast<unsigned long>(hr));
        return 1;
    }
    const bool scripted = !options.screenshot.empty() || options.time || options.playThrough;
    if (scripted) SetTimer(host.HostWindow(), kScriptTimer, kScriptIntervalMs, nullptr);

    // Scripted runs: wait for the first frame, send the keys, wait, take the picture.
    enum class Phase { Loading, Keys, Settling, Done } phase = Phase::Loading;
    size_t nextKey = 0;
    const ULONGLONG start = GetTickCount64();
    ULONGLONG phaseStart = start;
    double longestGapMs = 0;
    double playedMs = -1;
    bool loadedInTime = true;
    lastTick = opened;
    MSG message;
    while (phase != Phase::Done && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == host.HostWindow() && message.message == WM_TIMER && message.wParam == kScriptTimer) {
            QueryPerformanceCounter(&now);
            const ULONGLONG tick = GetTickCount64();
            if (phase == Phase::Loading) {
                longestGapMs = std::max(longestGapMs, Milliseconds(lastTick, now));
                lastTick = now;
                if (!host.IsLoading()) {
                    shown = now;
                    phase = Phase::Keys;
                    phaseStart = tick;
                } else if (tick - start > kLoadTimeoutMs) {
                    loadedInTime = false;
                    phase = Phase::Settling;
                    phaseStart = tick;
                }
            } else if (phase == Phase::Keys) {
                if (nextKey >= options.keys.size()) {
                    phase = Phase::Settling;
                    phaseStart = tick;
                } else if (tick - phaseStart >= kKeySpacingMs) {
                    if (!SendInput(host.PreviewWindow(), options.keys[nextKey])) {
                        std::fwprintf(stderr, L"unknown key: %ls\n", options.keys[nextKey].c_str());
                    }
                    ++nextKey;
                    phaseStart = tick;
                }
            } else if (phase == Phase::Settling && options.playThrough) {
                // Playback never skips a frame, so reaching the last one has shown them all.
                const long long count = host.FrameCount();
                if (count <= 1 || host.ShownFrame() == count - 1) {
                    phase = Phase::Done;
                    playedMs = static_cast<double>(tick - phaseStart);
                }
            } else if (phase == Phase::Settling && tick - phaseStart >= (options.screenshot.empty() ? 0 : options.afterMs)) {
                phase = Phase::Done;
            }
            continue;
        }
        host.Dispatch(message);
    }

    int exitCode = 0;
    if (options.time) {
        std::printf("first_frame_ms\t%.1f\nlongest_tick_gap_while_loading_ms\t%.1f\n",
                    loadedInTime ? Milliseconds(opened, shown) : -1.0, longestGapMs);
        PROCESS_MEMORY_COUNTERS memory = {};
        memory.cb = sizeof(memory);
        if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory))) {
            std::printf("peak_working_set_mb\t%.1f\n", static_cast<double>(memory.PeakWorkingSetSize) / 1048576.0);
        }
        if (options.playThrough) std::printf("played_through_ms\t%.1f\n", playedMs);
        std::printf("frame_count\t%lld\n", host.FrameCount()); // -1: no picture
    }
    if (!options.screenshot.empty()) {
        const HRESULT saved = host.SavePicture(options.screenshot);
        if (FAILED(saved)) {
            std::fwprintf(stderr, L"error: 0x%08lX (screenshot)\n", static_cast<unsigned long>(saved));
            exitCode = 1;
        }
    }
    host.Close();
    return exitCode;
}

} // namespace QuivaneTool
