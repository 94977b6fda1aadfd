#include "StreamBytes.h"

#include "HResult.h"

namespace Quivane {

HRESULT ReadWholeStream(IStream* stream, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (stream == nullptr) return E_POINTER;
    ULARGE_INTEGER original{};
    RETURN_IF_FAILED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &original));
    RETURN_IF_FAILED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr));

    constexpr ULONG kChunk = 64 * 1024;
    HRESULT hr = S_OK;
    for (;;) {
        const size_t used = bytes.size();
        bytes.resize(used + kChunk);
        ULONG read = 0;
        hr = stream->Read(bytes.data() + used, kChunk, &read);
        bytes.resize(used + read);
        if (FAILED(hr) || read == 0) break;
    }
    LARGE_INTEGER back{};
    back.QuadPart = static_cast<LONGLONG>(original.QuadPart);
    const HRESULT restored = stream->Seek(back, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    return restored;
}

} // namespace Quivane
