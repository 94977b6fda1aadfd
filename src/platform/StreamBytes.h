#pragma once
// Reading a host's stream as hosts give them: a read may return fewer bytes
// than asked (S_OK or S_FALSE) long before the end, and a stream from a zip
// folder, a phone or a cloud placeholder may refuse Stat or Seek.
#include <windows.h>
#include <objidl.h>
#include <wrl/client.h>

#include "StopToken.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Quivane {

// No picture file this large is copied into memory: past it, a file is
// refused (before a byte is read when the stream tells its size).
constexpr std::uint64_t kMaxInMemoryFileBytes = 1ull << 30;

// Reads are of `readBytes` each: modest by default, since a stream from
// another apartment is served by that apartment's thread (a window's), which
// should not be held for long; a caller that only waits may ask for larger
// ones and save the round trips.
constexpr std::uint32_t kModestReadBytes = 64 * 1024;

// Reads into `buffer` until `wanted` bytes came or a read gives none (the
// end); `got` is what came. A failing read fails the call.
[[nodiscard]] HRESULT ReadFully(ISequentialStream* stream, void* buffer, ULONG wanted, ULONG& got);

// Copies a whole stream into memory: from its start when it seeks, else from
// where it stands; a stream that seeks is left at its start. Reading goes on
// until a read gives no bytes; the size from Stat, when given, only sizes the
// buffer. A stop of `stop` ends the copy with StopResult before the next
// read. An empty stream gives kEmptyFile; a failing read, its own result; one
// over kMaxInMemoryFileBytes, ERROR_FILE_TOO_LARGE.
// A file of no bytes at all: told as such, whatever its name promises.
inline const HRESULT kEmptyFile = HRESULT_FROM_WIN32(ERROR_EMPTY);

[[nodiscard]] HRESULT ReadWholeStream(IStream* stream, std::vector<std::uint8_t>& bytes, const StopToken& stop = {},
                                      std::uint32_t readBytes = kModestReadBytes);

// A host's stream as the readers here use it: it seeks, tells its size and
// gives whole reads.
struct ReadableStream {
    Microsoft::WRL::ComPtr<IStream> stream;
    // Set when the host's stream could not seek: its bytes, read forward from
    // where it stood, which `stream` reads.
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
};

// The host's stream itself behind whole reads when it seeks to its start and
// its size is known (from Stat or its end); otherwise its bytes copied as ReadWholeStream does (so a forward-only
// stream over kMaxInMemoryFileBytes fails with ERROR_FILE_TOO_LARGE).
[[nodiscard]] HRESULT OpenReadableStream(IStream* host, ReadableStream& readable, const StopToken& stop = {},
                                         std::uint32_t readBytes = kModestReadBytes);

} // namespace Quivane
