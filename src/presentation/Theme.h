#pragma once
// The user's light or dark application theme, read from the registry.
#include <windows.h>

namespace Quivane {

// "AppsUseLightTheme" as a 32-bit word: non-zero is light; missing or unreadable is dark.
bool IsLightTheme();

// The host's background colour when it suits the theme, else the theme's own.
COLORREF ChooseBackgroundColor(bool hostColorSet, COLORREF hostColor);

} // namespace Quivane
