#include "WebPRenderer.h"

namespace Quivane {

HRESULT WebPRenderer::DecodeStream(IStream*) { return E_NOTIMPL; }

} // namespace Quivane
