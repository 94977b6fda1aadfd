#include "YuvToRgb.h"

#include <utility>

namespace QuivaneTestMf {

namespace {

std::uint32_t RoundUp4(std::uint32_t value) { return (value + 3u) & ~3u; }
std::uint32_t ChromaWidth(const YuvFrame& frame) { return (frame.width + 1) / 2; }
std::uint32_t ChromaHeight(const YuvFrame& frame) { return (frame.height + 1) / 2; }

std::uint8_t Clip(int value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// The integer BT.601 limited-range inverse (Y 16..235, chroma 16..240).
void Pixel(int y, int u, int v, std::uint8_t* out) {
    const int c = 298 * (y - 16);
    const int d = u - 128;
    const int e = v - 128;
    out[0] = Clip((c + 516 * d + 128) >> 8);
    out[1] = Clip((c - 100 * d - 208 * e + 128) >> 8);
    out[2] = Clip((c + 409 * e + 128) >> 8);
    out[3] = 0xff;
}

} // namespace

std::size_t FrameBytes(const YuvFrame& frame) {
    const std::size_t luma = static_cast<std::size_t>(frame.lumaStride) * frame.height;
    const std::size_t chromaRows = ChromaHeight(frame);
    switch (frame.layout) {
    case YuvLayout::Yuy2: return luma;
    case YuvLayout::Nv12: return luma + static_cast<std::size_t>(frame.chromaStride) * chromaRows;
    case YuvLayout::I420:
    case YuvLayout::Yv12: return luma + 2 * static_cast<std::size_t>(frame.chromaStride) * chromaRows;
    }
    return 0;
}

void StridesFromLuma(YuvFrame& frame, std::uint32_t lumaStride) {
    frame.lumaStride = lumaStride;
    switch (frame.layout) {
    case YuvLayout::Yuy2: frame.chromaStride = 0; break;
    case YuvLayout::Nv12: frame.chromaStride = lumaStride; break;
    case YuvLayout::I420:
    case YuvLayout::Yv12: frame.chromaStride = (lumaStride + 1) / 2; break;
    }
}

bool GuessStrides(YuvFrame& frame, std::size_t available) {
    YuvFrame padded = frame;
    YuvFrame packed = frame;
    switch (frame.layout) {
    case YuvLayout::Yuy2:
        padded.lumaStride = RoundUp4(ChromaWidth(frame) * 4);
        packed.lumaStride = ChromaWidth(frame) * 4;
        break;
    case YuvLayout::Nv12:
        padded.lumaStride = padded.chromaStride = RoundUp4(frame.width);
        packed.lumaStride = frame.width;
        packed.chromaStride = ChromaWidth(frame) * 2;
        break;
    case YuvLayout::I420:
    case YuvLayout::Yv12:
        padded.lumaStride = RoundUp4(frame.width);
        padded.chromaStride = RoundUp4(ChromaWidth(frame));
        packed.lumaStride = frame.width;
        packed.chromaStride = ChromaWidth(frame);
        break;
    }
    if (available >= FrameBytes(padded)) {
        frame = padded;
        return true;
    }
    if (available >= FrameBytes(packed)) {
        frame = packed;
        return true;
    }
    return false;
}

void ConvertToBgrx(const YuvFrame& frame, const std::uint8_t* source, std::uint8_t* target) {
    const std::size_t lumaBytes = static_cast<std::size_t>(frame.lumaStride) * frame.height;
    const std::size_t chromaPlane = static_cast<std::size_t>(frame.chromaStride) * ChromaHeight(frame);
    const std::uint8_t* u = source + lumaBytes;
    const std::uint8_t* v = u + chromaPlane;
    if (frame.layout == YuvLayout::Yv12) std::swap(u, v);

    for (std::uint32_t row = 0; row < frame.height; ++row) {
        std::uint8_t* out = target + static_cast<std::size_t>(row) * frame.width * 4;
        const std::uint8_t* luma = source + static_cast<std::size_t>(row) * frame.lumaStride;
        const std::size_t chromaRow = static_cast<std::size_t>(row / 2) * frame.chromaStride;
        for (std::uint32_t x = 0; x < frame.width; ++x, out += 4) {
            switch (frame.layout) {
            case YuvLayout::Yuy2: {
                const std::uint8_t* pair = luma + (x / 2) * 4;
                Pixel(pair[(x & 1) * 2], pair[1], pair[3], out);
                break;
            }
            case YuvLayout::Nv12: {
                const std::uint8_t* uv = u + chromaRow + (x / 2) * 2;
                Pixel(luma[x], uv[0], uv[1], out);
                break;
            }
            case YuvLayout::I420:
            case YuvLayout::Yv12:
                Pixel(luma[x], u[chromaRow + x / 2], v[chromaRow + x / 2], out);
                break;
            }
        }
    }
}

} // namespace QuivaneTestMf
