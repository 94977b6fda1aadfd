#include "StreamBytes.h"

#include <algorithm>
#include <new>

namespace Quivane {

HRESULT ReadWholeStream(IStream* stream, std::vector<std::uint8_t>& bytes,
                        const std::atomic<std::uint64_t>* watchedGeneration, std::uint64_t expectedGeneration,
                        std::uint32_t readBytes) {
    bytes.clear();
    if (stream == nullptr) return E_POINTER;
    if (FAILED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr))) return E_FAIL;
    STATSTG stat = {};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return E_FAIL;
    const std::uint64_t size = stat.cbSize.QuadPart;
    if (size == 0) return E_FAIL;
    if (size > kMaxInMemoryFileBytes) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }

    const std::uint64_t chunkLimit = readBytes > 0 ? readBytes : kModestReadBytes;
    for (std::uint64_t offset = 0; offset < size;) {
        if (watchedGeneration != nullptr && watchedGeneration->load() != expectedGeneration) {
            bytes.clear();
            return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        }
        const ULONG chunk = static_cast<ULONG>(std::min(size - offset, chunkLimit));
        ULONG read = 0;
        const HRESULT hr = stream->Read(bytes.data() + offset, chunk, &read);
        if (FAILED(hr) || read != chunk) {
            bytes.clear();
            return E_FAIL;
        }
        offset += chunk;
    }
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    return S_OK;
}

} // namespace Quivane
