#pragma once
// A fuzzer's input read a byte at a time; past its end every byte is zero.
#include <cstddef>
#include <cstdint>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return offset_ >= size_; }
    std::uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};
