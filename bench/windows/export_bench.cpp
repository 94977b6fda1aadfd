// Copying the last frame of a 5000 x 5000, 300-frame GIF from the preview:
// the frame is composed again at full size from the file, which takes long.
// Printed: the longest time the preview window's thread went without serving
// its messages from the command to the picture on the clipboard, beside its
// target, and the copy's whole time (what that thread spent in it when the
// work ran there).
//   export_bench
#include "BenchPump.h"
#include "platform/ComAdopt.h"
#include "preview/PreviewHandlerCom.h"
#include "preview/PreviewStateMessage.h"

#include <windows.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

using Microsoft::WRL::ComPtr;
using namespace Quivane;
using QuivaneBench::Now;
using QuivaneBench::Pump;
using QuivaneBench::PumpUntil;

namespace {

constexpr std::uint16_t kSide = 5000;
constexpr int kFrames = 300;
constexpr double kTargetGapMs = 100.0;

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// One image of colour index `index`: 9-bit literal codes, a clear code every
// 200 so the decoder's table never widens them.
void PutImage(std::vector<std::uint8_t>& out, std::uint16_t left, std::uint16_t top, std::uint16_t width,
              std::uint16_t height, std::uint8_t index) {
    const std::uint8_t control[] = {0x21, 0xF9, 0x04, 0x04, 10, 0, 0, 0}; // kept in place, 100 ms
    out.insert(out.end(), std::begin(control), std::end(control));
    out.push_back(0x2C);
    PutU16(out, left);
    PutU16(out, top);
    PutU16(out, width);
    PutU16(out, height);
    out.push_back(0x00);
    out.push_back(8);
    std::vector<std::uint8_t> packed;
    std::uint32_t buffer = 0;
    int bits = 0;
    const auto put = [&](unsigned code) {
        buffer |= code << bits;
        bits += 9;
        while (bits >= 8) {
            packed.push_back(static_cast<std::uint8_t>(buffer & 0xFF));
            buffer >>= 8;
            bits -= 8;
        }
    };
    put(256);
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
    for (std::uint64_t i = 0; i < pixels; ++i) {
        if (i % 200 == 199) put(256);
        put(index);
    }
    put(257);
    if (bits > 0) packed.push_back(static_cast<std::uint8_t>(buffer & 0xFF));
    for (std::size_t offset = 0; offset < packed.size(); offset += 255) {
        const std::size_t length = std::min<std::size_t>(255, packed.size() - offset);
        out.push_back(static_cast<std::uint8_t>(length));
        out.insert(out.end(), packed.begin() + static_cast<std::ptrdiff_t>(offset),
                   packed.begin() + static_cast<std::ptrdiff_t>(offset + length));
    }
    out.push_back(0x00);
}

// A whole first frame, then a small square moving across the canvas.
std::vector<std::uint8_t> HugeAnimation() {
    std::vector<std::uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a'};
    PutU16(gif, kSide);
    PutU16(gif, kSide);
    gif.insert(gif.end(), {0xF1, 0, 0}); // a 4-entry global table
    gif.insert(gif.end(), {20, 30, 40, 230, 40, 40, 40, 200, 60, 240, 240, 240});
    const std::uint8_t loop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E',
                                 '2',  '.',  '0',  0x03, 0x01, 0x00, 0x00, 0x00};
    gif.insert(gif.end(), std::begin(loop), std::end(loop));
    PutImage(gif, 0, 0, kSide, kSide, 0);
    for (int frame = 1; frame < kFrames; ++frame) {
        const auto at = static_cast<std::uint16_t>(frame * 16);
        PutImage(gif, at, at, 64, 64, static_cast<std::uint8_t>(1 + frame % 3));
    }
    gif.push_back(0x3B);
    return gif;
}

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "export_bench: %s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

} // namespace

