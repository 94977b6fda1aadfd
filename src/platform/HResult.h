#pragma once
// Early return on a failing HRESULT, passing the code up unchanged; the
// place it was first seen is recorded (Failure.h).
#include "Failure.h"

#include <windows.h>

#define RETURN_IF_FAILED(expression)                                                     \
    do {                                                                                 \
        const HRESULT hrChecked_ = (expression);                                         \
        if (FAILED(hrChecked_)) return ::Quivane::NoteFailure(hrChecked_, __FILE__, __LINE__); \
    } while (0)

// Returns a failure this code found itself (damaged data, say), recording where.
#define RETURN_FAILURE(failure) return ::Quivane::NoteFailure((failure), __FILE__, __LINE__)

// The calling thread's last error as an HRESULT; E_FAIL when a failing call left none,
// so a failure is never reported as success.
[[nodiscard]] inline HRESULT HResultFromLastError() {
    const DWORD error = GetLastError();
    return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
}
