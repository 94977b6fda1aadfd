#pragma once
#include "WicAnimatedRenderer.h"

namespace Quivane {

// Renderer for .webp files. The platform's WebP codec delivers every frame
// already composed; each frame is kept as a format converter, so its pixels
// are produced when it is first drawn rather than at load time.
class WebPRenderer : public WicAnimatedRenderer {
public:
    HRESULT DecodeStream(IStream* stream) override;
};

// A frame's display time from its metadata: the first non-zero of
// "/ANMF/Duration", "/anmf/Duration" and "/imgdesc/Delay" in milliseconds,
// 100 without one, and never below 10.
std::uint32_t WebPFrameDelayMs(IWICMetadataQueryReader* reader);

} // namespace Quivane
