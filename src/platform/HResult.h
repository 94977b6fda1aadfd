#pragma once
// Early return on a failing HRESULT, passing the code up unchanged.
#include <windows.h>

#define RETURN_IF_FAILED(expression)              \
    do {                                          \
        const HRESULT hrChecked_ = (expression);  \
        if (FAILED(hrChecked_)) return hrChecked_; \
    } while (0)

// The calling thread's last error as an HRESULT; E_FAIL when a failing call left none,
// so a failure is never reported as success.
[[nodiscard]] inline HRESULT HResultFromLastError() {
    const DWORD error = GetLastError();
    return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
}
