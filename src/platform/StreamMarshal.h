#pragma once
// A stream handed from one apartment to a worker's.
#include <windows.h>
#include <objidl.h>
#include <wrl/client.h>

namespace Quivane {

// A stream marshalled for another apartment, owned from the moment it is
// made: one never unmarshalled still holds a reference to its source, which
// only CoReleaseMarshalData gives back, on every way out.
class MarshalledStream {
public:
    MarshalledStream() = default;
    ~MarshalledStream() { Reset(); }
    MarshalledStream(MarshalledStream&&) noexcept = default;
    MarshalledStream& operator=(MarshalledStream&&) = delete;
    MarshalledStream(const MarshalledStream&) = delete;
    MarshalledStream& operator=(const MarshalledStream&) = delete;

    [[nodiscard]] HRESULT Marshal(IStream* source) {
        Reset();
        const HRESULT hr = CoMarshalInterThreadInterfaceInStream(IID_IStream, source, marshalled_.GetAddressOf());
        if (FAILED(hr)) return hr;
        return marshalled_ ? S_OK : E_FAIL;
    }
    // The source in the calling thread's apartment; the marshalled stream is used up either way.
    [[nodiscard]] HRESULT Unmarshal(Microsoft::WRL::ComPtr<IStream>& stream) {
        if (!marshalled_) return E_UNEXPECTED;
        const HRESULT hr = CoGetInterfaceAndReleaseStream(marshalled_.Detach(), IID_IStream,
                                                          reinterpret_cast<void**>(stream.ReleaseAndGetAddressOf()));
        if (FAILED(hr)) return hr;
        return stream ? S_OK : E_FAIL;
    }
    void Reset() {
        if (marshalled_) CoReleaseMarshalData(marshalled_.Get());
        marshalled_.Reset();
    }

private:
    Microsoft::WRL::ComPtr<IStream> marshalled_;
};

} // namespace Quivane
