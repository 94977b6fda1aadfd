#pragma once
// Inflates a PNG image's zlib data where it lies, in the pieces of its IDAT or
// fdAT chunks, a little at a time: a huge image is decoded a few rows at a
// time and its whole inflated data is never held. zlib inflates the deflate
// data; this reads the zlib header and checks the Adler-32 at the end itself,
// holds zlib's state and frees it whatever happens. Pure byte arithmetic,
// tested and fuzzed natively.
#include "PngChunks.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

enum class InflateResult {
    Ok,
    BadData,  // the data ended early, is malformed, or its checksum does not match
    NoMemory, // zlib could not have its state
};

// Whether a zlib stream's first two bytes suit PNG: deflate with the largest
// window at most, no preset dictionary (PNG has no use for one), and the
// header's own check.
bool IsPngZlibHeader(std::uint8_t first, std::uint8_t second);

class PngDataInflater {
public:
    // The pieces must outlive the inflater.
    explicit PngDataInflater(const std::vector<ByteSpan>& pieces);
    ~PngDataInflater();
    PngDataInflater(const PngDataInflater&) = delete;
    PngDataInflater& operator=(const PngDataInflater&) = delete;

    // Inflates the next `size` bytes into out[0, size). Ok when all came;
    // otherwise `produced` says how many did, and they stay usable: the rows
    // they hold are drawn before the failure is told.
    InflateResult Read(std::uint8_t* out, std::size_t size, std::size_t& produced);

    // After the last byte the image holds: Ok when the stream ends right
    // there and its checksum matches everything inflated.
    InflateResult Finish();

private:
    bool FeedNextPiece();
    bool TakeBytes(std::uint8_t* out, std::size_t count);
    InflateResult ReadHeader();
    InflateResult Fill(std::uint8_t* out, std::size_t size, std::size_t& produced);

    const std::vector<ByteSpan>& pieces_;
    std::size_t piece_ = 0;
    const std::uint8_t* pieceRest_ = nullptr; // what of the current piece zlib has not been given yet
    std::size_t pieceLeft_ = 0;

    z_stream stream_{};
    int initResult_ = Z_OK;
    InflateResult failure_ = InflateResult::Ok; // once failed, always failed
    bool headerRead_ = false;
    bool ended_ = false; // the last deflate block has ended; the checksum follows
    std::uint32_t checksum_;
};

} // namespace Quivane
