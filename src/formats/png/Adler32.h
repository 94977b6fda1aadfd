#pragma once
// The Adler-32 checksum that ends a zlib stream, over the bytes it inflates
// to. Ours rather than zlib's: zlib's adds a byte at a time, and on a flat
// picture, which inflates fast, that was a sixth of the whole decode. Pure
// byte arithmetic, tested and fuzzed natively.
#include <cstddef>
#include <cstdint>

namespace Quivane {

constexpr std::uint32_t kAdler32Start = 1;

// The checksum `adler` continued over data[0, size).
std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t size);

} // namespace Quivane
