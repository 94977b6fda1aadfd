#pragma once
// Reading inside a movie box: its child boxes, with every size checked
// against the parent's end, and the big-endian tables of its full boxes,
// read a block at a time whatever the movie's size.
#include "MediaByteSource.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace Quivane {

// No walk looks at more boxes than this.
constexpr std::uint32_t kMaxChildBoxes = 100000;

struct BoxSpan {
    std::uint64_t payload = 0; // first byte after the header
    std::uint64_t end = 0;
};

enum class ChildWalk { Done, Stopped, Overrun, Unreadable };

// Calls `visit(type, span)` for each child box in [start, end) until it
// answers false. A child that runs past its parent's end is Overrun; one
// that is no box (a size under its header) ends the walk like the parent's end.
ChildWalk ForEachChild(const MediaByteSource& source, std::uint64_t start, std::uint64_t end,
                       const std::function<bool(const std::uint8_t* type, const BoxSpan& span)>& visit);

// Every box inside the movie's containers (moov, trak, mdia, minf, stbl,
// dinf, edts, mvex) ends within its parent: a size that runs past it has left
// the platform's reader stuck for good. Looks at `budget` boxes at most.
ChildWalk CheckContainedSizes(const MediaByteSource& source, const BoxSpan& container, int depth,
                              std::uint32_t& budget);

// The first child of `parent` of the type.
bool FindChild(const MediaByteSource& source, const BoxSpan& parent, const char* type, BoxSpan& found);

constexpr std::size_t kTableBlockSize = 4096;

// Big-endian fields read in order from a table, a block at a time.
class TableReader {
public:
    TableReader(const MediaByteSource& source, std::uint64_t start, std::uint64_t end)
        : source_(source), position_(start), end_(end) {}

    bool Next(std::size_t width, std::uint64_t& value) {
        if (position_ > end_ || end_ - position_ < width) return false;
        if (position_ < bufferStart_ || position_ - bufferStart_ + width > bufferLength_) {
            bufferStart_ = position_;
            bufferLength_ = static_cast<std::size_t>(std::min<std::uint64_t>(kTableBlockSize, end_ - position_));
            if (!source_.Read(bufferStart_, buffer_, bufferLength_)) {
                bufferLength_ = 0;
                return false;
            }
        }
        value = BigEndian(buffer_ + (position_ - bufferStart_), width);
        position_ += width;
        return true;
    }

private:
    const MediaByteSource& source_;
    std::uint64_t position_;
    std::uint64_t end_;
    std::uint64_t bufferStart_ = 0;
    std::size_t bufferLength_ = 0;
    std::uint8_t buffer_[kTableBlockSize];
};

// A full box's table: its entry count and where the entries start, when
// the box holds all the entries it declares.
struct BoxTable {
    std::uint64_t entries = 0;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
};

// The table of the full box `box` whose entry count follows `fieldsBeforeCount`
// bytes; false unless the box holds every entry of `entrySize` bytes it declares.
bool ReadTable(const MediaByteSource& source, const BoxSpan& box, std::uint64_t fieldsBeforeCount,
               std::uint64_t entrySize, BoxTable& table);

} // namespace Quivane
