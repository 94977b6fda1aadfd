#pragma once
#include <windows.h>
#include <objidl.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace Quivane {

// No picture file this large is copied into memory: past it, a file is
// refused before a byte is read.
constexpr std::uint64_t kMaxInMemoryFileBytes = 1ull << 30;

// Copies a whole stream into memory, from its start; the stream is left at its start. With a watched generation, a change of it
// ends the copy with ERROR_CANCELLED before the next read. An empty stream,
// a failing seek, size query or read, or a short read gives E_FAIL; one over
// kMaxInMemoryFileBytes, ERROR_FILE_TOO_LARGE.
// Reads are of `readBytes` each: modest by default, since a stream from
// another apartment is served by that apartment's thread (a window's), which
// should not be held for long; a caller that only waits may ask for larger
// ones and save the round trips.
constexpr std::uint32_t kModestReadBytes = 64 * 1024;
[[nodiscard]] HRESULT ReadWholeStream(IStream* stream, std::vector<std::uint8_t>& bytes,
                        const std::atomic<std::uint64_t>* watchedGeneration = nullptr,
                        std::uint64_t expectedGeneration = 0, std::uint32_t readBytes = kModestReadBytes);

} // namespace Quivane
