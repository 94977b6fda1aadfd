#pragma once
// Inflates a PNG frame's whole zlib data in one call, with libdeflate: its
// IDAT or fdAT pieces gathered into one run when there are several, its rows
// inflated into one buffer. Several times faster than inflating a few rows at
// a time, at the cost of holding every row; the caller decides when a frame is
// small enough. Any damage is the caller's to handle by inflating the frame
// again a little at a time, so that every row that decodes still shows.
// Pure byte arithmetic, tested and fuzzed natively.
#include "PngChunks.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct libdeflate_decompressor;

namespace Quivane {

class PngWholeInflater {
public:
    PngWholeInflater();
    ~PngWholeInflater();
    PngWholeInflater(const PngWholeInflater&) = delete;
    PngWholeInflater& operator=(const PngWholeInflater&) = delete;

    // Inflates the pieces into exactly `size` bytes, returned (valid until the
    // next call); null when the data is damaged (a bad header, a malformed or
    // short stream, or one that goes on past `size`) or memory is short. The
    // Adler-32 stored after the stream is set aside in `storedChecksum`, for
    // the caller to check as it reads the rows; `hasChecksum` is false when the
    // data ends before it.
    std::uint8_t* Inflate(const std::vector<ByteSpan>& pieces, std::size_t size, std::uint32_t& storedChecksum,
                          bool& hasChecksum);
    // Lets go of a buffer too large to keep for the next frame.
    void Trim();

private:
    struct FreeDecompressor {
        void operator()(libdeflate_decompressor* decompressor) const;
    };
    std::unique_ptr<libdeflate_decompressor, FreeDecompressor> decompressor_;
    std::vector<std::uint8_t> joined_;       // the pieces in one run, when there are several
    std::unique_ptr<std::uint8_t[]> rows_;    // left uninitialised: every byte is inflated into
    std::size_t rowsSize_ = 0;
};

} // namespace Quivane
