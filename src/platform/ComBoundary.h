#pragma once
// Where the platform calls in (COM methods, class objects, exported entry
// points, window procedures) no exception may pass: it becomes a failing result.
#include <windows.h>

#include <exception>
#include <new>

namespace Quivane {

template <typename Body>
[[nodiscard]] HRESULT ResultOf(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace Quivane