int wmain() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail("CoInitializeEx", E_FAIL);
    const std::vector<std::uint8_t> bytes = HugeAnimation();

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuivaneExportBench";
    RegisterClassW(&windowClass);
    HWND host = CreateWindowExW(0, windowClass.lpszClassName, L"export bench", WS_POPUP | WS_VISIBLE, 0, 0, 640, 400,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    if (host == nullptr) return Fail("CreateWindowExW", HRESULT_FROM_WIN32(GetLastError()));

    int status = 0;
    {
        ComPtr<IPreviewHandler> handler;
        HRESULT hr = CreatePreviewHandler(IID_PPV_ARGS(&handler));
        if (FAILED(hr)) return Fail("CreatePreviewHandler", hr);
        ComPtr<IInitializeWithStream> init;
        ComPtr<IStream> stream;
        AdoptReference(stream, SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size())));
        if (!stream) return Fail("SHCreateMemStream", E_OUTOFMEMORY);
        if (FAILED(hr = handler.As(&init)) || FAILED(hr = init->Initialize(stream.Get(), STGM_READ))) {
            return Fail("Initialize", hr);
        }
        RECT rect = {0, 0, 640, 400};
        HWND preview = nullptr;
        const char* step = "";
        if (FAILED(hr = QuivaneBench::StartPreview(handler.Get(), host, rect, preview, step))) return Fail(step, hr);
        const auto ask = [preview](WPARAM question) { return SendMessageW(preview, PreviewStateMessage(), question, 0); };
        // The first frame shown, then playback paused on the last (the rest
        // may still be decoding: a user copies while it does).
        const double opened = Now();
        if (!PumpUntil([&] { return ask(0) == kPreviewStateShowing; }, 600000)) return Fail("loading", E_FAIL);
        const double firstFrame = Now() - opened;
        SendMessageW(preview, WM_KEYDOWN, VK_SPACE, 1);
        SendMessageW(preview, WM_KEYDOWN, VK_END, 1);
        if (!PumpUntil([&] { return ask(kPreviewStateShownFrame) == kFrames - 1; }, 600000)) {
            return Fail("showing the last frame", E_FAIL);
        }
        const double lastFrame = Now() - opened;
        if (OpenClipboard(host)) {
            EmptyClipboard();
            CloseClipboard();
        }

        PostMessageW(preview, WM_COMMAND, IDM_COPY_FRAME, 0);
        const double start = Now();
        double last = start;
        double longest = 0;
        UINT longestMessage = 0; // the message whose handling took longest
        double longestHandling = 0;
        while (!IsClipboardFormatAvailable(CF_DIB) && last - start < 300000) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                const double before = Now();
                TranslateMessage(&message);
                DispatchMessageW(&message);
                if (Now() - before > longestHandling) {
                    longestHandling = Now() - before;
                    longestMessage = message.message;
                }
            }
            const double now = Now();
            longest = std::max(longest, now - last);
            last = now;
        }
        const double copyMs = last - start;
        bool whole = false;
        if (OpenClipboard(host)) {
            if (HANDLE data = GetClipboardData(CF_DIB)) {
                if (const auto* header = static_cast<const BITMAPINFOHEADER*>(GlobalLock(data))) {
                    whole = header->biWidth == kSide && header->biHeight == -kSide;
                    GlobalUnlock(data);
                }
            }
            EmptyClipboard();
            CloseClipboard();
        }
        if (!whole) {
            std::fprintf(stderr, "export_bench: no %ux%u picture on the clipboard\n", kSide, kSide);
            status = 1;
        }
        std::printf("file_MB\t%.1f\n", static_cast<double>(bytes.size()) / 1048576.0);
        std::printf("first_frame_ms\t%.1f\n", firstFrame);
        std::printf("last_frame_shown_ms\t%.1f\n", lastFrame);
        std::printf("still_decoding\t%d\n", static_cast<int>(ask(kPreviewStateDecoding)));
        std::printf("copy_ms\t%.1f\n", copyMs);
        std::printf("longest_window_gap_ms\t%.1f\n", longest);
        std::printf("target_ms\t%.0f\n", kTargetGapMs);
        // 0x8018: the worker's result taken, the picture handed to the clipboard.
        std::printf("longest_message\t0x%04X %.1f ms\n", longestMessage, longestHandling);
        handler->Unload();
    }
    DestroyWindow(host);
    CoUninitialize();
    return status;
}
