#include "VideoStillRenderer.h"

namespace Quivane {

HRESULT VideoStillRenderer::DecodeStream(IStream*) { return E_NOTIMPL; }

} // namespace Quivane
