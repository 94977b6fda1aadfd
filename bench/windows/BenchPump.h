#pragma once
// The clock and the message pump the Windows benchmarks that host a preview share.
#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <functional>

namespace QuivaneBench {

// Milliseconds from the performance counter.
inline double Now() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Serves every message waiting on this thread.
inline void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Serves this thread's messages until `done` holds; false after `timeoutMs`.
inline bool PumpUntil(const std::function<bool()>& done, double timeoutMs) {
    const double end = Now() + timeoutMs;
    while (!done()) {
        if (Now() > end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        Pump();
    }
    return true;
}

// Gives an initialised handler its window and area, starts the preview and
// finds the preview's window, as a host does; `step` names what failed.
inline HRESULT StartPreview(IPreviewHandler* handler, HWND host, const RECT& rect, HWND& preview, const char*& step) {
    step = "SetWindow/DoPreview";
    HRESULT hr = handler->SetWindow(host, &rect);
    if (SUCCEEDED(hr)) hr = handler->DoPreview();
    if (FAILED(hr)) return hr;
    step = "GetWindow";
    Microsoft::WRL::ComPtr<IOleWindow> oleWindow;
    hr = handler->QueryInterface(IID_PPV_ARGS(&oleWindow));
    return SUCCEEDED(hr) ? oleWindow->GetWindow(&preview) : hr;
}

} // namespace QuivaneBench
