#pragma once
// A frame held in the store, lent to whoever draws or saves it as an imaging
// bitmap source without copying its pixels: a large canvas is never held twice.
#include "FramePixels.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <functional>
#include <memory>

namespace Quivane {

[[nodiscard]] HRESULT CreateSharedFrameBitmap(std::shared_ptr<const FramePixels> frame, IWICBitmapSource** out);

// Makes the frame's pixels (width x height, premultiplied BGRA).
using FrameComposer = std::function<HRESULT(FramePixels& frame)>;

// A frame of known size whose pixels are composed only when they are first
// read: whoever only asks its size (a menu about to offer saving it) pays nothing.
[[nodiscard]] HRESULT CreateComposedFrameBitmap(std::uint32_t width, std::uint32_t height, FrameComposer compose,
                                                IWICBitmapSource** out);

} // namespace Quivane
