#pragma once
#include "WicAnimatedRenderer.h"

namespace Quivane {

// Renderer for .gif files: the platform decodes each frame's own pixels, the
// canvas, placement, blending and disposal are composed here.
class GifRenderer : public WicAnimatedRenderer {
public:
    HRESULT DecodeStream(IStream* stream) override;
};

// Direct2D cannot draw a bitmap wider or taller than this, and a canvas this
// size already costs 1 GiB per frame; a larger logical screen is refused.
constexpr std::uint32_t kMaxGifCanvasSide = 16384;

} // namespace Quivane
