#include "WebPCanvas.h"

#include "imaging/PremultipliedBlend.h"

#include <webp/decode.h>

#include <algorithm>
#include <memory>

namespace Quivane {
namespace {

struct IncrementalDecoderDelete {
    void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};

CanvasRegion RegionOf(const WebPFrameInfo& frame) {
    return CanvasRegion{frame.x, frame.y, frame.width, frame.height};
}

bool OnCanvas(const WebPFrameInfo& frame, std::uint32_t width, std::uint32_t height) {
    return frame.width > 0 && frame.height > 0 && frame.x < width && frame.y < height &&
           frame.width <= width - frame.x && frame.height <= height - frame.y;
}

} // namespace

WebPDrawResult DecodeWebPFrame(const WebPFrameInfo& frame, WebPAlpha alpha, std::uint8_t* pixels, std::size_t stride,
                               const WebPStopCheck& stop) {
    if (frame.bitstream == nullptr || frame.width == 0 || frame.height == 0) return WebPDrawResult::Undecodable;
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return WebPDrawResult::Undecodable;
    // The bitstream's own size must be the frame's: it is written into the
    // frame's region and nowhere else.
    if (WebPGetFeatures(frame.bitstream, frame.bitstreamSize, &config.input) != VP8_STATUS_OK ||
        static_cast<std::uint32_t>(config.input.width) != frame.width ||
        static_cast<std::uint32_t>(config.input.height) != frame.height) {
        return WebPDrawResult::Undecodable;
    }
    config.output.colorspace = alpha == WebPAlpha::Premultiplied ? MODE_bgrA : MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = pixels;
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = stride * (frame.height - 1) + static_cast<std::size_t>(frame.width) * 4;
    // Fed a slice at a time, so that a stop request ends a large frame part way;
    // each time shown more of the file's own bytes, which it then never copies.
    std::unique_ptr<WebPIDecoder, IncrementalDecoderDelete> decoder(WebPINewDecoder(&config.output));
    if (!decoder) return WebPDrawResult::Undecodable;
    WebPDrawResult result = WebPDrawResult::Undecodable;
    for (std::size_t offset = 0; offset < frame.bitstreamSize; offset += kWebPDecodeSlice) {
        if (stop && stop()) {
            result = WebPDrawResult::Stopped;
            break;
        }
        const std::size_t available = std::min(kWebPDecodeSlice, frame.bitstreamSize - offset) + offset;
        const VP8StatusCode status = WebPIUpdate(decoder.get(), frame.bitstream, available);
        if (status == VP8_STATUS_OK) {
            result = WebPDrawResult::Drawn;
            break;
        }
        if (status != VP8_STATUS_SUSPENDED) break;
    }
    decoder.reset();
    WebPFreeDecBuffer(&config.output);
    return result;
}

WebPDrawResult WebPCanvas::Draw(const WebPFrameInfo& frame, const WebPStopCheck& stop) {
    if (!OnCanvas(frame, Width(), Height())) return WebPDrawResult::Undecodable;
    // An opaque frame, or one that replaces its region, is decoded straight onto the canvas.
    if (!frame.blend || frame.opaque) {
        std::uint8_t* corner = MutablePixels() + static_cast<std::size_t>(frame.y) * Stride() + frame.x * 4;
        return DecodeWebPFrame(frame, WebPAlpha::Premultiplied, corner, Stride(), stop);
    }
    const std::size_t frameStride = static_cast<std::size_t>(frame.width) * 4;
    frame_.resize(frameStride * frame.height);
    // Straight alpha, premultiplied by the blend on its one pass over the pixels.
    const WebPDrawResult decoded = DecodeWebPFrame(frame, WebPAlpha::Straight, frame_.data(), frameStride, stop);
    if (decoded != WebPDrawResult::Drawn) return decoded;
    BlendStraightOverPremultiplied(MutablePixels(), Stride(), RegionOf(frame), frame_.data(), frameStride);
    return WebPDrawResult::Drawn;
}

void WebPCanvas::Dispose(const WebPFrameInfo& frame) {
    if (frame.disposeToBackground && OnCanvas(frame, Width(), Height())) {
        ClearPart(RegionOf(frame));
    }
}

} // namespace Quivane
