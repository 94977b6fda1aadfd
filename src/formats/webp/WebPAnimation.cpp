#include "WebPAnimation.h"

#include "WebPFrameDelay.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <memory>

namespace Quivane {
namespace {

struct DemuxerDelete {
    void operator()(WebPDemuxer* demuxer) const { WebPDemuxDelete(demuxer); }
};

struct IteratorRelease {
    void operator()(WebPIterator* iterator) const { WebPDemuxReleaseIterator(iterator); }
};

bool CoversCanvas(const WebPFrameInfo& frame, std::uint32_t width, std::uint32_t height) {
    return frame.x == 0 && frame.y == 0 && frame.width == width && frame.height == height;
}

// Frame 0; a frame that replaces the whole canvas; one after a frame that
// left the canvas transparent (disposed of all of it, or of all a key frame drew).
void MarkKeyFrames(std::vector<WebPFrameInfo>& frames, std::uint32_t width, std::uint32_t height) {
    for (std::size_t i = 0; i < frames.size(); ++i) {
        WebPFrameInfo& frame = frames[i];
        const bool replacesCanvas = CoversCanvas(frame, width, height) && (!frame.blend || frame.opaque);
        const bool afterClearCanvas = i > 0 && frames[i - 1].disposeToBackground &&
                                      (CoversCanvas(frames[i - 1], width, height) || frames[i - 1].keyFrame);
        frame.keyFrame = i == 0 || replacesCanvas || afterClearCanvas;
    }
}

bool FitsCanvas(const WebPFrameInfo& frame, std::uint32_t width, std::uint32_t height) {
    return frame.width > 0 && frame.height > 0 && frame.x < width && frame.y < height &&
           frame.width <= width - frame.x && frame.height <= height - frame.y;
}

} // namespace

bool WebPAnimation::Parse(const std::uint8_t* bytes, std::size_t size) {
    frames_.clear();
    canvasWidth_ = canvasHeight_ = 0;
    if (bytes == nullptr) return false;
    const WebPData data{bytes, size};
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    // Partial: a file cut short still shows the frames it has whole.
    std::unique_ptr<WebPDemuxer, DemuxerDelete> demuxer(WebPDemuxPartial(&data, &state));
    if (!demuxer || state < WEBP_DEMUX_PARSED_HEADER) return false;
    canvasWidth_ = WebPDemuxGetI(demuxer.get(), WEBP_FF_CANVAS_WIDTH);
    canvasHeight_ = WebPDemuxGetI(demuxer.get(), WEBP_FF_CANVAS_HEIGHT);
    if (canvasWidth_ == 0 || canvasHeight_ == 0) return false;

    WebPIterator iterator{};
    if (!WebPDemuxGetFrame(demuxer.get(), 1, &iterator)) return false;
    std::unique_ptr<WebPIterator, IteratorRelease> release(&iterator);
    do {
        if (!iterator.complete || iterator.fragment.bytes == nullptr) break;
        WebPFrameInfo frame;
        frame.x = static_cast<std::uint32_t>(iterator.x_offset);
        frame.y = static_cast<std::uint32_t>(iterator.y_offset);
        frame.width = static_cast<std::uint32_t>(iterator.width);
        frame.height = static_cast<std::uint32_t>(iterator.height);
        frame.delayMs = WebPFrameDelayMs(iterator.duration > 0 ? static_cast<std::uint32_t>(iterator.duration) : 0);
        frame.blend = iterator.blend_method == WEBP_MUX_BLEND;
        frame.disposeToBackground = iterator.dispose_method == WEBP_MUX_DISPOSE_BACKGROUND;
        frame.bitstream = iterator.fragment.bytes;
        frame.bitstreamSize = iterator.fragment.size;
        WebPBitstreamFeatures features;
        frame.opaque = WebPGetFeatures(frame.bitstream, frame.bitstreamSize, &features) == VP8_STATUS_OK &&
                       features.format == 1 && !features.has_alpha;
        // Frames after one that leaves the canvas would be composed on a
        // wrong picture: the animation ends before it.
        if (!FitsCanvas(frame, canvasWidth_, canvasHeight_)) break;
        frames_.push_back(frame);
    } while (WebPDemuxNextFrame(&iterator));
    MarkKeyFrames(frames_, canvasWidth_, canvasHeight_);
    return !frames_.empty();
}

std::uint32_t WebPAnimation::KeyFrameAtOrBefore(std::uint32_t index) const {
    if (frames_.empty()) return 0;
    if (index >= frames_.size()) index = static_cast<std::uint32_t>(frames_.size() - 1);
    while (index > 0 && !frames_[index].keyFrame) --index;
    return index;
}

} // namespace Quivane
