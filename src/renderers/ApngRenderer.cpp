#include "ApngRenderer.h"

namespace Quivane {

HRESULT ApngRenderer::DecodeStream(IStream*) { return E_NOTIMPL; }

} // namespace Quivane
