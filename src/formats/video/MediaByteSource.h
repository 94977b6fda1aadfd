#pragma once
// Reading a media file's structure: bytes from the head already in memory
// when it holds them, else through the caller's reader, and the integer
// layouts the containers use.
#include "MediaBoxWalk.h"

#include <algorithm>
#include <cstring>

namespace Quivane {

class MediaByteSource {
public:
    MediaByteSource(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize, const MediaReadAt& readAt)
        : head_(head),
          headSize_(head == nullptr ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(headSize, fileSize))),
          fileSize_(fileSize), readAt_(readAt) {}

    // False when any of the bytes lies past the end of the file or cannot be read.
    bool Read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
        if (offset > fileSize_ || count > fileSize_ - offset) return false;
        if (offset <= headSize_ && count <= headSize_ - offset) {
            if (count > 0) std::memcpy(out, head_ + offset, count);
            return true;
        }
        return readAt_ && readAt_(offset, out, count);
    }

    std::uint64_t FileSize() const { return fileSize_; }

private:
    const std::uint8_t* head_;
    std::size_t headSize_;
    std::uint64_t fileSize_;
    const MediaReadAt& readAt_;
};

inline std::uint64_t BigEndian(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
    return value;
}

inline std::uint64_t LittleEndian(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = count; i > 0; --i) value = (value << 8) | bytes[i - 1];
    return value;
}

inline bool TypeIs(const std::uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

} // namespace Quivane
