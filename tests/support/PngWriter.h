#pragma once
// Writes PNG chunks, for tests and benchmarks that build their own files: the
// product only reads PNG.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace QuivaneTest {

// CRC-32 of the PNG format over `size` bytes, continuing from `crc` (start with 0).
std::uint32_t PngCrc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

// Length, type, data and CRC of one chunk, appended to `buffer`.
void AppendPngChunk(std::vector<std::uint8_t>& buffer, const char (&type)[5], const std::uint8_t* data,
                    std::size_t size);

} // namespace QuivaneTest
