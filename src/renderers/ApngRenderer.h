#pragma once
#include "WicAnimatedRenderer.h"

namespace Quivane {

// Renderer for .png (plain and animated) files. Decoding arrives with its format's own work;
// until then a load answers E_NOTIMPL and leaves the renderer empty.
class ApngRenderer : public WicAnimatedRenderer {
public:
    HRESULT DecodeStream(IStream* stream) override;
};

} // namespace Quivane
