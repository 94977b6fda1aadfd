#pragma once
#include "CanvasLimits.h"
#include "WicAnimatedRenderer.h"

namespace Quivane {

// Renderer for .gif files: the platform decodes each frame's own pixels, the
// canvas, placement, blending and disposal are composed here.
class GifRenderer : public WicAnimatedRenderer {
public:
    HRESULT DecodeStream(IStream* stream) override;
};

} // namespace Quivane
