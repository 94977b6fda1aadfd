#include "MovieBoxes.h"

#include <algorithm>
#include <iterator>

namespace Quivane {
ChildWalk ForEachChild(const MediaByteSource& source, std::uint64_t start, std::uint64_t end,
                       const std::function<bool(const std::uint8_t* type, const BoxSpan& span)>& visit) {
    std::uint64_t offset = start;
    for (std::uint32_t count = 0; count < kMaxChildBoxes && offset <= end && end - offset >= 8; ++count) {
        std::uint8_t header[16];
        if (!source.Read(offset, header, 8)) return ChildWalk::Unreadable;
        std::uint64_t size = BigEndian(header, 4);
        std::uint64_t headerSize = 8;
        if (size == 1) {
            if (end - offset < 16) return ChildWalk::Overrun;
            if (!source.Read(offset + 8, header + 8, 8)) return ChildWalk::Unreadable;
            size = BigEndian(header + 8, 8);
            headerSize = 16;
        } else if (size == 0) {
            size = end - offset;
        }
        if (size < headerSize) return ChildWalk::Done;
        if (size > end - offset) return ChildWalk::Overrun;
        if (!visit(header + 4, BoxSpan{offset + headerSize, offset + size})) return ChildWalk::Stopped;
        offset += size;
    }
    return ChildWalk::Done;
}

// Boxes that hold only boxes, which the parser descends into trusting each size.
constexpr char kContainerTypes[][5] = {"moov", "trak", "mdia", "minf", "stbl", "dinf", "edts", "mvex"};
constexpr int kMaxContainerDepth = 8;

ChildWalk CheckContainedSizes(const MediaByteSource& source, const BoxSpan& container, int depth,
                              std::uint32_t& budget) {
    ChildWalk inner = ChildWalk::Done;
    const ChildWalk walk =
        ForEachChild(source, container.payload, container.end, [&](const std::uint8_t* type, const BoxSpan& child) {
            if (budget == 0) return false;
            --budget;
            const bool isContainer = std::any_of(std::begin(kContainerTypes), std::end(kContainerTypes),
                                                 [type](const char* name) { return TypeIs(type, name); });
            if (!isContainer || depth >= kMaxContainerDepth) return true;
            inner = CheckContainedSizes(source, child, depth + 1, budget);
            return inner == ChildWalk::Done || inner == ChildWalk::Stopped;
        });
    return walk == ChildWalk::Stopped ? inner : walk;
}

bool FindChild(const MediaByteSource& source, const BoxSpan& parent, const char* type, BoxSpan& found) {
    bool seen = false;
    ForEachChild(source, parent.payload, parent.end, [&](const std::uint8_t* childType, const BoxSpan& span) {
        if (!TypeIs(childType, type)) return true;
        found = span;
        seen = true;
        return false;
    });
    return seen;
}

bool ReadTable(const MediaByteSource& source, const BoxSpan& box, std::uint64_t fieldsBeforeCount,
               std::uint64_t entrySize, BoxTable& table) {
    const std::uint64_t countAt = box.payload + 4 + fieldsBeforeCount; // after version and flags
    std::uint8_t count[4];
    if (countAt > box.end || box.end - countAt < 4 || !source.Read(countAt, count, 4)) return false;
    table.entries = BigEndian(count, 4);
    table.start = countAt + 4;
    table.end = box.end;
    return table.entries <= (box.end - table.start) / entrySize;
}

} // namespace Quivane
