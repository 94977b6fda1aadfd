#include "MediaDataStart.h"

#include "MediaByteSource.h"

#include <cstring>

namespace Quivane {
namespace {

constexpr std::uint64_t kRiffHeaderSize = 12; // "RIFF", size, form type
constexpr std::uint64_t kChunkHeaderSize = 8;
constexpr std::uint64_t kListHeaderSize = 12;

constexpr std::uint32_t kEbmlHeaderId = 0x1A45DFA3;
constexpr std::uint32_t kSegmentId = 0x18538067;
constexpr std::uint32_t kClusterId = 0x1F43B675;
constexpr std::uint32_t kSimpleBlockId = 0xA3;
constexpr std::uint32_t kBlockGroupId = 0xA0;
constexpr std::uint64_t kUnknownSize = ~std::uint64_t{0};

// AVI --------------------------------------------------------------------

MediaBoxCheck FirstChunkOfList(const MediaByteSource& source, std::uint64_t listAt, std::uint64_t listSize) {
    const std::uint64_t fileSize = source.FileSize();
    const std::uint64_t first = listAt + kListHeaderSize;
    if (listSize < 4 + kChunkHeaderSize) return MediaBoxCheck::NoSampleData; // the list type and no chunk
    if (first > fileSize || fileSize - first < kChunkHeaderSize) return MediaBoxCheck::NoSampleData;
    std::uint8_t header[kChunkHeaderSize];
    if (!source.Read(first, header, kChunkHeaderSize)) return MediaBoxCheck::Unreadable;
    const std::uint64_t size = LittleEndian(header + 4, 4);
    return size <= fileSize - first - kChunkHeaderSize ? MediaBoxCheck::Plausible : MediaBoxCheck::NoSampleData;
}

// MATROSKA ---------------------------------------------------------------

struct Element {
    std::uint64_t id = 0;
    std::uint64_t data = 0; // where its contents start
    std::uint64_t size = 0; // kUnknownSize when the element runs on
};

// Ended: the file ends inside the header.
enum class ElementRead { Element, Ended, Invalid };

// A variable-length number: `keepMarker` for IDs, which keep their length bit.
ElementRead ReadVint(const MediaByteSource& source, std::uint64_t offset, bool keepMarker, std::uint64_t& value,
                     std::uint64_t& length) {
    std::uint8_t bytes[8];
    if (offset >= source.FileSize()) return ElementRead::Ended;
    if (!source.Read(offset, bytes, 1)) return ElementRead::Invalid;
    if (bytes[0] == 0) return ElementRead::Invalid;
    length = 1;
    while ((bytes[0] & (0x80 >> (length - 1))) == 0) ++length;
    if (keepMarker && length > 4) return ElementRead::Invalid;
    if (source.FileSize() - offset < length) return ElementRead::Ended;
    if (length > 1 && !source.Read(offset + 1, bytes + 1, static_cast<std::size_t>(length - 1))) {
        return ElementRead::Invalid;
    }
    const std::uint8_t marker = static_cast<std::uint8_t>(0x80 >> (length - 1));
    value = keepMarker ? bytes[0] : bytes[0] & (marker - 1);
    bool allOnes = value == static_cast<std::uint64_t>(marker - 1);
    for (std::uint64_t i = 1; i < length; ++i) {
        value = (value << 8) | bytes[i];
        allOnes = allOnes && bytes[i] == 0xFF;
    }
    if (!keepMarker && allOnes) value = kUnknownSize;
    return ElementRead::Element;
}

ElementRead ReadElement(const MediaByteSource& source, std::uint64_t offset, Element& element) {
    std::uint64_t idLength = 0, sizeLength = 0;
    ElementRead read = ReadVint(source, offset, true, element.id, idLength);
    if (read != ElementRead::Element) return read;
    read = ReadVint(source, offset + idLength, false, element.size, sizeLength);
    if (read != ElementRead::Element) return read;
    element.data = offset + idLength + sizeLength;
    return ElementRead::Element;
}

bool EndsWithin(const Element& element, std::uint64_t fileSize) {
    return element.size != kUnknownSize && element.data <= fileSize && element.size <= fileSize - element.data;
}

// Within a cluster: the first block must be whole.
MediaBoxCheck FirstBlockOfCluster(const MediaByteSource& source, const Element& cluster) {
    const std::uint64_t fileSize = source.FileSize();
    const std::uint64_t end = EndsWithin(cluster, fileSize) ? cluster.data + cluster.size : fileSize;
    std::uint64_t offset = cluster.data;
    for (std::uint32_t count = 0; count < kMaxTopLevelBoxes && offset < end; ++count) {
        Element child;
        const ElementRead read = ReadElement(source, offset, child);
        if (read == ElementRead::Ended) break;
        if (read == ElementRead::Invalid || child.size == kUnknownSize) return MediaBoxCheck::Plausible;
        if (child.id == kSimpleBlockId || child.id == kBlockGroupId) {
            return EndsWithin(child, fileSize) ? MediaBoxCheck::Plausible : MediaBoxCheck::NoSampleData;
        }
        if (!EndsWithin(child, fileSize)) break;
        offset = child.data + child.size;
    }
    // A whole cluster without a block is the parser's to judge; a cut one holds no data.
    return EndsWithin(cluster, fileSize) ? MediaBoxCheck::Plausible : MediaBoxCheck::NoSampleData;
}

} // namespace

bool LooksLikeAvi(const std::uint8_t* head, std::size_t size) {
    return head != nullptr && size >= kRiffHeaderSize && std::memcmp(head, "RIFF", 4) == 0 &&
           std::memcmp(head + 8, "AVI ", 4) == 0;
}

bool LooksLikeMatroska(const std::uint8_t* head, std::size_t size) {
    return head != nullptr && size >= 4 && BigEndian(head, 4) == kEbmlHeaderId;
}

MediaBoxCheck CheckAviData(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                           const MediaReadAt& readAt) {
    const MediaByteSource source(head, headSize, fileSize, readAt);
    std::uint8_t header[kListHeaderSize];
    if (!source.Read(0, header, kRiffHeaderSize)) return MediaBoxCheck::Unrecognised;
    if (!LooksLikeAvi(header, kRiffHeaderSize)) return MediaBoxCheck::Unrecognised;
    // The RIFF size is not trusted: a cut file keeps the size it was meant to have.
    std::uint64_t offset = kRiffHeaderSize;
    for (std::uint32_t count = 0; count < kMaxTopLevelBoxes; ++count) {
        if (fileSize - offset < kListHeaderSize) return MediaBoxCheck::NoSampleData;
        if (!source.Read(offset, header, kListHeaderSize)) return MediaBoxCheck::Unreadable;
        const std::uint64_t size = LittleEndian(header + 4, 4);
        if (TypeIs(header, "LIST") && TypeIs(header + 8, "movi")) return FirstChunkOfList(source, offset, size);
        const std::uint64_t next = offset + kChunkHeaderSize + size + (size & 1);
        if (next > fileSize) return MediaBoxCheck::NoSampleData; // the file ends inside the headers
        offset = next;
    }
    return MediaBoxCheck::Plausible;
}

MediaBoxCheck CheckMatroskaData(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                                const MediaReadAt& readAt) {
    const MediaByteSource source(head, headSize, fileSize, readAt);
    Element ebml;
    if (ReadElement(source, 0, ebml) != ElementRead::Element || ebml.id != kEbmlHeaderId) {
        return MediaBoxCheck::Unrecognised;
    }
    if (!EndsWithin(ebml, fileSize)) return MediaBoxCheck::NoSampleData;
    Element segment;
    const ElementRead segmentRead = ReadElement(source, ebml.data + ebml.size, segment);
    if (segmentRead == ElementRead::Ended) return MediaBoxCheck::NoSampleData;
    if (segmentRead == ElementRead::Invalid || segment.id != kSegmentId) return MediaBoxCheck::Plausible;

    const std::uint64_t end = EndsWithin(segment, fileSize) ? segment.data + segment.size : fileSize;
    std::uint64_t offset = segment.data;
    for (std::uint32_t count = 0; count < kMaxTopLevelBoxes; ++count) {
        if (offset >= end) return MediaBoxCheck::NoSampleData;
        Element child;
        const ElementRead read = ReadElement(source, offset, child);
        if (read == ElementRead::Ended) return MediaBoxCheck::NoSampleData;
        if (read == ElementRead::Invalid) return MediaBoxCheck::Plausible;
        if (child.id == kClusterId) return FirstBlockOfCluster(source, child);
        if (child.size == kUnknownSize) return MediaBoxCheck::Plausible; // the walk cannot step over it
        if (!EndsWithin(child, fileSize)) return MediaBoxCheck::NoSampleData;
        offset = child.data + child.size;
    }
    return MediaBoxCheck::Plausible;
}

} // namespace Quivane
