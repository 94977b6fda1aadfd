// A host dragging its splitter: 100 new rectangles within one second for a
// preview that plays an animation, each followed by serving the queue.
// Printed: the longest time the window's thread went without serving its
// messages, beside its target, and whether the pane ended at the last
// rectangle.
//   resize_bench FILE
#include "BenchPump.h"
#include "preview/PreviewHandlerCom.h"
#include "preview/PreviewStateMessage.h"

#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>

using Microsoft::WRL::ComPtr;
using namespace Quivane;
using QuivaneBench::Now;
using QuivaneBench::Pump;
using QuivaneBench::PumpUntil;

namespace {

constexpr int kRects = 100;
constexpr double kSpanMs = 1000.0;
constexpr double kTargetGapMs = 100.0;

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "resize_bench: %s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

RECT RectAt(int i) { return RECT{i % 9, i % 7, 320 + 3 * i, 200 + 2 * i}; }

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: resize_bench FILE\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail("CoInitializeEx", E_FAIL);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuivaneResizeBench";
    RegisterClassW(&windowClass);
    HWND host = CreateWindowExW(0, windowClass.lpszClassName, L"resize bench", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    if (host == nullptr) return Fail("CreateWindowExW", E_FAIL);

    int status = 0;
    {
        ComPtr<IPreviewHandler> handler;
        HRESULT hr = CreatePreviewHandler(IID_PPV_ARGS(&handler));
        if (FAILED(hr)) return Fail("CreatePreviewHandler", hr);
        ComPtr<IInitializeWithFile> init;
        if (FAILED(hr = handler.As(&init)) || FAILED(hr = init->Initialize(argv[1], STGM_READ))) {
            return Fail("Initialize", hr);
        }
        RECT rect = {0, 0, 320, 200};
        HWND preview = nullptr;
        const char* step = "";
        if (FAILED(hr = QuivaneBench::StartPreview(handler.Get(), host, rect, preview, step))) return Fail(step, hr);
        const auto ask = [preview](WPARAM question) { return SendMessageW(preview, PreviewStateMessage(), question, 0); };
        if (!PumpUntil([&] { return ask(0) == kPreviewStateShowing; }, 600000)) return Fail("loading", E_FAIL);

        const double start = Now();
        double last = start;
        double longest = 0;
        for (int i = 0; i < kRects; ++i) {
            // The next rectangle is due at its share of the second; the queue is served until then.
            while (Now() < start + kSpanMs * i / kRects) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
                Pump();
                longest = std::max(longest, Now() - last);
                last = Now();
            }
            rect = RectAt(i);
            handler->SetRect(&rect);
            Pump();
            longest = std::max(longest, Now() - last);
            last = Now();
        }
        const double spanMs = Now() - start;
        RECT place = {};
        GetWindowRect(preview, &place);
        MapWindowPoints(HWND_DESKTOP, host, reinterpret_cast<POINT*>(&place), 2);
        const bool atLast = EqualRect(&place, &rect) != FALSE;
        if (!atLast) status = 1;
        std::printf("rects\t%d\n", kRects);
        std::printf("span_ms\t%.1f\n", spanMs);
        std::printf("longest_window_gap_ms\t%.1f\n", longest);
        std::printf("target_ms\t%.0f\n", kTargetGapMs);
        std::printf("ended_at_last_rect\t%s\n", atLast ? "yes" : "no");
        handler->Unload();
    }
    DestroyWindow(host);
    CoUninitialize();
    return status;
}
