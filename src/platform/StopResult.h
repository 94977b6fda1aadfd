#pragma once
// The HRESULT a stopped load ends with, and how it is told from a failure.
#include "StopToken.h"

#include <windows.h>

namespace Quivane {

// WAIT_TIMEOUT once the deadline has passed, else ERROR_CANCELLED (a
// superseded load, or a token asked before it stops).
[[nodiscard]] inline HRESULT StopResult(const StopToken& stop) {
    return stop.Reason() == StopReason::DeadlinePassed ? HRESULT_FROM_WIN32(WAIT_TIMEOUT)
                                                        : HRESULT_FROM_WIN32(ERROR_CANCELLED);
}

// Whether `hr` is what a stopped load ends with: no damage, nothing to fall back on.
inline bool IsStop(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(ERROR_CANCELLED) || hr == HRESULT_FROM_WIN32(WAIT_TIMEOUT);
}

} // namespace Quivane
