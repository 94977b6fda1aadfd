#pragma once
// Inflates a PNG image's zlib data where it lies, in the pieces of its IDAT or
// fdAT chunks, a little at a time: a huge image is decoded row by row and its
// whole inflated data is never held. zlib inflates and checks the data's
// Adler-32; this holds zlib's state and a small window, and frees the state
// whatever happens. Pure byte arithmetic, tested and fuzzed natively.
#include "PngChunks.h"

#include <zlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

enum class InflateResult {
    Ok,
    BadData,  // the data ended early, is malformed, or its checksum does not match
    NoMemory, // zlib could not have its state
};

class PngDataInflater {
public:
    // The pieces must outlive the inflater.
    explicit PngDataInflater(const std::vector<ByteSpan>& pieces);
    ~PngDataInflater();
    PngDataInflater(const PngDataInflater&) = delete;
    PngDataInflater& operator=(const PngDataInflater&) = delete;

    // Fills `out` with the next `size` inflated bytes.
    InflateResult Read(std::uint8_t* out, std::size_t size);

    // After the last byte the image holds: Ok when the stream ends right
    // there and its checksum matches everything inflated.
    InflateResult Finish();

private:
    bool FeedNextPiece();
    InflateResult Fill(std::uint8_t* out, std::size_t capacity, std::size_t& produced);

    const std::vector<ByteSpan>& pieces_;
    std::size_t piece_ = 0;
    const std::uint8_t* pieceRest_ = nullptr; // what of the current piece zlib has not been given yet
    std::size_t pieceLeft_ = 0;

    z_stream stream_{};
    int initResult_ = Z_OK;
    InflateResult failure_ = InflateResult::Ok; // once failed, always failed
    bool ended_ = false;

    // Narrow rows come out of here, so zlib mostly inflates in long runs;
    // rows wider than the window are inflated straight into place.
    std::array<std::uint8_t, 16384> window_;
    std::size_t windowAt_ = 0;
    std::size_t windowEnd_ = 0;
};

} // namespace Quivane
