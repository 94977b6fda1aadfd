#pragma once
// The background, text and loading-indicator colours of one preview: the theme's,
// or the host's where they suit it. The theme is read again at most once a
// second, so a change of theme shows without a registry read per picture.
#include "ColorRules.h"

#include <windows.h>
#include <d2d1.h>

#include <cstdint>

namespace Quivane {

class PreviewColors {
public:
    // Reads the theme again when due (or when a host colour changed); true
    // when the colours changed.
    bool Refresh();
    // Reads the theme at the next Refresh, due or not (the system said it changed).
    void ReadAgain() { lastThemeCheck = 0; }
    void SetHostBackground(COLORREF color);
    void SetHostText(COLORREF color);

    D2D1_COLOR_F Background() const { return background; }
    const IndicatorColors& Indicator() const { return indicator; }
    D2D1_COLOR_F Text() const { return text; }

private:
    std::uint32_t lastThemeCheck = 0;
    bool hostBackgroundSet = false;
    COLORREF hostBackground = 0;
    bool hostTextSet = false;
    COLORREF hostText = 0;
    D2D1_COLOR_F background = {0, 0, 0, 1};
    IndicatorColors indicator = {};
    D2D1_COLOR_F text = {1, 1, 1, 1};
};

} // namespace Quivane
