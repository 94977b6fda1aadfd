#pragma once
// Undoes a PNG row's filter in place, against the row above it (already
// undone; zeros above the first row). Sub, Average and Paeth rows of three- and
// four-byte pixels, whose every byte waits on the pixel to its left, take one
// whole pixel per step in vector registers where the CPU has them (chosen
// once, at run time); everything else, and every other CPU, the plain bytes.
// Pure byte arithmetic, tested and fuzzed natively.
#include <cstddef>
#include <cstdint>

namespace Quivane {

// False for a filter type PNG does not define. `step` is the bytes per
// pixel, at least one.
bool UnfilterPngRow(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above, std::size_t size,
                    std::size_t step);

// The same a byte at a time on every CPU: the fallback, and what the vector
// rows must match.
bool UnfilterPngRowBytewise(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above, std::size_t size,
                            std::size_t step);

} // namespace Quivane
