#pragma once
#include <windows.h>
#include <d2d1.h>
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

// The Direct2D copy of one frame, made for the renderer's current target.
struct DeviceFrameBitmap {
    Microsoft::WRL::ComPtr<ID2D1Bitmap> bitmap;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t delayMs = 100;
};

} // namespace Quivane
