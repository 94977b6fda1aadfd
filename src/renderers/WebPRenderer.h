#pragma once
#include "WicAnimatedRenderer.h"

namespace Quivane {

// Renderer for .webp files. Decoding arrives with its format's own work;
// until then a load answers E_NOTIMPL and leaves the renderer empty.
class WebPRenderer : public WicAnimatedRenderer {
public:
    HRESULT DecodeStream(IStream* stream) override;
};

} // namespace Quivane
