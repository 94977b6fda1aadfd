#pragma once
// Videos through the platform's media reader: one representative still (or
// the still at a position) of a file decoded straight from its stream.
#include <windows.h>
#include <objidl.h>

namespace Quivane {

// The outermost structure of a video file, checked before the platform's
// parser sees it: a size it must not be trusted with fails with E_FAIL.
[[nodiscard]] HRESULT CheckVideoContainer(IStream* stream);

} // namespace Quivane
