#include "PngDataInflater.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace Quivane {
namespace {

// zlib counts its input and output in uInt.
constexpr std::size_t kMaxRun = UINT_MAX;

} // namespace

PngDataInflater::PngDataInflater(const std::vector<ByteSpan>& pieces) : pieces_(pieces) {
    initResult_ = inflateInit(&stream_);
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

// Inflates into out[0, capacity) until it is full, the stream ends or the
// data runs out. What came before a failure is counted in `produced` and
// stays usable: the rows it holds are drawn before the failure is told.
InflateResult PngDataInflater::Fill(std::uint8_t* out, std::size_t capacity, std::size_t& produced) {
    produced = 0;
    if (failure_ != InflateResult::Ok) return failure_;
    while (produced < capacity && !ended_) {
        if (stream_.avail_in == 0 && !FeedNextPiece()) break;
        const std::size_t room = std::min(capacity - produced, kMaxRun);
        stream_.next_out = out + produced;
        stream_.avail_out = static_cast<uInt>(room);
        const int result = inflate(&stream_, Z_NO_FLUSH);
        produced += room - stream_.avail_out;
        if (result == Z_STREAM_END) {
            ended_ = true; // the checksum matched, or zlib would have said Z_DATA_ERROR
        } else if (result == Z_MEM_ERROR) {
            failure_ = InflateResult::NoMemory;
        } else if (result != Z_OK && !(result == Z_BUF_ERROR && stream_.avail_in == 0)) {
            failure_ = InflateResult::BadData; // malformed, a preset dictionary PNG has no use for, or a wrong checksum
        }
        if (failure_ != InflateResult::Ok) return failure_;
    }
    return InflateResult::Ok;
}

InflateResult PngDataInflater::Read(std::uint8_t* out, std::size_t size) {
    while (size > 0) {
        if (windowAt_ == windowEnd_) {
            std::size_t produced = 0;
            if (size >= window_.size()) {
                const InflateResult result = Fill(out, size, produced);
                if (produced == size) return InflateResult::Ok;
                return result != InflateResult::Ok ? result : InflateResult::BadData;
            }
            const InflateResult result = Fill(window_.data(), window_.size(), produced);
            if (produced == 0) {
                return result != InflateResult::Ok ? result : InflateResult::BadData; // the data ends before the image
            }
            windowAt_ = 0;
            windowEnd_ = produced;
        }
        const std::size_t taken = std::min(size, windowEnd_ - windowAt_);
        std::memcpy(out, window_.data() + windowAt_, taken);
        windowAt_ += taken;
        out += taken;
        size -= taken;
    }
    return InflateResult::Ok;
}

InflateResult PngDataInflater::Finish() {
    if (windowAt_ != windowEnd_) return InflateResult::BadData; // more data than the image holds
    if (ended_) return InflateResult::Ok;
    // Room for one byte: the end of the last block and the checksum produce
    // none, and a stream that goes on is stopped at its first extra byte
    // rather than inflated to its end.
    std::uint8_t extra = 0;
    std::size_t produced = 0;
    const InflateResult result = Fill(&extra, 1, produced);
    if (result != InflateResult::Ok) return result;
    return ended_ && produced == 0 ? InflateResult::Ok : InflateResult::BadData;
}

} // namespace Quivane
