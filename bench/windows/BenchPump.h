#pragma once
// The clock and the message pump the Windows benchmarks that host a preview share.
#include <windows.h>

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

} // namespace QuivaneBench
