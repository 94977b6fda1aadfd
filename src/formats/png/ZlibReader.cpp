#include "ZlibReader.h"

#include <algorithm>
#include <cstring>

namespace Quivane {
namespace {

constexpr std::uint32_t kWindowSize = 32768;
constexpr std::uint32_t kWindowMask = kWindowSize - 1;
constexpr unsigned kMaxCodeBits = 15;

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                             33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                             1025, 1537, 2049, 3073, 4097, 6145,  8193,  12289, 16385, 24577};
constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

std::uint32_t Reverse(std::uint32_t code, unsigned length) {
    std::uint32_t reversed = 0;
    for (unsigned i = 0; i < length; ++i, code >>= 1) reversed = (reversed << 1) | (code & 1);
    return reversed;
}

// Canonical codes from code lengths. An incomplete code is allowed (a stream
// that uses a missing code fails when it does); an oversubscribed one is not.
bool BuildHuffman(const std::uint8_t* lengths, unsigned count, ZlibReader::Huffman& huffman) {
    huffman.counts.fill(0);
    huffman.fast.fill(0);
    for (unsigned symbol = 0; symbol < count; ++symbol) ++huffman.counts[lengths[symbol]];
    huffman.counts[0] = 0;
    int left = 1;
    for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
        left = (left << 1) - huffman.counts[length];
        if (left < 0) return false;
    }
    std::array<std::uint16_t, 16> offsets{};
    std::array<std::uint32_t, 16> nextCode{};
    std::uint32_t code = 0;
    for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
        offsets[length] = static_cast<std::uint16_t>(offsets[length - 1] + huffman.counts[length - 1]);
        code = (code + huffman.counts[length - 1]) << 1;
        nextCode[length] = code;
    }
    for (unsigned symbol = 0; symbol < count; ++symbol) {
        const unsigned length = lengths[symbol];
        if (length == 0) continue;
        huffman.symbols[offsets[length]++] = static_cast<std::uint16_t>(symbol);
        const std::uint32_t assigned = nextCode[length]++;
        if (length > ZlibReader::kFastBits) continue;
        const std::uint16_t entry = static_cast<std::uint16_t>(symbol << 4 | length);
        for (std::uint32_t slot = Reverse(assigned, length); slot < huffman.fast.size(); slot += 1u << length) {
            huffman.fast[slot] = entry;
        }
    }
    return true;
}

// Eight bytes at once; the caller sees that every byte read was written before.
inline void CopyEight(std::uint8_t* to, const std::uint8_t* from) {
    std::uint64_t eight;
    std::memcpy(&eight, from, 8);
    std::memcpy(to, &eight, 8);
}

} // namespace

ZlibReader::ZlibReader(const std::vector<ByteSpan>& pieces) : pieces_(pieces) {}

bool ZlibReader::Fill(unsigned bits) {
    while (bitCount_ < bits) {
        while (piece_ < pieces_.size() && offset_ >= pieces_[piece_].size) {
            ++piece_;
            offset_ = 0;
        }
        if (piece_ == pieces_.size()) return false;
        bits_ |= static_cast<std::uint64_t>(pieces_[piece_].data[offset_++]) << bitCount_;
        bitCount_ += 8;
    }
    return true;
}

std::uint32_t ZlibReader::Take(unsigned bits) {
    const std::uint32_t value = static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << bits) - 1));
    bits_ >>= bits;
    bitCount_ -= bits;
    return value;
}

bool ZlibReader::ReadHeader() {
    if (!Fill(16)) return false;
    const std::uint32_t method = Take(8);
    const std::uint32_t flags = Take(8);
    // Deflate, a window of at most 32 KB, a valid check, no preset dictionary.
    return (method & 15) == 8 && (method >> 4) <= 7 && (method * 256 + flags) % 31 == 0 && (flags & 0x20) == 0;
}

bool ZlibReader::StartBlock() {
    if (!sawHeader_) {
        if (!ReadHeader()) return false;
        sawHeader_ = true;
    }
    if (!Fill(3)) return false;
    lastBlock_ = Take(1) != 0;
    switch (Take(2)) {
    case 0: {
        Take(bitCount_ % 8); // stored data starts at a byte
        if (!Fill(32)) return false;
        const std::uint32_t length = Take(16);
        if ((length ^ 0xFFFF) != Take(16)) return false;
        storedLeft_ = length;
        state_ = State::Stored;
        return true;
    }
    case 1: {
        std::uint8_t lengths[288 + 30];
        std::fill(lengths, lengths + 144, 8);
        std::fill(lengths + 144, lengths + 256, 9);
        std::fill(lengths + 256, lengths + 280, 7);
        std::fill(lengths + 280, lengths + 288, 8);
        std::fill(lengths + 288, lengths + 318, 5);
        if (!BuildHuffman(lengths, 288, lengths_) || !BuildHuffman(lengths + 288, 30, distances_)) return false;
        state_ = State::Coded;
        return true;
    }
    case 2:
        if (!ReadCodeLengths()) return false;
        state_ = State::Coded;
        return true;
    default:
        return false;
    }
}

