#pragma once
// A frame held in the store, lent to whoever draws or saves it as an imaging
// bitmap source without copying its pixels: a large canvas is never held twice.
#include "FramePixels.h"

#include <windows.h>
#include <wincodec.h>

#include <memory>

namespace Quivane {

[[nodiscard]] HRESULT CreateSharedFrameBitmap(std::shared_ptr<const FramePixels> frame, IWICBitmapSource** out);

} // namespace Quivane
