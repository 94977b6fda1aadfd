#pragma once
// A renderer's frames and time line as playback asks for them.
#include "PlaybackMedia.h"
#include "frames/IAnimatedRenderer.h"

namespace Quivane {

class RendererPlaybackMedia final : public PlaybackMedia {
public:
    explicit RendererPlaybackMedia(const IAnimatedRenderer& renderer) : renderer(renderer) {}

    std::uint64_t FrameCount() const override { return renderer.GetFrameCount(); }
    std::uint32_t FrameDelay(std::uint32_t index) const override { return renderer.GetFrameDelay(index); }
    bool IsFrameReady(std::uint32_t index) const override { return renderer.IsFrameReady(index); }
    bool IsTimeBased() const override { return renderer.IsTimeBased(); }
    std::uint64_t Duration() const override { return renderer.GetDuration(); }
    std::uint64_t Position() const override { return renderer.GetPosition(); }

private:
    const IAnimatedRenderer& renderer;
};

} // namespace Quivane
