#include "CheckerboardBrush.h"

#include "platform/HResult.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

constexpr std::uint32_t kLightGrey = 0xFFCCCCCC; // opaque BGRA
constexpr std::uint32_t kDarkGrey = 0xFF999999;
constexpr std::uint32_t kLargestSide = 64;       // a display far above 8x scale still gets a small bitmap

// Two squares of each grey, diagonally: one tile of the board.
HRESULT MakeTile(ID2D1RenderTarget* target, std::uint32_t side, ComPtr<ID2D1Bitmap>& tile) {
    const std::uint32_t size = side * 2;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) * size);
    for (std::uint32_t y = 0; y < size; ++y) {
        for (std::uint32_t x = 0; x < size; ++x) {
            pixels[static_cast<std::size_t>(y) * size + x] = ((x / side) + (y / side)) % 2 == 0 ? kLightGrey : kDarkGrey;
        }
    }
    const D2D1_BITMAP_PROPERTIES properties =
        D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED));
    return target->CreateBitmap(D2D1::SizeU(size, size), pixels.data(), size * 4, properties, &tile);
}

} // namespace

std::uint32_t CheckerSquareSide(float scale) {
    const float side = std::round(kCheckerSquarePixels * scale);
    if (!(side >= 1.0f)) return 1;
    return std::min(static_cast<std::uint32_t>(side), kLargestSide);
}

HRESULT CheckerboardBrush::For(ID2D1RenderTarget* target, float scale, bool keep, ID2D1BitmapBrush** brush) {
    if (target == nullptr || brush == nullptr) return E_POINTER;
    *brush = nullptr;
    const std::uint32_t side = CheckerSquareSide(scale);
    if (kept && madeFor.Get() == target && keptSide == side) {
        *brush = kept.Get();
        (*brush)->AddRef();
        return S_OK;
    }
    ComPtr<ID2D1Bitmap> tile;
    RETURN_IF_FAILED(MakeTile(target, side, tile));
    const D2D1_BITMAP_BRUSH_PROPERTIES tiling = D2D1::BitmapBrushProperties(
        D2D1_EXTEND_MODE_WRAP, D2D1_EXTEND_MODE_WRAP, D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR);
    ComPtr<ID2D1BitmapBrush> made;
    RETURN_IF_FAILED(target->CreateBitmapBrush(tile.Get(), &tiling, nullptr, &made));
    if (keep) {
        kept = made;
        madeFor = target;
        keptSide = side;
    }
    *brush = made.Detach();
    return S_OK;
}

void CheckerboardBrush::Clear() {
    kept.Reset();
    madeFor.Reset();
    keptSide = 0;
}

} // namespace Quivane
