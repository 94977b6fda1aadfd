#pragma once
// What is drawn over the frame: the information line, centred on a
// translucent band along the top edge, and the pause badge in the top right
// corner (under the band when it shows). Either is left out when the pane is
// too small to hold it.
#include "PaneText.h"

#include <windows.h>
#include <d2d1.h>
#include <dwrite.h>
#include <wrl/client.h>

#include <string>

namespace Quivane {

struct OverlayColors {
    D2D1_COLOR_F band; // the theme's background, translucent
    D2D1_COLOR_F ink;  // the theme's text
};

class InfoOverlay {
public:
    // Draws `line` in `text`'s font (made for `dpi`); returns the band's
    // height, or 0 when the line does not fit on one line of the pane or its
    // band would take more than a third of the pane's height.
    float DrawLine(ID2D1RenderTarget* target, PaneText& text, UINT dpi, float width, float height,
                   const std::wstring& line, const OverlayColors& colors);
    // Two upright bars on a rounded square, `top` pixels down from the pane's top edge.
    static void DrawPauseBadge(ID2D1RenderTarget* target, UINT dpi, float width, float height, float top,
                               const OverlayColors& colors);

private:
    // The layout of the last line drawn: most pictures show the same line as the one before.
    Microsoft::WRL::ComPtr<IDWriteTextLayout> layout;
    std::wstring laidOutLine;
    float laidOutWidth = 0;
    float laidOutFontSize = 0;
};

} // namespace Quivane
