#include "ApngBuilder.h"

#include "PngWriter.h"
#include "formats/png/PngChunks.h"

#include <algorithm>
#include <iterator>

namespace QuivaneTest {
namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// Raw bytes as a zlib stream of stored blocks.
std::vector<std::uint8_t> StoredZlib(const std::vector<std::uint8_t>& raw) {
    std::vector<std::uint8_t> out = {0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t length = std::min<std::size_t>(65535, raw.size() - at);
        out.push_back(at + length == raw.size() ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(length));
        out.push_back(static_cast<std::uint8_t>(length >> 8));
        out.push_back(static_cast<std::uint8_t>(~length));
        out.push_back(static_cast<std::uint8_t>(~length >> 8));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                   raw.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    } while (at < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    Put32(out, b << 16 | a);
    return out;
}

} // namespace

std::vector<std::uint8_t> SolidImageData(std::uint32_t width, std::uint32_t height, Rgba8 colour) {
    std::vector<std::uint8_t> raw;
    raw.reserve((static_cast<std::size_t>(width) * 4 + 1) * height);
    for (std::uint32_t y = 0; y < height; ++y) {
        raw.push_back(0); // no filter
        for (std::uint32_t x = 0; x < width; ++x) raw.insert(raw.end(), {colour.r, colour.g, colour.b, colour.a});
    }
    return StoredZlib(raw);
}

std::vector<std::uint8_t> DamagedImageData() { return {0x78, 0x01, 0x07, 0x00, 0x00, 0x00, 0x00}; }

ApngBuilder::ApngBuilder(std::uint32_t width, std::uint32_t height, bool animated)
    : width_(width), height_(height), animated_(animated) {}

ApngBuilder& ApngBuilder::DefaultImage(std::vector<std::uint8_t> data) {
    defaultImage_ = std::move(data);
    return *this;
}

ApngBuilder& ApngBuilder::Frame(std::optional<std::vector<std::uint8_t>> data, std::uint8_t blendOp) {
    frames_.push_back(std::move(data));
    blends_.push_back(blendOp);
    return *this;
}

std::vector<std::uint8_t> ApngBuilder::Build() const {
    std::vector<std::uint8_t> out(std::begin(Quivane::kPngSignature), std::end(Quivane::kPngSignature));
    std::vector<std::uint8_t> ihdr;
    Put32(ihdr, width_);
    Put32(ihdr, height_);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    AppendPngChunk(out, "IHDR", ihdr.data(), ihdr.size());
    if (animated_) {
        std::vector<std::uint8_t> actl;
        Put32(actl, static_cast<std::uint32_t>(frames_.size()));
        Put32(actl, 0);
        AppendPngChunk(out, "acTL", actl.data(), actl.size());
    }
    if (defaultImage_) AppendPngChunk(out, "IDAT", defaultImage_->data(), defaultImage_->size());
    std::uint32_t sequence = 0;
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        std::vector<std::uint8_t> fctl;
        Put32(fctl, sequence++);
        Put32(fctl, width_);
        Put32(fctl, height_);
        Put32(fctl, 0);
        Put32(fctl, 0);
        fctl.insert(fctl.end(), {0, 1, 0, 10, 0, blends_[i]}); // 1/10 s, dispose none
        AppendPngChunk(out, "fcTL", fctl.data(), fctl.size());
        if (!frames_[i]) continue;
        const std::vector<std::uint8_t>& data = *frames_[i];
        if (i == 0 && !defaultImage_) {
            AppendPngChunk(out, "IDAT", data.data(), data.size());
        } else {
            std::vector<std::uint8_t> fdat;
            Put32(fdat, sequence++);
            fdat.insert(fdat.end(), data.begin(), data.end());
            AppendPngChunk(out, "fdAT", fdat.data(), fdat.size());
        }
    }
    AppendPngChunk(out, "IEND", nullptr, 0);
    return out;
}

} // namespace QuivaneTest
