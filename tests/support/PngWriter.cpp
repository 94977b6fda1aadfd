#include "PngWriter.h"

#include <array>

namespace QuivaneTest {
namespace {

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 24));
    out.push_back(static_cast<std::uint8_t>(value >> 16));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

// Built once per process; a function-local static is initialised thread-safely.
const std::array<std::uint32_t, 256>& CrcTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
        return entries;
    }();
    return table;
}

} // namespace

std::uint32_t PngCrc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
    const auto& table = CrcTable();
    std::uint32_t c = crc ^ 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void AppendPngChunk(std::vector<std::uint8_t>& buffer, const char (&type)[5], const std::uint8_t* data,
                    std::size_t size) {
    const auto* typeBytes = reinterpret_cast<const std::uint8_t*>(type);
    PutU32(buffer, static_cast<std::uint32_t>(size));
    buffer.insert(buffer.end(), typeBytes, typeBytes + 4);
    if (size != 0) buffer.insert(buffer.end(), data, data + size);
    PutU32(buffer, PngCrc32(data, size, PngCrc32(typeBytes, 4)));
}

} // namespace QuivaneTest
