#pragma once
#include "WicAnimatedRenderer.h"

namespace Quivane {

// Renderer for .png files. Animated PNGs are taken apart here: each frame is
// rebuilt as a plain PNG for the platform's codec, then composed onto the
// canvas. Plain PNGs go to the platform's decoder whole.
class ApngRenderer : public WicAnimatedRenderer {
public:
    HRESULT DecodeStream(IStream* stream) override;
};

} // namespace Quivane
