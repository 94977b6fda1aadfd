#pragma once
// A stream handed from one apartment to a worker's.
#include <windows.h>
#include <objidl.h>
#include <wrl/client.h>

namespace Quivane {

// The stream `marshalled` stands for, in the calling thread's apartment. The
// marshalled stream is used up either way and `marshalled` is set to null.
[[nodiscard]] inline HRESULT UnmarshalStream(IStream*& marshalled, Microsoft::WRL::ComPtr<IStream>& stream) {
    const HRESULT hr =
        CoGetInterfaceAndReleaseStream(marshalled, IID_IStream, reinterpret_cast<void**>(stream.ReleaseAndGetAddressOf()));
    marshalled = nullptr;
    if (FAILED(hr)) return hr;
    return stream ? S_OK : E_FAIL;
}

} // namespace Quivane
