#include "MediaSampleTables.h"

#include "MediaByteSource.h"
#include "MovieBoxes.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <limits>

namespace Quivane {
namespace {

constexpr std::uint64_t kUnitsPerSecond = 10'000'000; // the platform's 100-ns units
constexpr std::uint64_t kNoMore = std::numeric_limits<std::uint64_t>::max();

struct VideoTrack {
    BoxSpan sampleTable;
    std::uint64_t timescale = 0;
    std::uint64_t editStart = 0; // the media time the first edit starts at
};

bool ReadMediaTimescale(const MediaByteSource& source, const BoxSpan& mdhd, std::uint64_t& timescale) {
    std::uint8_t fields[24];
    if (mdhd.end - mdhd.payload < 4 || !source.Read(mdhd.payload, fields, 4)) return false;
    const std::uint64_t at = fields[0] == 1 ? 20 : 12; // after the creation and modification times
    if (mdhd.end - mdhd.payload < at + 4 || !source.Read(mdhd.payload + at, fields, 4)) return false;
    timescale = BigEndian(fields, 4);
    return true;
}

// The media time the presentation starts at: the first edit that shows media.
std::uint64_t ReadEditStart(const MediaByteSource& source, const BoxSpan& trak) {
    BoxSpan edts, elst;
    if (!FindChild(source, trak, "edts", edts) || !FindChild(source, edts, "elst", elst)) return 0;
    std::uint8_t version = 0;
    if (elst.end - elst.payload < 4 || !source.Read(elst.payload, &version, 1)) return 0;
    const std::uint64_t width = version == 1 ? 8 : 4;
    BoxTable edits;
    if (!ReadTable(source, elst, 0, 2 * width + 4, edits)) return 0;
    TableReader reader(source, edits.start, edits.end);
    for (std::uint64_t i = 0; i < edits.entries && i < 16; ++i) {
        std::uint64_t duration = 0, mediaTime = 0, rate = 0;
        if (!reader.Next(width, duration) || !reader.Next(width, mediaTime) || !reader.Next(4, rate)) return 0;
        const bool empty = width == 8 ? mediaTime == kNoMore : mediaTime == 0xFFFFFFFFu;
        if (!empty) return (mediaTime >> (8 * width - 1)) != 0 ? 0 : mediaTime;
    }
    return 0;
}

bool FindVideoTrack(const MediaByteSource& source, const BoxSpan& moov, VideoTrack& track) {
    bool found = false;
    ForEachChild(source, moov.payload, moov.end, [&](const std::uint8_t* type, const BoxSpan& trak) {
        if (!TypeIs(type, "trak")) return true;
        BoxSpan mdia, hdlr, mdhd, minf;
        if (!FindChild(source, trak, "mdia", mdia) || !FindChild(source, mdia, "hdlr", hdlr)) return true;
        std::uint8_t handler[4];
        if (hdlr.end - hdlr.payload < 12 || !source.Read(hdlr.payload + 8, handler, 4) || !TypeIs(handler, "vide")) {
            return true;
        }
        // The first video track is the one the still comes from, whatever it holds.
        if (FindChild(source, mdia, "minf", minf) && FindChild(source, minf, "stbl", track.sampleTable)) {
            found = true;
            if (FindChild(source, mdia, "mdhd", mdhd)) ReadMediaTimescale(source, mdhd, track.timescale);
            track.editStart = ReadEditStart(source, trak);
        }
        return false;
    });
    return found;
}

std::uint64_t SaturatingMultiply(std::uint64_t a, std::uint64_t b) {
    return b != 0 && a > kNoMore / b ? kNoMore : a * b;
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) { return a > kNoMore - b ? kNoMore : a + b; }

// The decode time of sample `index` (from 0), from the time-to-sample table.
std::uint64_t DecodeTime(const MediaByteSource& source, const BoxTable& stts, std::uint64_t index) {
    TableReader reader(source, stts.start, stts.end);
    std::uint64_t time = 0;
    for (std::uint64_t i = 0; i < stts.entries; ++i) {
        std::uint64_t count = 0, delta = 0;
        if (!reader.Next(4, count) || !reader.Next(4, delta)) break;
        if (index < count) return SaturatingAdd(time, SaturatingMultiply(index, delta));
        time = SaturatingAdd(time, SaturatingMultiply(count, delta));
        index -= count;
    }
    return time;
}

std::uint64_t ToUnits(std::uint64_t time, std::uint64_t timescale) {
    if (timescale == 0) return 0;
    return SaturatingAdd(SaturatingMultiply(time / timescale, kUnitsPerSecond),
                         (time % timescale) * kUnitsPerSecond / timescale); // the remainder < 2^32: no overflow
}

// Sample sizes: one for all, or one each from the table.
class SampleSizes {
public:
    SampleSizes(const MediaByteSource& source, const BoxTable& table, std::uint64_t constant)
        : reader_(source, table.start, table.end), constant_(constant) {}
    bool Constant() const { return constant_ != 0; }
    std::uint64_t ConstantSize() const { return constant_; }
    bool Next(std::uint64_t& size) { return reader_.Next(4, size); }

private:
    TableReader reader_;
    std::uint64_t constant_;
};

// Walks the samples chunk by chunk, in decode order, counting the leading
// run inside the file; stops once both answers are known.
void MeasureReach(const MediaByteSource& source, const BoxTable& chunks, std::size_t offsetWidth, const BoxTable& runs,
                  SampleSizes& sizes, std::uint64_t sampleCount, VideoSampleReach& reach) {
    const std::uint64_t fileSize = source.FileSize();
    TableReader chunkOffsets(source, chunks.start, chunks.end);
    TableReader runReader(source, runs.start, runs.end);
    std::uint64_t runsLeft = runs.entries;
    std::uint64_t samplesPerChunk = 0, nextRunFirst = kNoMore, ignored = 0;
    // Each run: first chunk (from 1), samples per chunk, description index.
    const auto readRun = [&](std::uint64_t& first, std::uint64_t& perChunk) {
        if (runsLeft == 0) return false;
        --runsLeft;
        return runReader.Next(4, first) && runReader.Next(4, perChunk) && runReader.Next(4, ignored);
    };
    std::uint64_t first = 0;
    if (!readRun(first, samplesPerChunk) || first != 1) return;
    std::uint64_t nextPerChunk = 0;
    if (!readRun(nextRunFirst, nextPerChunk)) nextRunFirst = kNoMore;

    std::uint64_t placed = 0, leading = 0;
    bool leadingOpen = true, anyInFile = false;
    for (std::uint64_t chunk = 1; chunk <= chunks.entries && placed < sampleCount; ++chunk) {
        while (chunk >= nextRunFirst) {
            samplesPerChunk = nextPerChunk;
            std::uint64_t following = 0;
            if (!readRun(following, nextPerChunk)) {
                following = kNoMore;
            } else if (following <= nextRunFirst) {
                return; // runs out of order: the tables disagree
            }
            nextRunFirst = following;
        }
        std::uint64_t offset = 0;
        if (!chunkOffsets.Next(offsetWidth, offset)) return;
        const std::uint64_t count = std::min(samplesPerChunk, sampleCount - placed);
        if (sizes.Constant()) {
            const std::uint64_t fit = offset > fileSize ? 0 : std::min(count, (fileSize - offset) / sizes.ConstantSize());
            if (leadingOpen) leading += fit;
            leadingOpen = leadingOpen && fit == count;
            anyInFile = anyInFile || fit > 0;
        } else {
            for (std::uint64_t i = 0; i < count; ++i) {
                std::uint64_t size = 0;
                if (!sizes.Next(size)) return;
                const bool inFile = offset <= fileSize && size <= fileSize - offset;
                offset = SaturatingAdd(offset, size);
                if (leadingOpen && inFile) ++leading;
                leadingOpen = leadingOpen && inFile;
                anyInFile = anyInFile || inFile;
                if (!leadingOpen && anyInFile) break;
            }
        }
        placed += count;
        if (!leadingOpen && anyInFile) break;
    }
    // Samples no chunk holds are nowhere: only those placed count.
    reach.samples = leadingOpen ? placed : std::max(placed, leading + 1);
    reach.leadingInFile = leading;
    reach.anyInFile = anyInFile;
}

// The first video track's tables, measured against the file.
void ReadTables(const MediaByteSource& source, const BoxSpan& moov, VideoSampleReach& reach) {
    VideoTrack track;
    if (!FindVideoTrack(source, moov, track)) return;
    BoxSpan stco, stsz, stsc, stts;
    std::size_t offsetWidth = 4;
    if (!FindChild(source, track.sampleTable, "stco", stco)) {
        if (!FindChild(source, track.sampleTable, "co64", stco)) return;
        offsetWidth = 8;
    }
    if (!FindChild(source, track.sampleTable, "stsz", stsz) || !FindChild(source, track.sampleTable, "stsc", stsc)) {
        return;
    }
    BoxTable chunks, runs, sizeTable;
    if (!ReadTable(source, stco, 0, offsetWidth, chunks) || !ReadTable(source, stsc, 0, 12, runs)) return;
    std::uint8_t sizeFields[8];
    if (stsz.end - stsz.payload < 12 || !source.Read(stsz.payload + 4, sizeFields, 8)) return;
    const std::uint64_t constantSize = BigEndian(sizeFields, 4);
    const std::uint64_t sampleCount = BigEndian(sizeFields + 4, 4);
    if (constantSize == 0 && !ReadTable(source, stsz, 4, 4, sizeTable)) return;
    SampleSizes sizes(source, sizeTable, constantSize);

    MeasureReach(source, chunks, offsetWidth, runs, sizes, sampleCount, reach);
    if (reach.leadingInFile == 0) return;
    BoxTable times;
    const std::uint64_t lastDecodeTime =
        FindChild(source, track.sampleTable, "stts", stts) && ReadTable(source, stts, 0, 8, times)
            ? DecodeTime(source, times, reach.leadingInFile - 1)
            : 0;
    reach.lastLeadingTime = ToUnits(lastDecodeTime > track.editStart ? lastDecodeTime - track.editStart : 0,
                                    track.timescale);
}

} // namespace

MediaBoxCheck ReadVideoSampleReach(const MediaByteSource& source, std::uint64_t payload, std::uint64_t end,
                                   VideoSampleReach& reach) {
    reach = VideoSampleReach{};
    const BoxSpan moov{payload, end};
    std::uint32_t budget = kMaxChildBoxes;
    const ChildWalk sizes = CheckContainedSizes(source, moov, 0, budget);
    if (sizes == ChildWalk::Overrun) return MediaBoxCheck::Malformed;
    if (sizes == ChildWalk::Unreadable) return MediaBoxCheck::Unreadable;
    ReadTables(source, moov, reach);
    return MediaBoxCheck::Plausible;
}

} // namespace Quivane
