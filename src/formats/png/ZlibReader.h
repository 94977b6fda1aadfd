#pragma once
// Decompresses a zlib stream (deflate with its two-byte header) that lies in
// several pieces, as a PNG image's data does across its chunks, handing out
// the result a few bytes at a time. A huge image is then decoded row by row
// and never needs its whole decompressed data in memory. Pure byte
// arithmetic, tested and fuzzed natively.
#include "PngChunks.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

class ZlibReader {
public:
    // The pieces must outlive the reader.
    explicit ZlibReader(const std::vector<ByteSpan>& pieces);

    // Fills `out` with the next `size` decompressed bytes. False when the
    // stream ends before them or is malformed; every later call is false too.
    bool Read(std::uint8_t* out, std::size_t size);

    // Codes of up to this many bits are found with one table look-up; longer
    // ones, rare by their nature, bit by bit.
    static constexpr unsigned kFastBits = 10;

    struct Huffman {
        std::array<std::uint16_t, 16> counts{};     // codes of each length
        std::array<std::uint16_t, 288> symbols{};   // in canonical order
        std::array<std::uint16_t, 1u << kFastBits> fast{}; // symbol << 4 | length, 0 when longer
    };

private:
    enum class State { Header, Stored, Coded, Done, Failed };

    bool Fill(unsigned bits);
    std::uint32_t Take(unsigned bits);
    bool ReadHeader();
    bool StartBlock();
    bool ReadCodeLengths();
    int Decode(const Huffman& huffman);
    bool EndBlockOrStartMatch(int symbol);
    void Put(std::uint8_t* out, std::uint8_t byte);
    void CopyMatch(std::uint8_t* out, std::size_t count);

    const std::vector<ByteSpan>& pieces_;
    std::size_t piece_ = 0;
    std::size_t offset_ = 0;
    std::uint64_t bits_ = 0;
    unsigned bitCount_ = 0;

    State state_ = State::Header;
    bool sawHeader_ = false;
    bool lastBlock_ = false;
    std::uint32_t storedLeft_ = 0;
    std::uint32_t matchLeft_ = 0;
    std::uint32_t matchDistance_ = 0;
    Huffman lengths_;
    Huffman distances_;

    std::array<std::uint8_t, 32768> window_{};
    std::uint64_t produced_ = 0;
};

} // namespace Quivane
