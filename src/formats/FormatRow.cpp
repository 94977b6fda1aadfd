#include "FormatRow.h"

#include <cstring>

namespace Quivane {

bool BytesAt(const std::uint8_t* bytes, std::size_t count, std::size_t offset, const void* expected,
             std::size_t length) {
    return bytes != nullptr && count >= offset + length && std::memcmp(bytes + offset, expected, length) == 0;
}

} // namespace Quivane
