#include "PreviewColors.h"

#include "Painters.h"
#include "Theme.h"

namespace Quivane {

namespace {

bool Same(const D2D1_COLOR_F& a, const D2D1_COLOR_F& b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

} // namespace

bool PreviewColors::Refresh() {
    const std::uint32_t now = GetTickCount();
    if (lastThemeCheck != 0 && now - lastThemeCheck < 1000) return false;
    lastThemeCheck = now;
    const bool light = IsLightTheme();
    const COLORREF backgroundRef = ChooseBackgroundColor(hostBackgroundSet, hostBackground);
    const D2D1_COLOR_F before = background;
    const D2D1_COLOR_F textBefore = text;
    background = ToD2D(ColorFromRef(backgroundRef, 1.0f));
    text = ToD2D(TextColorFor(backgroundRef, hostTextSet, hostText));
    indicator = IndicatorColorsFor(light, hostTextSet, hostText);
    return !Same(before, background) || !Same(textBefore, text);
}

void PreviewColors::SetHostBackground(COLORREF color) {
    hostBackground = color;
    hostBackgroundSet = true;
    lastThemeCheck = 0;
}

void PreviewColors::SetHostText(COLORREF color) {
    hostText = color;
    hostTextSet = true;
    lastThemeCheck = 0;
}

} // namespace Quivane
