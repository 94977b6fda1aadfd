#pragma once
// The area scaler's rounding: one division at the end of each pass, done as a
// multiplication by a 64-bit reciprocal (why nothing overflows and why equal
// inputs come back exactly: AreaScale.cpp). Shared by the scaler of whole
// pictures and the one fed row by row, so both give the same bytes.
#include <cstdint>

namespace Quivane {

// Sum / total with 8 fraction bits, rounded.
struct ToIntermediate {
    explicit ToIntermediate(std::uint32_t total) : reciprocal(((std::uint64_t{1} << 40) + total / 2) / total) {}
    std::uint16_t operator()(std::uint32_t sum) const {
        return static_cast<std::uint16_t>((sum * reciprocal + (std::uint64_t{1} << 31)) >> 32);
    }
    std::uint64_t reciprocal;
};

// Sum / (total * 256), rounded: the second pass reads 8-fraction-bit samples.
struct ToTarget {
    explicit ToTarget(std::uint32_t total) : reciprocal(((std::uint64_t{1} << 32) + total / 2) / total) {}
    std::uint8_t operator()(std::uint32_t sum) const {
        return static_cast<std::uint8_t>((sum * reciprocal + (std::uint64_t{1} << 39)) >> 40);
    }
    std::uint64_t reciprocal;
};

} // namespace Quivane
