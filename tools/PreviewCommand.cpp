#include "PreviewCommand.h"

#include "Console.h"
#include "Failure.h"
#include "PreviewHost.h"
#include "PreviewKeys.h"
#include "platform/HResult.h"

#include <windows.h>
#include <psapi.h>

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
    bool screenshotFailed = false; // a file that cannot be shown still has its picture (its message) saved
};

// The values of the options, read strictly; false with the reason.
bool ReadOptions(const ParsedLine& line, Options& options, std::wstring& reason) {
    options.file = line.operands[0];
    if (const std::wstring* size = line.Value(L"--size")) {
        const size_t x = size->find(L'x');
        long width = 0, height = 0;
        if (x == std::wstring::npos || !ReadWholeNumber(size->substr(0, x), 1, 16384, width) ||
            !ReadWholeNumber(size->substr(x + 1), 1, 16384, height)) {
            reason = L"--size " + *size + L": give WIDTHxHEIGHT in pixels, each from 1 to 16384";
            return false;
        }
        options.width = static_cast<int>(width);
        options.height = static_cast<int>(height);
    }
    if (const std::wstring* keys = line.Value(L"--keys")) {
        std::wstringstream list(*keys);
        for (std::wstring key; std::getline(list, key, L',');) {
            if (!IsPreviewKey(key)) {
                reason = L"--keys: unknown key \"" + key + L"\" (the keys: " + PreviewKeyNames() + L")";
                return false;
            }
            options.keys.push_back(key);
        }
    }
    if (const std::wstring* screenshot = line.Value(L"--screenshot")) options.screenshot = *screenshot;
    if (const std::wstring* after = line.Value(L"--after-ms")) {
        long ms = 0;
        if (!ReadWholeNumber(*after, 0, 3600000, ms)) {
            reason = L"--after-ms " + *after + L": give a whole number of milliseconds from 0 to 3600000";
            return false;
        }
        options.afterMs = static_cast<ULONGLONG>(ms);
    }
    options.time = line.Has(L"--time");
    options.playThrough = line.Has(L"--play-through");
    options.screenshotFailed = line.Has(L"--screenshot-failed");
    return true;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

} // namespace

const CommandInfo& PreviewCommandInfo() {
    static const CommandInfo info = {
        L"preview",
        {L"FILE"},
        L"hosts the preview handler in a window as the shell's preview pane does; without --screenshot it stays open",
        {{L"--size", L"WxH", L"the window's client size in pixels (640x400)"},
         {L"--keys", L"LIST", L"inputs sent once the first frame shows, comma-separated (names below)"},
         {L"--screenshot", L"OUT.png", L"save the preview's picture after the keys and exit"},
         {L"--after-ms", L"N", L"with --screenshot: wait N ms after the keys first (1000)"},
         {L"--screenshot-failed", nullptr, L"with --screenshot: save the picture of a file it cannot show too (its message); the exit stays 1"},
         {L"--play-through", nullptr, L"wait until every frame has been on screen, then exit"},
         {L"--time", nullptr, L"print the time to open the preview and to its first frame, the longest stall while loading, peak memory, frame count"}},
        {L"keys for --keys: " + PreviewKeyNames()}};
    return info;
}

int RunPreviewCommand(const ParsedLine& line) {
    Options options;
    std::wstring reason;
    if (!ReadOptions(line, options, reason)) return ReportUsageError(PreviewCommandInfo(), reason);
    PreviewHost host;
    LARGE_INTEGER opening = {}, opened = {}, shown = {}, lastTick = {}, now = {};
    QueryPerformanceCounter(&opening);
    HRESULT hr = host.Open(options.file, options.width, options.height);
    QueryPerformanceCounter(&opened);
    if (SUCCEEDED(hr)) hr = host.Preview();
    if (FAILED(hr)) return ReportFileFailure(options.file, L"cannot preview", hr);
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
                if (!host.IsLoading() && FAILED(host.LoadResult())) {
                    phase = Phase::Done; // nothing to wait for, nor to take a picture of
                } else if (!host.IsLoading()) {
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
                    if (!SendPreviewKey(host.PreviewWindow(), options.keys[nextKey])) {
                        const HRESULT sent = HResultFromLastError();
                        host.Close();
                        return ReportFailure(L"cannot send a key to the preview", sent);
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

    // A file the handler could not decode fails the command, interactive or not.
    if (const HRESULT loaded = host.LoadResult(); FAILED(loaded)) {
        // What the pane says, read from its window as a screen reader reads it.
        wchar_t said[1024] = {};
        if (host.PreviewWindow() != nullptr && GetWindowTextW(host.PreviewWindow(), said, 1024) > 0) {
            Print(L"pane_says\t%ls\n", said);
        }
        if (options.screenshotFailed && !options.screenshot.empty()) {
            const HRESULT saved = host.SavePicture(options.screenshot);
            if (FAILED(saved)) ReportFileFailure(options.screenshot, L"cannot write", saved);
        }
        host.Close();
        return ReportFileFailure(options.file, L"cannot decode", loaded);
    }
    int exitCode = kExitOk;
    if (options.time) {
        // Opening places the handler in its window (SetWindow), on this thread too.
        Print(L"open_ms\t%.1f\nfirst_frame_ms\t%.1f\nlongest_tick_gap_while_loading_ms\t%.1f\n",
              Milliseconds(opening, opened), loadedInTime ? Milliseconds(opened, shown) : -1.0, longestGapMs);
        PROCESS_MEMORY_COUNTERS memory = {};
        memory.cb = sizeof(memory);
        if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory))) {
            Print(L"peak_working_set_mb\t%.1f\n", static_cast<double>(memory.PeakWorkingSetSize) / 1048576.0);
        }
        if (options.playThrough) Print(L"played_through_ms\t%.1f\n", playedMs);
        Print(L"frame_count\t%lld\n", host.FrameCount()); // -1: no picture
    }
    if (!options.screenshot.empty()) {
        const HRESULT saved = host.SavePicture(options.screenshot);
        if (FAILED(saved)) exitCode = ReportFileFailure(options.screenshot, L"cannot write", saved);
    }
    host.Close();
    return exitCode;
}

} // namespace QuivaneTool
