#include "WebPComposition.h"

#include "imaging/PremultipliedBlend.h"

#include <webp/decode.h>

#include <algorithm>

namespace Quivane {
namespace {

CanvasRegion RegionOf(const WebPFrameInfo& frame) {
    return CanvasRegion{frame.x, frame.y, frame.width, frame.height};
}

bool OnCanvas(const WebPFrameInfo& frame, std::uint32_t width, std::uint32_t height) {
    return frame.width > 0 && frame.height > 0 && frame.x < width && frame.y < height &&
           frame.width <= width - frame.x && frame.height <= height - frame.y;
}

} // namespace

bool DecodeWebPFrame(const WebPFrameInfo& frame, std::uint8_t* pixels, std::size_t stride) {
    if (frame.bitstream == nullptr || frame.width == 0 || frame.height == 0) return false;
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return false;
    // The bitstream's own size must be the frame's: it is written into the
    // frame's region and nowhere else.
    if (WebPGetFeatures(frame.bitstream, frame.bitstreamSize, &config.input) != VP8_STATUS_OK) return false;
    if (static_cast<std::uint32_t>(config.input.width) != frame.width ||
        static_cast<std::uint32_t>(config.input.height) != frame.height) {
        return false;
    }
    config.output.colorspace = MODE_bgrA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = pixels;
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = stride * (frame.height - 1) + static_cast<std::size_t>(frame.width) * 4;
    const bool decoded = WebPDecode(frame.bitstream, frame.bitstreamSize, &config) == VP8_STATUS_OK;
    WebPFreeDecBuffer(&config.output);
    return decoded;
}

WebPCanvas::WebPCanvas(std::uint32_t width, std::uint32_t height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 4) {}

bool WebPCanvas::Draw(const WebPFrameInfo& frame) {
    if (!OnCanvas(frame, width_, height_)) return false;
    // An opaque frame, or one that replaces its region, is decoded straight onto the canvas.
    if (!frame.blend || frame.opaque) {
        std::uint8_t* corner = pixels_.data() + static_cast<std::size_t>(frame.y) * Stride() + frame.x * 4;
        return DecodeWebPFrame(frame, corner, Stride());
    }
    const std::size_t frameStride = static_cast<std::size_t>(frame.width) * 4;
    frame_.resize(frameStride * frame.height);
    if (!DecodeWebPFrame(frame, frame_.data(), frameStride)) return false;
    BlendOverPremultiplied(pixels_.data(), Stride(), RegionOf(frame), frame_.data(), frameStride);
    return true;
}

void WebPCanvas::Dispose(const WebPFrameInfo& frame) {
    if (frame.disposeToBackground && OnCanvas(frame, width_, height_)) {
        ClearRegion(pixels_.data(), Stride(), RegionOf(frame));
    }
}

void WebPCanvas::Clear() { std::fill(pixels_.begin(), pixels_.end(), std::uint8_t{0}); }

bool WebPCanvas::Restore(const std::vector<std::uint8_t>& picture) {
    if (picture.size() != pixels_.size()) return false;
    pixels_ = picture;
    return true;
}

} // namespace Quivane
