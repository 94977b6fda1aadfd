#include "PngDataInflater.h"

#include "Adler32.h"

#include <algorithm>
#include <climits>

namespace Quivane {
namespace {

// zlib counts its input and output in uInt.
constexpr std::size_t kMaxRun = UINT_MAX;
constexpr unsigned kDeflate = 8;
constexpr unsigned kLargestWindowBits = 15;

} // namespace

bool IsPngZlibHeader(std::uint8_t first, std::uint8_t second) {
    const unsigned method = first & 0x0Fu;
    const unsigned windowBits = (first >> 4) + 8u;
    const unsigned check = static_cast<unsigned>(first) << 8 | second;
    const bool presetDictionary = (second & 0x20) != 0;
    return method == kDeflate && windowBits <= kLargestWindowBits && check % 31 == 0 && !presetDictionary;
}

// Raw deflate, the zlib header and checksum being ours to read: zlib's own
// checksum adds a byte at a time, and on flat pictures that cost a sixth of
// the decode. Its window is the largest, as zlib keeps it whatever the header
// declares.
PngDataInflater::PngDataInflater(const std::vector<ByteSpan>& pieces)
    : pieces_(pieces), checksum_(kAdler32Start) {
    initResult_ = inflateInit2(&stream_, -static_cast<int>(kLargestWindowBits));
    if (initResult_ != Z_OK) failure_ = initResult_ == Z_MEM_ERROR ? InflateResult::NoMemory : InflateResult::BadData;
}

PngDataInflater::~PngDataInflater() {
    if (initResult_ == Z_OK) inflateEnd(&stream_);
}

bool PngDataInflater::FeedNextPiece() {
    while (pieceLeft_ == 0) {
        if (piece_ == pieces_.size()) return false;
        pieceRest_ = pieces_[piece_].data;
        pieceLeft_ = pieces_[piece_].size;
        ++piece_;
    }
    const std::size_t run = std::min(pieceLeft_, kMaxRun);
    stream_.next_in = const_cast<Bytef*>(pieceRest_); // zlib's input pointer is not const, it never writes through it
    stream_.avail_in = static_cast<uInt>(run);
    pieceRest_ += run;
    pieceLeft_ -= run;
    return true;
}

// Bytes that are not deflate data (the header, the checksum), from wherever
// in the pieces zlib's input has got to.
bool PngDataInflater::TakeBytes(std::uint8_t* out, std::size_t count) {
    for (; count > 0; --count) {
        if (stream_.avail_in == 0 && !FeedNextPiece()) return false;
        *out++ = *stream_.next_in++;
        --stream_.avail_in;
    }
    return true;
}

InflateResult PngDataInflater::ReadHeader() {
    std::uint8_t header[2] = {};
    if (!TakeBytes(header, 2)) return InflateResult::BadData;
    headerRead_ = true;
    return IsPngZlibHeader(header[0], header[1]) ? InflateResult::Ok : InflateResult::BadData;
}

// Inflates into out[0, size) until it is full, the deflate data ends, the
// pieces run out or zlib fails; `produced` counts what came either way.
InflateResult PngDataInflater::Fill(std::uint8_t* out, std::size_t size, std::size_t& produced) {
    produced = 0;
    if (failure_ == InflateResult::Ok && !headerRead_) failure_ = ReadHeader();
    while (failure_ == InflateResult::Ok && produced < size && !ended_) {
        if (stream_.avail_in == 0 && !FeedNextPiece()) break;
        const std::size_t room = std::min(size - produced, kMaxRun);
        stream_.next_out = out + produced;
        stream_.avail_out = static_cast<uInt>(room);
        const int result = inflate(&stream_, Z_NO_FLUSH);
        const std::size_t made = room - stream_.avail_out;
        checksum_ = Adler32(checksum_, out + produced, made);
        produced += made;
        if (result == Z_STREAM_END) {
            ended_ = true;
        } else if (result == Z_MEM_ERROR) {
            failure_ = InflateResult::NoMemory;
        } else if (result != Z_OK && !(result == Z_BUF_ERROR && stream_.avail_in == 0)) {
            failure_ = InflateResult::BadData; // malformed
        }
    }
    return failure_;
}

InflateResult PngDataInflater::Read(std::uint8_t* out, std::size_t size, std::size_t& produced) {
    if (Fill(out, size, produced) == InflateResult::Ok && produced < size) {
        failure_ = InflateResult::BadData; // the data ends before the image
    }
    return failure_;
}

InflateResult PngDataInflater::Finish() {
    if (!ended_) {
        // Room for one byte: the end of the last block produces none, and a
        // stream that goes on is stopped at its first extra byte rather than
        // inflated to its end.
        std::uint8_t extra = 0;
        std::size_t produced = 0;
        const InflateResult result = Fill(&extra, 1, produced);
        if (result != InflateResult::Ok) return result;
        if (produced != 0 || !ended_) return InflateResult::BadData; // more data than the image holds, or too little
    }
    if (failure_ != InflateResult::Ok) return failure_;
    std::uint8_t stored[4] = {};
    if (!TakeBytes(stored, 4)) return InflateResult::BadData;
    const std::uint32_t expected = static_cast<std::uint32_t>(stored[0]) << 24 |
                                   static_cast<std::uint32_t>(stored[1]) << 16 | stored[2] << 8 | stored[3];
    return expected == checksum_ ? InflateResult::Ok : InflateResult::BadData;
}

} // namespace Quivane
