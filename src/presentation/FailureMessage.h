#pragma once
// The message a file that cannot be shown leaves in the pane: its title in
// bold over its reason, centred, wrapped to the pane's width within a margin.
// A pane too small for the reason shows the title alone; too small for the
// title, nothing.
#include "PaneText.h"

#include <windows.h>
#include <d2d1.h>

#include <string>

namespace Quivane {

// `dpi` is the window's, for the font's size and the margin; `width` and
// `height` are the pane's in pixels. Text that cannot be laid out is left out.
void DrawFailureMessage(ID2D1RenderTarget* target, PaneText& text, UINT dpi, float width, float height,
                        const std::wstring& title, const std::wstring& reason, D2D1_COLOR_F color);

} // namespace Quivane
