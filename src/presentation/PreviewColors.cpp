#include "PreviewColors.h"

#include "Painters.h"
#include "Theme.h"

namespace Quivane {

void PreviewColors::Refresh() {
    const std::uint32_t now = GetTickCount();
    if (lastThemeCheck != 0 && now - lastThemeCheck < 1000) return;
    lastThemeCheck = now;
    const bool light = IsLightTheme();
    const COLORREF backgroundRef = ChooseBackgroundColor(hostBackgroundSet, hostBackground);
    background = ToD2D(ColorFromRef(backgroundRef, 1.0f));
    text = ToD2D(TextColorFor(backgroundRef, hostTextSet, hostText));
    indicator = IndicatorColorsFor(light, hostTextSet, hostText);
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
