#pragma once
// Direct2D drawing of the seek bar and the loading indicator.
#include "ColorRules.h"
#include "SeekBar.h"

#include <windows.h>
#include <d2d1.h>

namespace Quivane {

D2D1_COLOR_F ToD2D(const ColorF4& color);
D2D1_RECT_F ToD2D(const RectF& rect);

// Refreshes the bar's theme colours when due, then fills background, track and
// thumb with one brush. A bar that cannot get a brush is left out.
void DrawSeekBar(SeekBar& bar, ID2D1RenderTarget* target);

// The rounded bar and the block that crosses it once a second, clipped to the bar.
void DrawLoadingIndicator(ID2D1RenderTarget* target, float width, float height, float scale,
                          const IndicatorColors& colors);

} // namespace Quivane
