#pragma once
// The checkerboard shown behind a frame's transparent pixels: two neutral
// greys in squares of about 8 pixels at 96 DPI, as a small tiled bitmap brush
// kept for the window's target.
#include <windows.h>
#include <d2d1.h>
#include <wrl/client.h>

#include <cstdint>

namespace Quivane {

constexpr float kCheckerSquarePixels = 8.0f; // at 96 DPI

// The square's side in pixels for a display `scale` times 96 DPI; never under one.
std::uint32_t CheckerSquareSide(float scale);

class CheckerboardBrush {
public:
    // The brush for `target` at `scale`: the one kept when it was made for
    // this target and scale, else a new one, kept when `keep` (the window's
    // target; a screenshot's gets one for its single picture).
    [[nodiscard]] HRESULT For(ID2D1RenderTarget* target, float scale, bool keep, ID2D1BitmapBrush** brush);
    // The target goes (or is lost): so does the brush made for it.
    void Clear();

private:
    Microsoft::WRL::ComPtr<ID2D1RenderTarget> madeFor;
    Microsoft::WRL::ComPtr<ID2D1BitmapBrush> kept;
    std::uint32_t keptSide = 0;
};

} // namespace Quivane
