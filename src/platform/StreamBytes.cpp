#include "StreamBytes.h"

#include "FullReadStream.h"
#include "HResult.h"
#include "SharedBytesStream.h"
#include "StopResult.h"

#include <algorithm>
#include <new>

namespace Quivane {
namespace {

// The buffer of a stream that does not tell its size starts here and doubles.
constexpr std::uint64_t kFirstCapacity = 64 * 1024;

// Room for at least `needed` bytes, doubling, within kMaxInMemoryFileBytes.
HRESULT Grow(std::vector<std::uint8_t>& bytes, std::uint64_t needed) {
    if (needed > kMaxInMemoryFileBytes) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    const std::uint64_t doubled = std::max<std::uint64_t>(bytes.size() * 2, kFirstCapacity);
    const std::uint64_t capacity = std::min(std::max(doubled, needed), kMaxInMemoryFileBytes);
    try {
        bytes.resize(static_cast<std::size_t>(capacity));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

// The size the stream tells, or 0 when it will not.
std::uint64_t StatedSize(IStream* stream) {
    STATSTG stat = {};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return 0;
    CoTaskMemFree(stat.pwcsName); // a stream that names itself anyway
    return stat.cbSize.QuadPart;
}

} // namespace

HRESULT ReadFully(ISequentialStream* stream, void* buffer, ULONG wanted, ULONG& got) {
    got = 0;
    if (stream == nullptr || buffer == nullptr) return E_POINTER;
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (got < wanted) {
        const ULONG asked = wanted - got;
        ULONG read = 0;
        RETURN_IF_FAILED(stream->Read(out + got, asked, &read));
        if (read == 0) break;
        if (read > asked) return E_UNEXPECTED; // a stream that claims more than it was given room for
        got += read;
    }
    return S_OK;
}

HRESULT ReadWholeStream(IStream* stream, std::vector<std::uint8_t>& bytes, const StopToken& stop,
                        std::uint32_t readBytes) {
    bytes.clear();
    if (stream == nullptr) return E_POINTER;
    const bool seeks = SUCCEEDED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr));
    const std::uint64_t stated = StatedSize(stream);
    if (stated > kMaxInMemoryFileBytes) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    try {
        bytes.resize(static_cast<std::size_t>(stated > 0 ? stated : kFirstCapacity));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }

    const std::uint64_t chunkLimit = readBytes > 0 ? readBytes : kModestReadBytes;
    std::uint64_t filled = 0;
    HRESULT hr = S_OK;
    for (;;) {
        if (stop.ShouldStop()) {
            hr = StopResult(stop);
            break;
        }
        ULONG read = 0;
        if (filled < bytes.size()) {
            const ULONG chunk = static_cast<ULONG>(std::min(bytes.size() - filled, chunkLimit));
            hr = stream->Read(bytes.data() + filled, chunk, &read);
            if (SUCCEEDED(hr) && read > chunk) hr = E_UNEXPECTED;
        } else {
            // The buffer is full: a small read finds whether the end came
            // before the buffer grows (a stated size is usually right).
            std::uint8_t probe[4096];
            hr = stream->Read(probe, sizeof(probe), &read);
            if (SUCCEEDED(hr) && read > sizeof(probe)) hr = E_UNEXPECTED;
            if (SUCCEEDED(hr) && read > 0) hr = Grow(bytes, filled + read);
            if (SUCCEEDED(hr) && read > 0) std::copy_n(probe, read, bytes.data() + filled);
        }
        if (FAILED(hr) || read == 0) break;
        filled += read;
    }
    if (SUCCEEDED(hr) && filled == 0) hr = NoteFailure(kEmptyFile, __FILE__, __LINE__);
    if (FAILED(hr)) {
        bytes.clear();
        bytes.shrink_to_fit();
        return hr;
    }
    bytes.resize(static_cast<std::size_t>(filled));
    if (bytes.capacity() - filled > filled / 4) {
        try {
            bytes.shrink_to_fit(); // a buffer grown by doubling gives back what it did not use
        } catch (const std::bad_alloc&) {
        }
    }
    if (seeks) static_cast<void>(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr));
    return S_OK;
}

HRESULT OpenReadableStream(IStream* host, ReadableStream& readable, const StopToken& stop, std::uint32_t readBytes) {
    readable = {};
    if (host == nullptr) return E_POINTER;
    ULONGLONG size = 0;
    if (SUCCEEDED(host->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr)) && SUCCEEDED(StreamSize(host, size)) &&
        size > 0) {
        return CreateFullReadStream(host, readable.stream.ReleaseAndGetAddressOf());
    }
    // No seeking, or no size to seek within: the bytes go to memory, where both are had.
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    RETURN_IF_FAILED(ReadWholeStream(host, *bytes, stop, readBytes));
    RETURN_IF_FAILED(CreateSharedBytesStream(bytes, readable.stream.ReleaseAndGetAddressOf()));
    readable.bytes = std::move(bytes);
    return S_OK;
}

} // namespace Quivane
