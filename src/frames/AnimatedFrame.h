#pragma once
#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>

namespace Quivane {

using Microsoft::WRL::ComPtr;

// One finished frame: the whole picture to show, already composited.
struct AnimatedFrame {
    Microsoft::WRL::ComPtr<IWICBitmapSource> bitmap;
    std::uint32_t delayMs = 100;
};

} // namespace Quivane
