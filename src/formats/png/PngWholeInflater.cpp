#include "PngWholeInflater.h"

#include "PngDataInflater.h"

#include <libdeflate.h>

#include <new>

namespace Quivane {
namespace {

// Rows buffers above this are not kept between frames.
constexpr std::size_t kKeptRowsBytes = 64u << 20;

// An encoder's worst case is an eighth longer than the data (incompressible
// bytes in fixed codes of nine bits); data much longer than that is padded
// with empty blocks or goes on past the image, and is left to the stream,
// which stops at the image's end rather than gather it all.
bool PlausiblyLong(std::size_t compressed, std::size_t inflated) {
    return compressed <= inflated + inflated / 8 + 4096;
}

} // namespace

void PngWholeInflater::FreeDecompressor::operator()(libdeflate_decompressor* decompressor) const {
    libdeflate_free_decompressor(decompressor);
}

PngWholeInflater::PngWholeInflater() = default;
PngWholeInflater::~PngWholeInflater() = default;

void PngWholeInflater::Trim() {
    if (rowsSize_ > kKeptRowsBytes) {
        rows_.reset();
        rowsSize_ = 0;
    }
    if (joined_.capacity() > kKeptRowsBytes) std::vector<std::uint8_t>().swap(joined_);
}

std::uint8_t* PngWholeInflater::Inflate(const std::vector<ByteSpan>& pieces, std::size_t size,
                                        std::uint32_t& storedChecksum, bool& hasChecksum) {
    hasChecksum = false;
    std::size_t compressed = 0;
    for (const ByteSpan& piece : pieces) compressed += piece.size;
    if (compressed < 2 || !PlausiblyLong(compressed, size)) return nullptr;
    if (!decompressor_) decompressor_.reset(libdeflate_alloc_decompressor());
    if (!decompressor_) return nullptr;
    try {
        if (rowsSize_ < size) {
            rows_.reset();
            rowsSize_ = 0;
            rows_.reset(new std::uint8_t[size]);
            rowsSize_ = size;
        }
        const std::uint8_t* data = nullptr;
        if (pieces.size() == 1) {
            data = pieces[0].data;
        } else {
            joined_.clear();
            joined_.reserve(compressed);
            for (const ByteSpan& piece : pieces) joined_.insert(joined_.end(), piece.data, piece.data + piece.size);
            data = joined_.data();
        }
        if (!IsPngZlibHeader(data[0], data[1])) return nullptr;
        std::size_t read = 0;
        std::size_t inflated = 0;
        const libdeflate_result result = libdeflate_deflate_decompress_ex(
            decompressor_.get(), data + 2, compressed - 2, rows_.get(), size, &read, &inflated);
        if (result != LIBDEFLATE_SUCCESS || inflated != size) return nullptr;
        const std::uint8_t* checksum = data + 2 + read;
        if (compressed - 2 - read >= 4) {
            hasChecksum = true;
            storedChecksum = static_cast<std::uint32_t>(checksum[0]) << 24 |
                             static_cast<std::uint32_t>(checksum[1]) << 16 | checksum[2] << 8 | checksum[3];
        }
        return rows_.get();
    } catch (const std::bad_alloc&) {
        return nullptr; // inflated a little at a time instead
    }
}

} // namespace Quivane