bool ZlibReader::ReadCodeLengths() {
    if (!Fill(14)) return false;
    const unsigned literalCount = Take(5) + 257;
    const unsigned distanceCount = Take(5) + 1;
    const unsigned lengthCodeCount = Take(4) + 4;
    if (literalCount > 286 || distanceCount > 30) return false;
    std::uint8_t codeLengths[19] = {};
    for (unsigned i = 0; i < lengthCodeCount; ++i) {
        if (!Fill(3)) return false;
        codeLengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(Take(3));
    }
    Huffman lengthCode;
    if (!BuildHuffman(codeLengths, 19, lengthCode)) return false;

    std::uint8_t lengths[286 + 30] = {};
    const unsigned total = literalCount + distanceCount;
    for (unsigned filled = 0; filled < total;) {
        const int symbol = Decode(lengthCode);
        if (symbol < 0) return false;
        if (symbol < 16) {
            lengths[filled++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        std::uint8_t repeated = 0;
        unsigned times = 0;
        if (symbol == 16) {
            if (filled == 0 || !Fill(2)) return false;
            repeated = lengths[filled - 1];
            times = 3 + Take(2);
        } else if (symbol == 17) {
            if (!Fill(3)) return false;
            times = 3 + Take(3);
        } else {
            if (!Fill(7)) return false;
            times = 11 + Take(7);
        }
        if (times > total - filled) return false;
        std::fill(lengths + filled, lengths + filled + times, repeated);
        filled += times;
    }
    if (lengths[256] == 0) return false; // a block must be able to end
    return BuildHuffman(lengths, literalCount, lengths_) && BuildHuffman(lengths + literalCount, distanceCount, distances_);
}

int ZlibReader::Decode(const Huffman& huffman) {
    Fill(kMaxCodeBits); // near the end of the data fewer bits may be left; the code may still fit
    const std::uint16_t entry = huffman.fast[bits_ & ((1u << kFastBits) - 1)];
    if (entry != 0) {
        const unsigned length = entry & 15;
        if (length > bitCount_) return -1;
        Take(length);
        return entry >> 4;
    }
    // Canonical decoding one bit at a time: codes of a length are consecutive.
    int code = 0, first = 0, index = 0;
    for (unsigned length = 1; length <= kMaxCodeBits && length <= bitCount_; ++length) {
        code |= static_cast<int>((bits_ >> (length - 1)) & 1);
        const int count = huffman.counts[length];
        if (code - first < count) {
            Take(length);
            return huffman.symbols[index + code - first];
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return -1;
}

bool ZlibReader::EndBlockOrStartMatch(int symbol) {
    if (symbol > 285) return false;
    if (symbol == 256) {
        state_ = lastBlock_ ? State::Done : State::Header;
        return true;
    }
    const unsigned lengthIndex = static_cast<unsigned>(symbol) - 257;
    if (!Fill(kLengthExtra[lengthIndex])) return false;
    const std::uint32_t length = kLengthBase[lengthIndex] + Take(kLengthExtra[lengthIndex]);
    const int distanceSymbol = Decode(distances_);
    if (distanceSymbol < 0 || distanceSymbol > 29) return false;
    if (!Fill(kDistanceExtra[distanceSymbol])) return false;
    const std::uint32_t distance = kDistanceBase[distanceSymbol] + Take(kDistanceExtra[distanceSymbol]);
    if (distance > produced_) return false;
    matchLeft_ = length;
    matchDistance_ = distance;
    return true;
}

void ZlibReader::Put(std::uint8_t* out, std::uint8_t byte) {
    *out = byte;
    window_[produced_++ & kWindowMask] = byte;
}

// Copies `count` bytes of the current match into the window and out.
void ZlibReader::CopyMatch(std::uint8_t* out, std::size_t count) {
    const std::uint32_t distance = matchDistance_;
    // A match nearer than eight bytes repeats with its distance as period:
    // past the first multiple of it that reaches eight, whole blocks copy.
    const std::size_t period = distance >= 8 ? distance : distance * ((8 + distance - 1) / distance);
    while (count > 0) {
        const std::uint32_t to = static_cast<std::uint32_t>(produced_) & kWindowMask;
        const std::uint32_t from = static_cast<std::uint32_t>(produced_ - distance) & kWindowMask;
        const std::size_t piece = std::min<std::size_t>(count, std::min(kWindowSize - to, kWindowSize - from));
        std::uint8_t* target = window_.data() + to;
        const std::uint8_t* source = window_.data() + from;
        std::size_t i = 0;
        if (distance >= 8) {
            for (; i + 8 <= piece; i += 8) CopyEight(target + i, source + i);
            for (; i < piece; ++i) target[i] = source[i];
        } else {
            for (; i < piece && i < period; ++i) target[i] = source[i];
            for (; i + 8 <= piece; i += 8) CopyEight(target + i, target + (i - period));
            for (; i < piece; ++i) target[i] = target[i - period];
        }
        std::memcpy(out, target, piece);
        out += piece;
        produced_ += piece;
        count -= piece;
    }
}

bool ZlibReader::Read(std::uint8_t* out, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        if (matchLeft_ > 0) {
            const std::size_t run = std::min<std::size_t>(matchLeft_, size - done);
            CopyMatch(out + done, run);
            done += run;
            matchLeft_ -= static_cast<std::uint32_t>(run);
            continue;
        }
        bool ok = true;
        switch (state_) {
        case State::Header:
            ok = StartBlock();
            break;
        case State::Stored:
            if (storedLeft_ == 0) {
                state_ = lastBlock_ ? State::Done : State::Header;
            } else if ((ok = Fill(8))) {
                Put(out + done++, static_cast<std::uint8_t>(Take(8)));
                --storedLeft_;
            }
            break;
        case State::Coded: {
            const int symbol = Decode(lengths_);
            if (symbol >= 0 && symbol < 256) {
                Put(out + done++, static_cast<std::uint8_t>(symbol));
            } else {
                ok = symbol >= 0 && EndBlockOrStartMatch(symbol);
            }
            break;
        }
        case State::Done:
        case State::Failed:
            ok = false;
            break;
        }
        if (!ok) {
            state_ = State::Failed;
            matchLeft_ = 0;
            return false;
        }
    }
    return true;
}

} // namespace Quivane
